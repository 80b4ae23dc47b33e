// The language server's parts: positions in both encodings and the lexer's
// places, the framing, file URIs, the outline's guesses about names, and the
// message handler driven message by message.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "lsp/framing.h"
#include "lsp/outline.h"
#include "lsp/positions.h"
#include "lsp/server.h"
#include "lsp/uri.h"

namespace veltro::lsp {
namespace {

using nlohmann::json;

TEST(LspPositions, ColumnsInUtf16AndUtf8) {
  // a, é (2 bytes, 1 unit), 😀 (4 bytes, 2 units), b
  std::string text = "x\na\xc3\xa9\xf0\x9f\x98\x80" "b\n";
  LineIndex lines(text);
  std::size_t b = text.find('b');
  EXPECT_EQ(lines.position(b, Encoding::Utf16), (Position{1, 4}));
  EXPECT_EQ(lines.position(b, Encoding::Utf8), (Position{1, 7}));
  EXPECT_EQ(lines.offset({1, 4}, Encoding::Utf16), b);
  EXPECT_EQ(lines.offset({1, 7}, Encoding::Utf8), b);
  // Half of a surrogate pair, or a column inside a UTF-8 sequence: the character's start.
  std::size_t emoji = text.find('\xf0');
  EXPECT_EQ(lines.offset({1, 3}, Encoding::Utf16), emoji);
  EXPECT_EQ(lines.offset({1, 5}, Encoding::Utf8), emoji);
  // Past the end of the line, past the last line.
  EXPECT_EQ(lines.offset({1, 1000}, Encoding::Utf16), text.size() - 1);
  EXPECT_EQ(lines.offset({7, 0}, Encoding::Utf16), text.size());
  EXPECT_EQ(lines.position(text.size() + 5, Encoding::Utf16), (Position{2, 0}));
}

TEST(LspPositions, LineBreaksOfTheProtocolAndOfTheLexer) {
  // The protocol ends lines at \n, \r\n and \r; the lexer at \n only.
  std::string text = "a\rb\r\nc\nd";
  LineIndex lines(text);
  EXPECT_EQ(lines.line_count(), 4u);
  EXPECT_EQ(lines.position(text.find('b'), Encoding::Utf16), (Position{1, 0}));
  EXPECT_EQ(lines.position(text.find('c'), Encoding::Utf16), (Position{2, 0}));
  EXPECT_EQ(lines.offset({1, 5}, Encoding::Utf16), text.find('\r', 2)) << "a line ends before its \\r\\n";
  EXPECT_EQ(lines.line_at(text.find('b')), "b");
  // Lexer places: `b` is on line 1, column 3; `d` on line 3.
  EXPECT_EQ(lines.offset_of_place(1, 3), text.find('b'));
  EXPECT_EQ(lines.offset_of_place(3, 1), text.find('d'));
  EXPECT_EQ(lines.offset_of_place(3, 99), text.size());
  EXPECT_EQ(lines.offset_of_place(9, 1), text.size());
  // Columns count characters: after é the next column is the next character.
  std::string wide = "\xc3\xa9x";
  EXPECT_EQ(LineIndex(wide).offset_of_place(1, 2), 2u);
}

TEST(LspPositions, InvalidUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(valid_utf8("ok\xc3\xa9"), "ok\xc3\xa9");
  EXPECT_EQ(valid_utf8("a\xff" "b"), "a\xef\xbf\xbd" "b");
  EXPECT_EQ(valid_utf8("\xe2\x82" "c"), "\xef\xbf\xbd" "c") << "one truncated character, one U+FFFD";
}

std::vector<Frame> frames(FrameReader& reader) {
  std::vector<Frame> out;
  while (auto f = reader.next()) out.push_back(*f);
  return out;
}

TEST(LspFraming, MessagesWholeSplitAndBroken) {
  FrameReader reader;
  reader.feed("Content-Length: 2\r\n\r\n{}content-length:3\r\nContent-Type: x\r\n\r\n[1]");
  auto got = frames(reader);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].body, "{}");
  EXPECT_EQ(got[1].body, "[1]");
  // One byte at a time.
  std::string message = frame("{\"a\":1}");
  for (char c : message) reader.feed(std::string_view(&c, 1));
  got = frames(reader);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].body, "{\"a\":1}");
  // A header block without a length, and a bad length: dropped, the next message still read.
  reader.feed("X: 1\r\n\r\nContent-Length: 2x\r\n\r\nContent-Length: 1\n\n5");
  got = frames(reader);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_FALSE(got[0].ok);
  EXPECT_FALSE(got[1].ok);
  EXPECT_TRUE(got[2].ok);
  EXPECT_EQ(got[2].body, "5");
}

