#pragma once
// The hash map behind dictionaries: string keys, open addressing with linear
// probing, keys hashed with a per-process random seed so that iteration order
// (bucket order) is unspecified and differs from run to run. Removal shifts
// the entries after a freed bucket back, so lookups never meet tombstones.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

class Value;

// The seeded hash of a key; never 0 (0 marks an empty bucket).
[[nodiscard]] std::size_t hash_key(std::string_view key) noexcept;

template <class V>
class BasicDictMap {
 public:
  struct Entry {
    std::string first;
    V second;
  };

 private:
  struct Bucket {
    std::size_t hash = 0;
    Entry entry;
  };

 public:
  template <bool Const>
  class Iterator {
   public:
    using BucketPtr = std::conditional_t<Const, const Bucket*, Bucket*>;
    using reference = std::conditional_t<Const, const Entry&, Entry&>;
    using pointer = std::conditional_t<Const, const Entry*, Entry*>;
    Iterator() = default;
    Iterator(BucketPtr at, BucketPtr end) : at_(at), end_(end) { skip(); }
    reference operator*() const { return at_->entry; }
    pointer operator->() const { return &at_->entry; }
    Iterator& operator++() {
      ++at_;
      skip();
      return *this;
    }
    bool operator==(const Iterator& other) const { return at_ == other.at_; }

   private:
    void skip() {
      while (at_ != end_ && at_->hash == 0) ++at_;
    }
    BucketPtr at_ = nullptr;
    BucketPtr end_ = nullptr;
  };
  using iterator = Iterator<false>;
  using const_iterator = Iterator<true>;

  [[nodiscard]] std::size_t size() const noexcept { return size_; }
  [[nodiscard]] bool empty() const noexcept { return size_ == 0; }

  iterator begin() { return {buckets_.data(), buckets_.data() + buckets_.size()}; }
  iterator end() { return {buckets_.data() + buckets_.size(), buckets_.data() + buckets_.size()}; }
  const_iterator begin() const { return {buckets_.data(), buckets_.data() + buckets_.size()}; }
  const_iterator end() const { return {buckets_.data() + buckets_.size(), buckets_.data() + buckets_.size()}; }

  [[nodiscard]] const_iterator find(std::string_view key) const { return find(key, hash_key(key)); }
  [[nodiscard]] const_iterator find(std::string_view key, std::size_t hash) const {
    const Bucket* b = locate(key, hash);
    if (!b || b->hash == 0) return end();
    return {b, buckets_.data() + buckets_.size()};
  }
  [[nodiscard]] std::size_t count(std::string_view key) const { return find(key) == end() ? 0 : 1; }

  // Inserts or replaces.
  void insert_or_assign(std::string key, V value) {
    Bucket& b = slot_for(key);
    if (b.hash == 0) {
      b.hash = hash_key(key);
      b.entry.first = std::move(key);
      ++size_;
    }
    b.entry.second = std::move(value);
  }

  // The same with the key's hash (hash_key) already known.
  void insert_or_assign(std::string_view key, std::size_t hash, V value) {
    if ((size_ + 1) * 2 > buckets_.size()) grow();
    Bucket& b = const_cast<Bucket&>(*locate(key, hash));
    if (b.hash == 0) {
      b.hash = hash;
      b.entry.first = std::string(key);
      ++size_;
    }
    b.entry.second = std::move(value);
  }

  // Removes the key's entry; false when there is none.
  bool erase(std::string_view key, std::size_t hash) {
    const Bucket* found = locate(key, hash);
    if (!found || found->hash == 0) return false;
    std::size_t mask = buckets_.size() - 1;
    std::size_t hole = static_cast<std::size_t>(found - buckets_.data());
    // Each later entry of the run moves into the hole unless its home
    // bucket lies after the hole (cyclically), where a lookup starts past it.
    for (std::size_t i = (hole + 1) & mask; buckets_[i].hash != 0; i = (i + 1) & mask) {
      std::size_t home = buckets_[i].hash & mask;
      if (((i - home) & mask) >= ((i - hole) & mask)) {
        buckets_[hole] = std::move(buckets_[i]);
        hole = i;
      }
    }
    buckets_[hole] = Bucket{};
    --size_;
    return true;
  }

  // Inserts unless the key is present; true when inserted.
  bool emplace(std::string key, V value) {
    Bucket& b = slot_for(key);
    if (b.hash != 0) return false;
    b.hash = hash_key(key);
    b.entry.first = std::move(key);
    b.entry.second = std::move(value);
    ++size_;
    return true;
  }

 private:
  // Keys are mostly short: compared inline, in at most two overlapping
  // words, instead of through a library call.
  static bool same_key(std::string_view a, std::string_view b) noexcept {
    std::size_t n = a.size();
    if (n != b.size()) return false;
    const char* p = a.data();
    const char* q = b.data();
    if (n >= 8 && n <= 16) return word<8>(p) == word<8>(q) && word<8>(p + n - 8) == word<8>(q + n - 8);
    if (n >= 4 && n < 8) return word<4>(p) == word<4>(q) && word<4>(p + n - 4) == word<4>(q + n - 4);
    if (n < 4) {
      for (std::size_t i = 0; i < n; ++i) {
        if (p[i] != q[i]) return false;
      }
      return true;
    }
    return a == b;
  }
  template <std::size_t Bytes>
  static auto word(const char* p) noexcept {
    std::conditional_t<Bytes == 8, std::uint64_t, std::uint32_t> w;
    std::memcpy(&w, p, Bytes);
    return w;
  }

  const Bucket* locate(std::string_view key, std::size_t hash) const {
    if (buckets_.empty()) return nullptr;
    std::size_t mask = buckets_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const Bucket& b = buckets_[i];
      if (b.hash == 0 || (b.hash == hash && same_key(b.entry.first, key))) return &b;
    }
  }

  Bucket& slot_for(std::string_view key) {
    if ((size_ + 1) * 2 > buckets_.size()) grow();
    return const_cast<Bucket&>(*locate(key, hash_key(key)));
  }

  void grow() {
    std::vector<Bucket> old = std::move(buckets_);
    buckets_.clear();
    buckets_.resize(old.empty() ? 8 : old.size() * 2);
    std::size_t mask = buckets_.size() - 1;
    for (Bucket& b : old) {
      if (b.hash == 0) continue;
      std::size_t i = b.hash & mask;
      while (buckets_[i].hash != 0) i = (i + 1) & mask;
      buckets_[i] = std::move(b);
    }
  }

  std::vector<Bucket> buckets_;
  std::size_t size_ = 0;
};

}  // namespace veltro
