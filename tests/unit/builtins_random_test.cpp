// random and random_range: bounds, uniformity and the absence of modulo bias.
// Thresholds sit at ten standard deviations or more, so a correct build
// cannot fail them by chance.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "modules/core/core_builtins.h"
#include "modules/core/random_source.h"

namespace veltro {
namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

std::int64_t draw(std::vector<Value> args) {
  Value v = builtin_random_range(args);
  EXPECT_TRUE(v.is_integer());
  return v.as_number();
}

TEST(RandomRange, IncludesMinExcludesMaxInBothDirections) {
  for (int i = 0; i < 2000; ++i) {
    std::int64_t up = draw({Value::number(1), Value::number(10)});
    EXPECT_GE(up, 1);
    EXPECT_LT(up, 10);
    std::int64_t down = draw({Value::number(5), Value::number(-5)});
    EXPECT_LE(down, 5);
    EXPECT_GT(down, -5);
    std::int64_t wide = draw({Value::number(kMin), Value::number(kMax)});
    EXPECT_LT(wide, kMax);
    std::int64_t wide_down = draw({Value::number(kMax), Value::number(kMin)});
    EXPECT_GT(wide_down, kMin);
    // One value only: min itself.
    EXPECT_EQ(draw({Value::number(0), Value::number(1)}), 0);
    EXPECT_EQ(draw({Value::number(1), Value::number(0)}), 1);
    EXPECT_EQ(draw({Value::number(kMin), Value::number(kMin)}), kMin);
    // Non-finite Float bounds saturate (NaN counts as 0): [0, max) and {min}.
    EXPECT_GE(draw({Value::real(std::numeric_limits<double>::quiet_NaN()), Value::real(1.0 / 0.0)}), 0);
    EXPECT_EQ(draw({Value::real(-1.0 / 0.0), Value::number(kMin)}), kMin);
  }
}

TEST(RandomRange, RoughlyUniformOverSixValues) {
  constexpr int kDraws = 6000;
  std::array<int, 6> counts{};
  for (int i = 0; i < kDraws; ++i) {
    std::int64_t v = draw({Value::number(-3), Value::number(3)});
    ASSERT_GE(v, -3);
    ASSERT_LT(v, 3);
    ++counts[static_cast<std::size_t>(v + 3)];
  }
  // Expected 1000 each, standard deviation about 29.
  for (int c : counts) {
    EXPECT_GT(c, 700);
    EXPECT_LT(c, 1300);
  }
}

TEST(UniformBelow, RejectsTheIncompleteLastRound) {
  // A scripted word source: the words below 2^64 mod 3 (= 1) are redrawn.
  std::vector<std::uint64_t> words{0, 0, 5};
  std::size_t next = 0;
  auto source = [&]() -> std::optional<std::uint64_t> { return words[next++]; };
  EXPECT_EQ(uniform_below(3, source), std::optional<std::uint64_t>(2));
  EXPECT_EQ(next, 3u);

  auto failing = []() -> std::optional<std::uint64_t> { return std::nullopt; };
  EXPECT_FALSE(uniform_below(10, failing).has_value());
  EXPECT_FALSE(random_between(0, 10, failing).has_value());
}

TEST(UniformBelow, NoBiasForSpansNearTwoToThe64) {
  // With bound = 3/4 of 2^64, taking r % bound would map the top quarter of
  // words onto the first third of the range, giving it probability 1/2
  // instead of 1/3.
  constexpr std::uint64_t kBound = (std::uint64_t{3} << 62);
  constexpr std::uint64_t kThird = std::uint64_t{1} << 62;
  constexpr int kDraws = 3000;
  int low = 0;
  for (int i = 0; i < kDraws; ++i) {
    auto v = uniform_below(kBound, random_word);
    ASSERT_TRUE(v.has_value());
    ASSERT_LT(*v, kBound);
    if (*v < kThird) ++low;
  }
  // Expected 1000, standard deviation about 26; a biased draw expects 1500.
  EXPECT_GT(low, 750);
  EXPECT_LT(low, 1250);
}

}  // namespace
}  // namespace veltro