TEST(LspFraming, OversizedMessagesAndHeadersAreSkipped) {
  FrameReader reader;
  std::size_t big = limits::kMaxLspMessageBytes + 10;
  reader.feed("Content-Length: " + std::to_string(big) + "\r\n\r\nabc");
  auto got = frames(reader);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_FALSE(got[0].ok);
  // The rest of its body arrives later and is thrown away.
  reader.feed(std::string(big - 3, 'x'));
  reader.feed(frame("{}"));
  got = frames(reader);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].body, "{}");
  reader.feed(std::string(limits::kMaxLspHeaderBytes + 1, 'h'));
  got = frames(reader);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_FALSE(got[0].ok);
  reader.feed(frame("[]"));
  EXPECT_EQ(frames(reader).at(0).body, "[]");
}

TEST(LspUri, FileUrisAndPaths) {
  EXPECT_EQ(path_of_uri("file:///home/a%20b/c.vt"), "/home/a b/c.vt");
  EXPECT_EQ(path_of_uri("FILE://localhost/x.vt"), "/x.vt");
  EXPECT_EQ(path_of_uri("file:///x.vt#frag"), "/x.vt");
  EXPECT_EQ(path_of_uri("file:///bad%zz"), "/bad%zz");
  EXPECT_EQ(path_of_uri("untitled:Untitled-1"), std::nullopt);
  EXPECT_EQ(path_of_uri("file://server/share/x.vt"), std::nullopt);
  EXPECT_EQ(path_of_uri("file:///a%00b"), std::nullopt);
  std::string odd = "/tmp/a b#c%d/\xc3\xa9.vt";
  EXPECT_EQ(uri_of_path(odd), "file:///tmp/a%20b%23c%25d/%C3%A9.vt");
  EXPECT_EQ(path_of_uri(uri_of_path(odd)), odd);
}

TEST(LspOutline, NamesResolveToTheNearestBinding) {
  Outline o("t.vt",
            "let x = 1\n"                     // 0
            "def f(x, g) {\n"                 // 1
            "  print(x)\n"                    // 2
            "  g(1)\n"                        // 3
            "}\n"
            "def h() {\n"                     // 5
            "  global x\n"                    // 6
            "  x = 2\n"                       // 7
            "  y = 3\n"                       // 8
            "}\n"
            "def g() { return y }\n"          // 10
            "def broken(p, q\n");             // 11: no `)`, no body
  auto token = [&](std::uint32_t line, std::string_view name) {
    for (std::size_t i = 0; i < o.tokens().size(); ++i) {
      if (o.place(i).line == line + 1 && o.tokens()[i].text == name) return i;
    }
    ADD_FAILURE() << name;
    return std::size_t{0};
  };
  auto line_of = [&](const Binding* b) { return b ? static_cast<int>(o.place(b->token).line) - 1 : -1; };
  // A parameter hides the top-level `let`; a parameter called wins over a function of that name.
  EXPECT_EQ(o.resolve("x", token(2, "x"), false)->kind, BindingKind::Parameter);
  EXPECT_EQ(o.resolve("g", token(3, "g"), true)->kind, BindingKind::Parameter);
  // `global x` sends the search to the top level.
  EXPECT_EQ(line_of(o.resolve("x", token(7, "x"), false)), 0);
  // A name bound only in another function (scoping is dynamic).
  EXPECT_EQ(line_of(o.resolve("y", token(10, "y"), false)), 8);
  // At top level, calling g finds the function.
  EXPECT_EQ(line_of(o.top_level("g")), 10);
  // An unfinished definition still has its name and parameters.
  ASSERT_EQ(o.functions().back().name, "broken");
  EXPECT_EQ(o.functions().back().params.size(), 2u);
  EXPECT_FALSE(o.functions().back().has_body);
  EXPECT_EQ(o.functions()[0].parent, kTopLevel);
}

