// The operator rules: the general rules and the forms the fast paths take
// agree, every failure has its text, and the interpreter's operator tokens
// name the rules the messages name.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "interpreter/interpreter.h"
#include "lexer/token.h"
#include "runtime/operators.h"

namespace veltro {
namespace {

using ops::Op;
using namespace std::string_view_literals;

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

// The same result: same kind and bits (NaN included), or the same failure.
void expect_same(const Value& a, const Value& b, const std::string& what) {
  ASSERT_EQ(a.type(), b.type()) << what << ": " << a.debug() << " vs " << b.debug();
  if (a.is_error()) {
    EXPECT_EQ(a.as_string(), b.as_string()) << what;
  } else {
    EXPECT_EQ(a.bits(), b.bits()) << what << ": " << a.debug() << " vs " << b.debug();
  }
}

TEST(Operators, TokensNameTheRulesTheirMessagesName) {
  for (TokenType token : {TokenType::Plus, TokenType::Minus, TokenType::Star, TokenType::Slash, TokenType::Percent,
                          TokenType::Power, TokenType::Equal, TokenType::NotEqual, TokenType::Less,
                          TokenType::Greater, TokenType::LessEqual, TokenType::GreaterEqual, TokenType::And,
                          TokenType::Or}) {
    EXPECT_EQ(ops::name(binary_operator(token)), token_type_name(token));
  }
}

// Whatever a fast path computes where its form applies is what the general
// rules give for the same operands, at the edges of both kinds.
TEST(Operators, FormsAgreeWithTheGeneralRules) {
  const std::int64_t ints[] = {kMin, kMin + 1, -7, -2, -1, 0, 1, 2, 3, 7, 63, 64, kMax - 1, kMax};
  const double reals[] = {-1e308, -2.5, -1.0, -0.0, 0.0, 0.1 + 0.2, 0.3, 1.0, 2.5, 1e308,
                          std::numeric_limits<double>::infinity(), std::nan("")};
  for (std::size_t i = 0; i < ops::kOpCount; ++i) {
    auto op = static_cast<Op>(i);
    ops::with_op(op, [&]<Op O>() {
      if constexpr (!ops::is_logical(O)) {
        for (std::int64_t l : ints) {
          for (std::int64_t r : ints) {
            std::string what = fmt::format("{} {} {}", l, ops::name(O), r);
            Value general = ops::apply(Value::number(l), O, Value::number(r));
            if (ops::integer_form<O>(r)) {
              expect_same(ops::integer_result<O>(l, r), general, what);
            } else {
              EXPECT_TRUE(general.is_error()) << what;
            }
          }
        }
        for (double l : reals) {
          for (double r : reals) {
            std::string what = fmt::format("{} {} {}", l, ops::name(O), r);
            Value general = ops::apply(Value::real(l), O, Value::real(r));
            if (ops::float_form<O>(r)) {
              expect_same(ops::float_result<O>(l, r), general, what);
            } else {
              EXPECT_TRUE(general.is_error()) << what;
            }
          }
        }
      }
    });
  }
}

TEST(Operators, IntegersWrapAround) {
  EXPECT_EQ(ops::apply(Value::number(kMax), Op::Add, Value::number(1)).as_number(), kMin);
  EXPECT_EQ(ops::apply(Value::number(kMin), Op::Subtract, Value::number(1)).as_number(), kMax);
  EXPECT_EQ(ops::apply(Value::number(kMax), Op::Multiply, Value::number(2)).as_number(), -2);
  // The one overflowing quotient wraps; its remainder is zero.
  EXPECT_EQ(ops::apply(Value::number(kMin), Op::Divide, Value::number(-1)).as_number(), kMin);
  EXPECT_EQ(ops::apply(Value::number(kMin), Op::Remainder, Value::number(-1)).as_number(), 0);
  EXPECT_EQ(ops::negate(Value::number(kMin)).as_number(), kMin);
  // Division truncates toward zero, the remainder takes the dividend's sign.
  EXPECT_EQ(ops::apply(Value::number(-7), Op::Divide, Value::number(2)).as_number(), -3);
  EXPECT_EQ(ops::apply(Value::number(-7), Op::Remainder, Value::number(2)).as_number(), -1);
  // The exponent is an unsigned 32-bit count: 2^64 wraps to 0, and -1 is
  // 2^32 - 1, an odd count.
  EXPECT_EQ(ops::apply(Value::number(2), Op::Power, Value::number(64)).as_number(), 0);
  EXPECT_EQ(ops::apply(Value::number(-1), Op::Power, Value::number(-1)).as_number(), -1);
  EXPECT_EQ(ops::apply(Value::number(3), Op::Power, Value::number((std::int64_t{1} << 32) + 2)).as_number(), 9);
}

TEST(Operators, FloatEqualityHasATolerance) {
  EXPECT_TRUE(ops::apply(Value::real(0.1 + 0.2), Op::Equal, Value::real(0.3)).as_bool());
  EXPECT_FALSE(ops::apply(Value::real(0.1 + 0.2), Op::NotEqual, Value::real(0.3)).as_bool());
  EXPECT_FALSE(ops::apply(Value::real(1.0), Op::Equal, Value::real(1.0 + 1e-15)).as_bool());
  // NaN is neither equal nor unequal to anything.
  EXPECT_FALSE(ops::apply(Value::real(std::nan("")), Op::Equal, Value::real(std::nan(""))).as_bool());
  EXPECT_FALSE(ops::apply(Value::real(std::nan("")), Op::NotEqual, Value::real(std::nan(""))).as_bool());
  EXPECT_FALSE(ops::apply(Value::real(std::nan("")), Op::NotEqual, Value::number(1)).as_bool());
  // A number with a float compares as a double.
  EXPECT_TRUE(ops::apply(Value::number(1), Op::Equal, Value::real(1.0)).as_bool());
  EXPECT_TRUE(ops::apply(Value::real(2.5), Op::Greater, Value::number(2)).as_bool());
  // Match patterns compare floats the same way, but never across kinds.
  EXPECT_TRUE(pattern_equal(Value::real(0.1 + 0.2), Value::real(0.3)));
  EXPECT_FALSE(pattern_equal(Value::number(1), Value::real(1.0)));
  // The remainder by zero is NaN, not a failure.
  EXPECT_TRUE(std::isnan(ops::apply(Value::real(1.0), Op::Remainder, Value::number(0)).as_float()));
}

TEST(Operators, FailureTexts) {
  auto failure = [](const Value& l, Op op, const Value& r) {
    Value v = ops::apply(l, op, r);
    EXPECT_TRUE(v.is_error());
    return v.is_error() ? v.as_string() : std::string();
  };
  EXPECT_EQ(failure(Value::number(1), Op::Divide, Value::number(0)), "Division by zero");
  EXPECT_EQ(failure(Value::number(1), Op::Remainder, Value::number(0)), "Modulo by zero");
  EXPECT_EQ(failure(Value::real(1), Op::Divide, Value::number(0)), "Division by zero");
  EXPECT_EQ(failure(Value::number(1), Op::Divide, Value::real(-0.0)), "Division by zero");
  EXPECT_EQ(failure(Value::number(1), Op::And, Value::number(1)), "Unsupported operation on numbers: And");
  EXPECT_EQ(failure(Value::real(1), Op::Or, Value::real(1)), "Unsupported operation on floats: Or");
  EXPECT_EQ(failure(Value::real(1), Op::Or, Value::number(1)), "Unsupported operation: Or");
  EXPECT_EQ(failure(Value::string("a"), Op::Less, Value::string("b")), "Unsupported operation on strings: Less");
  EXPECT_EQ(failure(Value::boolean(true), Op::Add, Value::boolean(true)),
            "Unsupported operation on booleans: Plus");
  EXPECT_EQ(failure(Value::string("a"), Op::Add, Value::number(1)), "Cannot apply Plus to string and number");
  EXPECT_EQ(failure(Value(), Op::Equal, Value()), "Cannot apply Equal to null and null");
  EXPECT_EQ(ops::negate(Value::string("a")).as_string(), "Cannot negate string");
}

TEST(Operators, StringsJoinAndCompareByBytes) {
  EXPECT_EQ(ops::apply(Value::string("ab"), Op::Add, Value::string("c")).as_string(), "abc");
  EXPECT_TRUE(ops::apply(Value::string("a"), Op::Equal, Value::string("a")).as_bool());
  EXPECT_TRUE(ops::apply(Value::string("a"), Op::NotEqual, Value::string("a\0"sv)).as_bool());
  EXPECT_TRUE(ops::apply(Value::boolean(true), Op::And, Value::boolean(true)).as_bool());
  EXPECT_FALSE(ops::apply(Value::boolean(true), Op::Equal, Value::boolean(false)).as_bool());
}

}  // namespace
}  // namespace veltro
