#include "modules/sdl2/key_names.h"

#include <array>

namespace veltro {

namespace {

constexpr std::size_t kFirstLetter = 0;
constexpr std::size_t kFirstDigit = 26;
constexpr std::size_t kFirstNamed = 36;

struct NamedKey {
  SDL_Keycode code;
  std::string_view name;
};

constexpr std::array<NamedKey, 15> kNamedKeys = {{
    {SDLK_SPACE, "space"},   {SDLK_RETURN, "return"}, {SDLK_ESCAPE, "escape"},
    {SDLK_BACKSPACE, "backspace"}, {SDLK_TAB, "tab"}, {SDLK_UP, "up"},
    {SDLK_DOWN, "down"},     {SDLK_LEFT, "left"},     {SDLK_RIGHT, "right"},
    {SDLK_LSHIFT, "lshift"}, {SDLK_RSHIFT, "rshift"}, {SDLK_LCTRL, "lctrl"},
    {SDLK_RCTRL, "rctrl"},   {SDLK_LALT, "lalt"},     {SDLK_RALT, "ralt"},
}};
constexpr std::size_t kNamedKeyCount = kNamedKeys.size();
constexpr std::size_t kUnknown = kFirstNamed + kNamedKeyCount;
static_assert(kUnknown + 1 == kKeyNameCount);

// Letters and digits are one character long: their names live in these strings.
constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz";
constexpr std::string_view kDigits = "0123456789";

}  // namespace

std::size_t key_index(SDL_Keycode code) {
  if (code >= SDLK_a && code <= SDLK_z) return kFirstLetter + static_cast<std::size_t>(code - SDLK_a);
  if (code >= SDLK_0 && code <= SDLK_9) return kFirstDigit + static_cast<std::size_t>(code - SDLK_0);
  for (std::size_t i = 0; i < kNamedKeyCount; ++i) {
    if (kNamedKeys[i].code == code) return kFirstNamed + i;
  }
  return kUnknown;
}

std::optional<std::size_t> key_index(std::string_view name) {
  if (name.size() == 1) {
    char c = name[0];
    if (c >= 'a' && c <= 'z') return kFirstLetter + static_cast<std::size_t>(c - 'a');
    if (c >= '0' && c <= '9') return kFirstDigit + static_cast<std::size_t>(c - '0');
    return std::nullopt;
  }
  for (std::size_t i = 0; i < kNamedKeyCount; ++i) {
    if (kNamedKeys[i].name == name) return kFirstNamed + i;
  }
  if (name == "unknown") return kUnknown;
  return std::nullopt;
}

}  // namespace veltro