TEST(LspOutline, CommentsStringsAndTheTokenUnderTheCursor) {
  std::string text = "let a = \"in # string\" # note\n/*/ still */ b /**/ c\nd = \"open";
  Outline o("t.vt", text);
  auto at = [&](std::string_view piece, std::size_t plus = 0) { return text.find(piece) + plus; };
  EXPECT_TRUE(o.in_comment_or_string(at("in #", 1)));
  EXPECT_TRUE(o.in_comment_or_string(at("note")));
  EXPECT_FALSE(o.in_comment_or_string(at("# note"))) << "just before the #";
  EXPECT_TRUE(o.in_comment_or_string(at("still")));
  EXPECT_FALSE(o.in_comment_or_string(at(" b ", 1)));
  EXPECT_FALSE(o.in_comment_or_string(at(" c", 1)));
  EXPECT_TRUE(o.in_comment_or_string(text.size())) << "a string left open";
  // The cursor just after a name is on the name, even before punctuation.
  Outline call("t.vt", "foo(1)");
  EXPECT_EQ(call.tokens()[*call.token_at(3)].text, "foo");
  EXPECT_EQ(call.tokens()[*call.token_at(0)].text, "foo");
  EXPECT_EQ(call.token_at(6).value(), 3u);  // the `)` ends there
  EXPECT_FALSE(Outline("t.vt", "  ").token_at(1));
}

// Drives a Server message by message.
class Driver {
 public:
  explicit Driver(ServerOptions options = {}) : server(std::move(options)) {}

