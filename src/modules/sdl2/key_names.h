#pragma once
// The names scripts use for keys, and a small set of them.
#include <SDL_keycode.h>

#include <bitset>
#include <cstddef>
#include <optional>
#include <string_view>

namespace veltro {

// Number of distinct key names: 26 letters, 10 digits, 15 named keys and "unknown".
inline constexpr std::size_t kKeyNameCount = 52;

// Index of the name of a non-zero key code; every key without a name of its
// own shares the index of "unknown".
[[nodiscard]] std::size_t key_index(SDL_Keycode code);

// Index of a key name, or nothing when no key has this name (names are
// compared byte for byte: "A" is not a key name).
[[nodiscard]] std::optional<std::size_t> key_index(std::string_view name);

// A set of key names. Only ever tested for membership, so a bit per name.
class KeySet {
 public:
  void add(std::size_t index) { bits_.set(index); }
  void remove(std::size_t index) { bits_.reset(index); }
  void clear() { bits_.reset(); }
  [[nodiscard]] bool contains(std::string_view name) const {
    auto index = key_index(name);
    return index && bits_.test(*index);
  }
  [[nodiscard]] bool empty() const { return bits_.none(); }

 private:
  std::bitset<kKeyNameCount> bits_;
};

}  // namespace veltro
