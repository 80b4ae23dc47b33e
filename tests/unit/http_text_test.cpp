// The http module's text handling: JSON escapes and nesting, the path of a
// request, URL splitting. Sockets are covered by tests/e2e/test_http_*.py.
#include <gtest/gtest.h>

#include "modules/http/client.h"
#include "modules/http/http_module.h"
#include "modules/http/json.h"
#include "modules/http/request.h"
#include "modules/registry.h"

namespace veltro {
namespace {

Value str(const char* s) { return Value::string(s); }

TEST(HttpJson, EscapesStringsAndKeys) {
  EXPECT_EQ(http::json_text(str("q\"b\\s/\n\r\t\b\f\x01\x1f\x7f é")),
            "\"q\\\"b\\\\s/\\n\\r\\t\\b\\f\\u0001\\u001f\x7f é\"");
  DictMap map;
  map.emplace("k\"\n", Value::array({str("v")}));
  EXPECT_EQ(http::json_text(Value::dict(std::move(map))), "{\"k\\\"\\n\":[\"v\"]}");
}

TEST(HttpJson, DictionaryMembersAreSeparatedWhateverTheOrder) {
  DictMap map;
  map.emplace("a", Value::number(1));
  map.emplace("b", Value::dict({}));
  std::string text = http::json_text(Value::dict(std::move(map)));
  EXPECT_TRUE(text == "{\"a\":1,\"b\":{}}" || text == "{\"b\":{},\"a\":1}") << text;
}

TEST(HttpJson, DeepNestingNeedsNoDeepStack) {
  constexpr int kDepth = 1'000'000;
  Value value = Value::number(7);
  for (int i = 0; i < kDepth; ++i) value = Value::array({value});
  std::string text = http::json_text(value);
  ASSERT_EQ(text.size(), 2u * kDepth + 1);
  EXPECT_EQ(text.substr(kDepth - 2, 5), "[[7]]");
}

TEST(HttpRequestPath, SecondWordOfTheRequest) {
  EXPECT_EQ(http::request_path("GET /a HTTP/1.1\r\nHost: x\r\n\r\n"), "/a");
  EXPECT_EQ(http::request_path("POST /?a=1 HTTP/1.1\r\n"), "/?a=1");
  EXPECT_EQ(http::request_path("  GET\t\t/tab"), "/tab");
  EXPECT_EQ(http::request_path(""), "/");
  EXPECT_EQ(http::request_path("GET"), "/");
  EXPECT_EQ(http::request_path("GET \r\n"), "/");
  // Unicode white space separates words too.
  EXPECT_EQ(http::request_path("GET\u3000/wide\u00a0HTTP/1.1"), "/wide");
}

TEST(HttpRequestPath, InvalidBytesReadAsReplacementCharacters) {
  EXPECT_EQ(http::request_path("GET /\xff\xfe x"), "/\uFFFD\uFFFD");
  // A truncated three-byte sequence is one replacement, and the byte after it stays.
  EXPECT_EQ(http::request_path("GET /\xe2\x82z x"), "/\uFFFDz");
  // Overlong forms and surrogates are invalid.
  EXPECT_EQ(http::request_path("GET /\xc0\xaf\xed\xa0\x80 x"), "/\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(http::request_path("GET /caf\xc3\xa9 x"), "/café");
  EXPECT_EQ(http::request_path("GET /\xf0\x9f\x98"), "/\uFFFD");
}

TEST(HttpModule, TheRegistryFindsOnlyItsFunctions) {
  register_builtin_modules();
  EXPECT_EQ(natives::find_module("http"), &http_module());
  EXPECT_TRUE(natives::find("http.post").has_value());
  EXPECT_FALSE(natives::find("http.nosuch").has_value());
  EXPECT_FALSE(natives::find("http.").has_value());
}

TEST(HttpUrl, HostPortAndPath) {
  struct Case {
    const char* url;
    const char* host;
    std::uint16_t port;
    const char* path;
  };
  const Case cases[] = {
      {"http://h:8080", "h", 8080, "/"},
      {" \u3000example.org/a/b?c \n", "example.org", 80, "/a/b?c"},
      {"http://h:abc/x", "h", 80, "/x"},
      {"http://h:+81/", "h", 81, "/"},
      {"http://h:65535", "h", 65535, "/"},
      {"http://h:65536", "h", 80, "/"},
      {"http://h:/", "h", 80, "/"},
      {"http://h:1:2/", "h", 80, "/"},
      {"HTTP://h/", "HTTP", 80, "//h/"},  // the scheme is case-sensitive
  };
  for (const auto& c : cases) {
    auto url = http::parse_url(c.url);
    ASSERT_TRUE(url.has_value()) << c.url;
    EXPECT_EQ(url->host, c.host) << c.url;
    EXPECT_EQ(url->port, c.port) << c.url;
    EXPECT_EQ(url->path, c.path) << c.url;
  }
  EXPECT_FALSE(http::parse_url("https://h/").has_value());
}

}  // namespace
}  // namespace veltro
