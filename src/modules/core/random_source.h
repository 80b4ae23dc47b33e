#pragma once
// Random words for `random` and `random_range`, straight from the operating
// system's cryptographic source, read in blocks to keep system calls rare.
#include <cstdint>
#include <optional>

namespace veltro {

// A fresh 64-bit random word; nullopt only when the operating system has no
// random source to offer at all.
[[nodiscard]] std::optional<std::uint64_t> random_word();

// A uniformly distributed integer in [0, bound) for bound >= 1, drawn by
// rejection from `next` so that no value is favoured (plain `r % bound` is
// biased whenever bound does not divide 2^64).
template <class Next>
[[nodiscard]] std::optional<std::uint64_t> uniform_below(std::uint64_t bound, Next&& next) {
  // 2^64 mod bound: the words below it belong to an incomplete last round of
  // `bound` residues and are redrawn. Fewer than half of all words are ever
  // rejected, so the expected number of draws is below 2.
  const std::uint64_t reject_below = (0 - bound) % bound;
  for (;;) {
    std::optional<std::uint64_t> word = next();
    if (!word) return std::nullopt;
    if (*word >= reject_below) return *word % bound;
  }
}

// An integer uniformly distributed between the bounds that includes `from` and
// excludes `to`: [from, to) when from < to, (to, from] when to < from, and
// `from` itself when they are equal. Exact over the whole 64-bit range.
template <class Next>
[[nodiscard]] std::optional<std::int64_t> random_between(std::int64_t from, std::int64_t to, Next&& next) {
  if (from == to) return from;
  // Spans are computed in unsigned arithmetic: to - from can exceed the
  // largest signed value (from near the minimum, to near the maximum).
  const auto ufrom = static_cast<std::uint64_t>(from);
  const auto uto = static_cast<std::uint64_t>(to);
  if (from < to) {
    std::optional<std::uint64_t> k = uniform_below(uto - ufrom, next);
    if (!k) return std::nullopt;
    return static_cast<std::int64_t>(ufrom + *k);
  }
  std::optional<std::uint64_t> k = uniform_below(ufrom - uto, next);
  if (!k) return std::nullopt;
  return static_cast<std::int64_t>(ufrom - *k);
}

}  // namespace veltro
