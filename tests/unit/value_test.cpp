#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "natives.h"
#include "runtime/value.h"
#include "runtime/text.h"

namespace veltro {
namespace {

TEST(Value, FloatDisplayForm) {
  auto show = [](double d) { return Value::real(d).display(); };
  EXPECT_EQ(show(3.0), "3");
  EXPECT_EQ(show(-0.0), "-0");
  EXPECT_EQ(show(2.5), "2.5");
  EXPECT_EQ(show(1e20), "100000000000000000000");
  EXPECT_EQ(show(1.5e-7), "0.00000015");
  EXPECT_EQ(show(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(show(0.000001), "0.000001");
  EXPECT_EQ(show(std::nan("")), "NaN");
  EXPECT_EQ(show(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(show(-std::numeric_limits<double>::infinity()), "-inf");
  std::string big = show(1e300);
  EXPECT_EQ(big.size(), 301u);
  EXPECT_EQ(big.substr(0, 2), "10");
  EXPECT_EQ(show(std::numeric_limits<double>::max()).size(), 309u);
  EXPECT_EQ(show(1e23), "100000000000000000000000");
  EXPECT_EQ(show(-9223372036854775808.0), "-9223372036854776000");
  EXPECT_EQ(show(123.456), "123.456");
  EXPECT_EQ(show(5e-324), "0." + std::string(323, '0') + "5");
}

TEST(Value, FloatDisplayIsShortestRoundTripWithoutExponent) {
  // Doubles of every magnitude: the text reads back as the same double and
  // holds no more significant digits than needed (at most 17).
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    double d = std::bit_cast<double>(rng());
    if (!std::isfinite(d)) continue;
    std::string text = text::float_display(d);
    ASSERT_EQ(text.find_first_of("eE"), std::string::npos) << text;
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), d) << text;
    std::string digits;
    for (char c : text) {
      if (c >= '0' && c <= '9') digits += c;
    }
    digits.erase(0, digits.find_first_not_of('0'));
    if (std::size_t last = digits.find_last_not_of('0'); last != std::string::npos) digits.erase(last + 1);
    EXPECT_LE(digits.size(), 17u) << text;
  }
}

TEST(Value, FloatDebugForm) {
  auto dbg = [](double d) { return Value::real(d).debug(); };
  EXPECT_EQ(dbg(1.0), "Float(1.0)");
  EXPECT_EQ(dbg(2.5), "Float(2.5)");
  EXPECT_EQ(dbg(1e16), "Float(1e16)");
  EXPECT_EQ(dbg(1.5e16), "Float(1.5e16)");
  EXPECT_EQ(dbg(9999999999999998.0), "Float(9999999999999998.0)");
  EXPECT_EQ(dbg(1e-5), "Float(1e-5)");
  EXPECT_EQ(dbg(0.0001), "Float(0.0001)");
  EXPECT_EQ(dbg(-2.5e-300), "Float(-2.5e-300)");
  EXPECT_EQ(dbg(0.0), "Float(0.0)");
  EXPECT_EQ(dbg(-0.0), "Float(-0.0)");
  EXPECT_EQ(dbg(std::nan("")), "Float(NaN)");
}

TEST(Value, ContainersAndShapes) {
  Value nested = Value::array({Value::string("a"), Value::array({Value::number(1), Value::real(2.5)}), Value()});
  EXPECT_EQ(nested.display(), "[a, [1, 2.5], null]");
  EXPECT_EQ(nested.debug(), "Array([String(\"a\"), Array([Number(1), Float(2.5)]), Null])");
  DictMap map;
  map.emplace("k", Value::number(1));
  EXPECT_EQ(Value::dict(map).display(), "{k: 1}");
  EXPECT_EQ(Value::dict(map).debug(), "Dict({\"k\": Number(1)})");
  EXPECT_EQ(Value::dict({}).display(), "{}");
  EXPECT_EQ(Value::array({}).display(), "[]");
  EXPECT_EQ(Value::rect({1, -2, 3, 4}).display(), "Rect(1, -2, 3, 4)");
  EXPECT_EQ(Value::rect({1, 2, 4294967295u, 4}).debug(), "Rect { x: 1, y: 2, w: 4294967295, h: 4 }");
  EXPECT_EQ(Value::color({255, 0, 7}).display(), "Color(255, 0, 7)");
  EXPECT_EQ(Value::circle({10, 20, 5}).debug(), "Circle { x: 10, y: 20, radius: 5 }");
  EXPECT_EQ(Value::triangle({0, 0, 1, 0, 0, -1}).display(), "Triangle(0, 0, 1, 0, 0, -1)");
  const Value read = Value::builtin(test_support::native_index("files.read"));
  EXPECT_EQ(read.display(), "<builtin: files.read>");
  EXPECT_EQ(read.debug(), "BuiltinFunction { name: \"files.read\" }");
  EXPECT_EQ(Value::error("Division by zero").display(), "Error: Division by zero");
  EXPECT_EQ(Value::error("say \"x\"\n").debug(), "Error(\"say \\\"x\\\"\\n\")");
  EXPECT_EQ(Value::string("tab\there\x01").debug(), "String(\"tab\\there\\u{1}\")");
}

TEST(Value, TruthinessAndNames) {
  EXPECT_TRUE(Value::string("").truthy());
  EXPECT_TRUE(Value::array({}).truthy());
  EXPECT_TRUE(Value::dict({}).truthy());
  EXPECT_TRUE(Value::real(std::nan("")).truthy());
  EXPECT_FALSE(Value::real(-0.0).truthy());
  EXPECT_FALSE(Value().truthy());
  EXPECT_FALSE(Value::number(0).truthy());
  EXPECT_EQ(Value::builtin(test_support::native_index("sdl2.init")).type_name(), "builtin function");
  EXPECT_EQ(Value::builtin(test_support::native_index("sdl2.init")).typeof_name(), "unknown");
  EXPECT_EQ(Value::error("x").type_name(), "error");
  EXPECT_EQ(Value::color({1, 2, 3}).typeof_name(), "unknown");
}

TEST(Value, PatternEquality) {
  EXPECT_FALSE(pattern_equal(Value::number(1), Value::real(1.0)));
  EXPECT_TRUE(pattern_equal(Value(), Value()));
  EXPECT_TRUE(pattern_equal(Value::real(0.1 + 0.2), Value::real(0.3)));
  EXPECT_FALSE(pattern_equal(Value::array({}), Value::array({})));
  EXPECT_TRUE(pattern_equal(Value::string("a"), Value::string("a")));
}

TEST(Value, CopiesShareUntilChangedInPlace) {
  Value a = Value::array({Value::number(1)});
  Value b = a;
  EXPECT_FALSE(b.unique());
  b.mutable_array().push_back(Value::number(2));  // copies first: a is shared
  EXPECT_EQ(a.display(), "[1]");
  EXPECT_EQ(b.display(), "[1, 2]");
  EXPECT_TRUE(b.unique());
  Value s = Value::string("x");
  s.mutable_string() += "y";
  EXPECT_EQ(s.display(), "xy");
}

TEST(Value, DeeplyNestedArraysAreFreedWithoutRecursion) {
  Value v = Value::array({});
  for (int i = 0; i < 1000000; ++i) v = Value::array({std::move(v)});
  v = Value();  // must not overflow the stack
  SUCCEED();
}

TEST(Text, SaturatingTruncation) {
  EXPECT_EQ(text::saturating_trunc(1.9), 1);
  EXPECT_EQ(text::saturating_trunc(-1.9), -1);
  EXPECT_EQ(text::saturating_trunc(std::nan("")), 0);
  EXPECT_EQ(text::saturating_trunc(1e300), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(text::saturating_trunc(-1e300), std::numeric_limits<std::int64_t>::min());
}

TEST(Text, UnicodeHelpers) {
  EXPECT_EQ(text::to_upper("stra\xc3\x9f" "e"), "STRASSE");
  EXPECT_EQ(text::to_lower("\xc3\x89T\xc3\x89"), "\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(text::trim("\xe2\x80\x83 hi \t\n"), "hi");  // em space is White_Space
  EXPECT_EQ(text::trim(" \n "), "");
  EXPECT_TRUE(text::is_valid_utf8("h\xc3\xa9"));
  EXPECT_FALSE(text::is_valid_utf8("h\xc3"));
  EXPECT_FALSE(text::is_valid_utf8("\xed\xa0\x80"));  // a surrogate
  EXPECT_EQ(text::os_error(2), "No such file or directory (os error 2)");
}

TEST(Text, CaseMappingInPiecesMatchesTheWholeText) {
  // Texts whose mapping depends on context (a capital sigma is final or not
  // by what surrounds it, across case-ignorable marks), characters that grow
  // (\u00df to SS, \u0390 to three characters) and bytes that are not UTF-8.
  const std::string texts[] = {
      "\u039f\u0394\u039f\u03a3 \u0391\u03a3\u0391 \u03a3\u03a3\u03a3. \u039a\u03a3'\u0301 \u03a3x",
      "\u03a3\u03a3\u03a3\u03a3\u03a3\u03a3\u03a3\u03a3\u03a3\u03a3\u03a3\u03a3",
      "A\u03a3\u0301\u0301\u0301\u0301\u0301\u0301 b\u03a3.:.:.:.:c \u00df\u0390\u00df\u0390 \u4e16\u754c\u03a3",
      "caf\u00e9 \xff\xfe \xc3 stra\u00dfe \xe4\xb8 \u0130i\u0307 end",
  };
  for (const std::string& text : texts) {
    std::string upper = text::to_upper(text);
    std::string lower = text::to_lower(text);
    for (std::size_t chunk = 1; chunk <= text.size(); ++chunk) {
      EXPECT_EQ(text::to_upper(text, chunk), upper) << chunk;
      EXPECT_EQ(text::to_lower(text, chunk), lower) << chunk;
    }
  }
  EXPECT_EQ(text::to_lower("\u039f\u0394\u039f\u03a3 \u03a3\u03a3", 3), "\u03bf\u03b4\u03bf\u03c2 \u03c3\u03c2");
}

TEST(Text, Utf8DecodingAndEncoding) {
  std::size_t length = 0;
  // Every encoded length, at its boundaries, survives a round trip.
  for (char32_t cp : {0x7fU, 0x80U, 0x7ffU, 0x800U, 0xfffdU, 0x10000U, 0x10ffffU}) {
    std::string bytes;
    text::append_utf8(bytes, cp);
    EXPECT_EQ(text::decode_utf8(bytes, 0, length), cp);
    EXPECT_EQ(length, bytes.size());
  }
  // Decoding starts at the position given.
  EXPECT_EQ(text::decode_utf8("a\xc3\xa9", 1, length), 0xe9U);
  EXPECT_EQ(length, 2U);
  // An invalid sequence: one byte at a time, or (lossy) its longest valid-looking prefix.
  EXPECT_EQ(text::decode_utf8("\xe2\x82z", 0, length), 0xfffdU);
  EXPECT_EQ(length, 1U);
  EXPECT_EQ(text::decode_utf8_lossy("\xe2\x82z", 0, length), 0xfffdU);
  EXPECT_EQ(length, 2U);
  // The end of the text ends the sequence; nothing past it is read.
  EXPECT_EQ(text::decode_utf8_lossy(std::string_view("\xf0\x9f\x98\x80", 3), 0, length), 0xfffdU);
  EXPECT_EQ(length, 3U);
  // Beyond U+10FFFF the second byte is already invalid.
  EXPECT_EQ(text::decode_utf8_lossy("\xf4\x90\x80\x80", 0, length), 0xfffdU);
  EXPECT_EQ(length, 1U);
}

}  // namespace
}  // namespace veltro