  std::vector<json> send(const json& message) { return server.handle_message(message); }
  json request(const std::string& method, json params) {
    auto out = send({{"jsonrpc", "2.0"}, {"id", ++id}, {"method", method}, {"params", std::move(params)}});
    EXPECT_FALSE(out.empty());
    return out.empty() ? json() : out.back();
  }
  std::vector<json> notify(const std::string& method, json params) {
    return send({{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}});
  }
  void initialize(json capabilities = json::object()) {
    json reply = request("initialize", {{"capabilities", std::move(capabilities)}});
    ASSERT_TRUE(reply.contains("result")) << reply;
  }
  json open(const std::string& uri, const std::string& text) {
    auto out = notify("textDocument/didOpen", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", text}}}});
    EXPECT_EQ(out.size(), 1u);
    return out.empty() ? json() : out[0]["params"]["diagnostics"];
  }
  json at(const std::string& method, const std::string& uri, int line, int character) {
    return request(method, {{"textDocument", {{"uri", uri}}}, {"position", {{"line", line}, {"character", character}}}});
  }

  Server server;
  int id = 0;
};

TEST(LspServer, Lifecycle) {
  // Clients read these numbers off the wire.
  static_assert(kParseError == -32700 && kInvalidRequest == -32600 && kMethodNotFound == -32601 &&
                kInvalidParams == -32602 && kServerNotInitialized == -32002);
  Driver d;
  EXPECT_EQ(d.request("textDocument/hover", json::object())["error"]["code"], kServerNotInitialized);
  EXPECT_TRUE(d.notify("textDocument/didOpen", {{"textDocument", {{"uri", "file:///a.vt"}, {"text", ""}}}}).empty());
  d.initialize();
  EXPECT_EQ(d.request("initialize", json::object())["error"]["code"], kInvalidRequest);
  EXPECT_EQ(d.request("workspace/symbol", json::object())["error"]["code"], kMethodNotFound);
  EXPECT_TRUE(d.notify("workspace/didChangeConfiguration", json::object()).empty());
  EXPECT_TRUE(d.notify("$/cancelRequest", {{"id", 1}}).empty());
  // A response to a request the server never sent.
  EXPECT_TRUE(d.send({{"jsonrpc", "2.0"}, {"id", 7}, {"result", nullptr}}).empty());
  // Not a request nor a notification.
  EXPECT_EQ(d.send(json::array()).at(0)["error"]["code"], kInvalidRequest);
  EXPECT_EQ(d.send({{"id", {{"x", 1}}}, {"method", "shutdown"}}).at(0)["error"]["code"], kInvalidRequest);
  EXPECT_EQ(d.server.handle(std::string_view("{\"id\":")).at(0)["error"]["code"], kParseError);
  EXPECT_TRUE(d.request("shutdown", nullptr)["result"].is_null());
  EXPECT_EQ(d.request("textDocument/hover", json::object())["error"]["code"], kInvalidRequest);
  EXPECT_FALSE(d.server.exited());
  d.notify("exit", nullptr);
  EXPECT_TRUE(d.server.exited());
  EXPECT_EQ(d.server.exit_status(), 0);

  Driver abrupt;
  abrupt.initialize();
  abrupt.notify("exit", nullptr);
  EXPECT_EQ(abrupt.server.exit_status(), 1);
}

TEST(LspServer, TextThatIsAlmostJson) {
  Driver d;
  // Capabilities of unexpected shapes count as absent.
  auto out = d.server.handle(std::string_view(
      R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{"general":[1],"textDocument":5}}})"));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0]["result"]["capabilities"]["positionEncoding"], "utf-16");
  // Half of a surrogate pair, escaped, becomes U+FFFD; an escaped backslash before "ud800" is text.
  out = d.server.handle(std::string_view(
      R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":)"
      R"({"uri":"file:///s.vt","version":1,"text":"print(\"\ud83d\\ud800\ud83d\ude00\")\ud800"}}})"));
  ASSERT_EQ(out.size(), 1u);
  json found = out[0]["params"]["diagnostics"];
  ASSERT_EQ(found.size(), 1u) << found;
  EXPECT_EQ(found[0]["code"], "V001");
  // print(" is 7 units, U+FFFD 1, \ud800 as text 6, the emoji 2, ") 2.
  EXPECT_EQ(found[0]["range"]["start"]["character"], 18) << "after the string, in UTF-16 units";
  // Nesting far past anything the protocol sends.
  std::string deep = R"({"jsonrpc":"2.0","id":2,"method":"shutdown","params":)" + std::string(5000, '[') +
                     std::string(5000, ']') + "}";
  EXPECT_EQ(d.server.handle(std::string_view(deep)).at(0)["error"]["code"], kParseError);
}

TEST(LspServer, BadParamsAreAnsweredOrLogged) {
  Driver d;
  d.initialize();
  EXPECT_EQ(d.request("textDocument/hover", {{"textDocument", 5}})["error"]["code"], kInvalidParams);
  EXPECT_EQ(d.at("textDocument/hover", "file:///a.vt", -1, 0)["error"]["code"], kInvalidParams);
  EXPECT_EQ(d.request("textDocument/completion", {{"textDocument", {{"uri", "file:///a.vt"}}},
                                                   {"position", {{"line", 0.5}, {"character", 0}}}})["error"]["code"],
            kInvalidParams);
  auto out = d.notify("textDocument/didOpen", {{"textDocument", {{"uri", 3}}}});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0]["method"], "window/logMessage");
  // A change to a document never opened is ignored.
  EXPECT_TRUE(d.notify("textDocument/didChange", {{"textDocument", {{"uri", "file:///b.vt"}}},
                                                 {"contentChanges", json::array()}})
                  .empty());
}

TEST(LspServer, DiagnosticsFollowEditsAndLinkToTheGuide) {
  ServerOptions options;
  options.follow_modules = false;
  options.checks_guide = "file:///usr/share/doc/veltro/checks.md";
  Driver d(options);
  d.initialize();
  std::string uri = "file:///w/a.vt";
  json found = d.open(uri, "let a = [1]\na[0] = 2\n");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]["code"], "V101");
  EXPECT_EQ(found[0]["codeDescription"]["href"], "file:///usr/share/doc/veltro/checks.md#v101");
  EXPECT_EQ(found[0]["range"]["start"], json({{"line", 1}, {"character", 0}}));
  // An edit of a range (sent by a client that ignores the sync kind) fixes it.
  json range = {{"start", {{"line", 1}, {"character", 0}}}, {"end", {{"line", 1}, {"character", 8}}}};
  json edit = {{"range", range}, {"text", "print(a)"}};
  auto out = d.notify("textDocument/didChange", {{"textDocument", {{"uri", uri}, {"version", 2}}},
                                                 {"contentChanges", json::array({edit})}});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0]["params"]["version"], 2);
  EXPECT_EQ(out[0]["params"]["diagnostics"], json::array());
  json symbols = d.request("textDocument/documentSymbol", {{"textDocument", {{"uri", uri}}}})["result"];
  ASSERT_EQ(symbols.size(), 1u);
  EXPECT_EQ(symbols[0]["name"], "a");
  // Closing clears the findings.
  out = d.notify("textDocument/didClose", {{"textDocument", {{"uri", uri}}}});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0]["params"]["diagnostics"], json::array());
  EXPECT_TRUE(d.at("textDocument/hover", uri, 0, 0)["result"].is_null());
}

