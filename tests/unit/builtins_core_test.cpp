// Core builtins at edges the script suite cannot reach easily: the extreme
// 64-bit bounds of slice, NaN in min/max and the sign of -0.0.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "modules/core/core_builtins.h"

namespace veltro {
namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

Value call(Value (*fn)(std::span<const Value>), std::vector<Value> args) { return fn(args); }

TEST(CoreBuiltins, SliceBoundsAreUnsignedCountsOverTheWholeRange) {
  auto slice = [](Value s, Value start, Value end) {
    Value r = call(builtin_slice, {s, start, end});
    return r.is_string() ? r.as_string() : "<null>";
  };
  const Value hello = Value::string("hello");
  // end - start wraps: from kMax to kMin the count is 1, but start is past the end.
  EXPECT_EQ(slice(hello, Value::number(kMax), Value::number(kMin)), "");
  EXPECT_EQ(slice(hello, Value::number(1), Value::number(kMin)), "ello");
  EXPECT_EQ(slice(hello, Value::number(0), Value::real(1e300)), "hello");
  EXPECT_EQ(slice(hello, Value::real(kNaN), Value::number(2)), "he");
  // Four-byte characters count once.
  EXPECT_EQ(slice(Value::string("a\xf0\x9f\x98\x80" "b"), Value::number(1), Value::number(2)), "\xf0\x9f\x98\x80");
  // An empty text split on the empty separator: one boundary, two empty pieces.
  Value pieces = call(builtin_split, {Value::string(""), Value::string("")});
  ASSERT_TRUE(pieces.is_array());
  EXPECT_EQ(pieces.as_array().size(), 2u);
}

TEST(CoreBuiltins, FloatEdgesOfArithmetic) {
  // No comparison with NaN is true: max lets a later NaN take over, min never
  // does, and a NaN that starts the walk stays.
  EXPECT_TRUE(std::isnan(call(builtin_max, {Value::number(1), Value::real(kNaN)}).as_float()));
  EXPECT_EQ(call(builtin_min, {Value::number(1), Value::real(kNaN)}).as_float(), 1.0);
  EXPECT_TRUE(std::isnan(call(builtin_min, {Value::real(kNaN), Value::number(1)}).as_float()));
  EXPECT_FALSE(std::signbit(call(builtin_abs, {Value::real(-0.0)}).as_float()));
  EXPECT_EQ(call(builtin_abs, {Value::number(kMin)}).as_number(), kMin);
  EXPECT_EQ(call(builtin_abs, {Value::number(kMin + 1)}).as_number(), kMax);
  EXPECT_EQ(call(builtin_floor, {Value::number(kMax)}).as_number(), kMax);  // 2^63 saturates back
}

}  // namespace
}  // namespace veltro