TEST(LspServer, SymbolsNestAsFunctionsDo) {
  std::string text = "let top = 1\ndef outer(a) {\n  def inner() { }\n  let local = 2\n}\ndef last() {}\n";
  for (bool tree : {true, false}) {
    Driver d;
    d.initialize({{"textDocument", {{"documentSymbol", {{"hierarchicalDocumentSymbolSupport", tree}}}}}});
    d.open("file:///s.vt", text);
    json symbols = d.request("textDocument/documentSymbol", {{"textDocument", {{"uri", "file:///s.vt"}}}})["result"];
    std::vector<std::string> names;
    for (const auto& s : symbols) names.push_back(s["name"]);
    if (tree) {
      EXPECT_EQ(names, (std::vector<std::string>{"top", "outer", "last"}));
      EXPECT_EQ(symbols[1]["detail"], "(a)");
      EXPECT_EQ(symbols[1]["range"]["end"], json({{"line", 4}, {"character", 1}}));
      ASSERT_EQ(symbols[1]["children"].size(), 1u);
      EXPECT_EQ(symbols[1]["children"][0]["name"], "inner");
    } else {
      EXPECT_EQ(names, (std::vector<std::string>{"outer", "inner", "last", "top"}));
      EXPECT_EQ(symbols[1]["containerName"], "outer");
    }
  }
}

TEST(LspServer, HoverAndCompletionKnowTheCatalogueAndTheContext) {
  Driver d;
  d.initialize();
  std::string uri = "file:///c.vt";
  d.open(uri, "use files as f;\nuse http;\nprint(files.exists(\"x\")) # files.\nf.\nhttp.\nlet v = 1\nuse ");
  std::string hover = d.at("textDocument/hover", uri, 2, 14)["result"]["contents"]["value"];
  EXPECT_NE(hover.find("files.exists(path)"), std::string::npos) << hover;
  hover = d.at("textDocument/hover", uri, 1, 5)["result"]["contents"]["value"];
  EXPECT_NE(hover.find("built-in module `http`"), std::string::npos) << hover;
  EXPECT_TRUE(d.at("textDocument/hover", uri, 1, 0)["result"].is_null()) << "a keyword";
  auto labels = [&](int line, int character) {
    std::vector<std::string> out;
    json items = d.at("textDocument/completion", uri, line, character)["result"];
    for (const auto& item : items) out.push_back(item["label"]);
    return out;
  };
  EXPECT_TRUE(labels(2, 34).empty()) << "in a comment";
  auto modules = labels(6, 4);
  EXPECT_EQ(std::count(modules.begin(), modules.end(), "sdl2"), 1);
  EXPECT_EQ(std::count(modules.begin(), modules.end(), "print"), 0);
  EXPECT_EQ(labels(3, 2).size(), 10u) << "through the alias, the files module";
  auto http = labels(4, 5);
  EXPECT_EQ(http.size(), 8u);
  EXPECT_EQ(http.front(), "page");
}

TEST(LspServer, ForgettingInternedNamesKeepsTheDocuments) {
  ServerOptions options;
  options.follow_modules = false;
  options.max_interned_names = 0;  // forget after every edit
  Driver d(options);
  d.initialize();
  d.open("file:///one.vt", "def alpha(p) { return p }\n");
  d.open("file:///two.vt", "let beta = alpha(2)\n");
  json location = d.at("textDocument/definition", "file:///one.vt", 0, 23)["result"];
  EXPECT_EQ(location["range"]["start"], json({{"line", 0}, {"character", 10}}));
  auto labels = d.at("textDocument/completion", "file:///two.vt", 1, 0)["result"];
  EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const json& i) { return i["label"] == "beta"; }));
}

}  // namespace
}  // namespace veltro::lsp
