// veltro-lsp: the language server for Veltro scripts, speaking the Language
// Server Protocol on standard input and output. This file only moves bytes:
// the framing cuts them into messages, the server answers each.
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "large_stack.h"
#include "lsp/framing.h"
#include "lsp/server.h"
#include "lsp/uri.h"

namespace {

constexpr std::string_view kHelp =
    "veltro-lsp - the language server for Veltro scripts\n"
    "\n"
    "USAGE:\n"
    "    veltro-lsp [--stdio]\n"
    "\n"
    "Speaks the Language Server Protocol on standard input and output; an editor\n"
    "starts it. It shows veltro-check's findings as the script is typed, explains\n"
    "builtins, module functions and the script's own names on hover, completes\n"
    "names, goes to definitions and lists a script's functions.\n"
    "\n"
    "OPTIONS:\n"
    "    --stdio             Talk on standard input and output (the only way; accepted\n"
    "                        because editors pass it)\n"
    "    -h, --help          Print this help message\n"
    "    -v, --version       Print the version\n"
    "\n"
    "EXIT STATUS:\n"
    "    0 after the editor's shutdown request, 1 when exit comes or the input ends\n"
    "    without one, 2 when the command line is wrong\n";

// The guide to the checks installed beside the program
// (PREFIX/bin/veltro-lsp, PREFIX/share/doc/veltro/checks.md), as a URI.
std::string checks_guide() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  std::filesystem::path guide = self.parent_path().parent_path() / "share" / "doc" / "veltro" / "checks.md";
  return std::filesystem::exists(guide, error) ? veltro::lsp::uri_of_path(guide.string()) : std::string();
}

bool write_all(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The messages to send for one frame. Whatever goes wrong with one message
// (memory running out half-way included) costs that message, not the session.
std::vector<nlohmann::json> replies_to(veltro::lsp::Server& server, const veltro::lsp::Frame& frame) {
  try {
    if (frame.ok) return server.handle(frame.body);
    std::cerr << "veltro-lsp: dropped " << frame.error << '\n';
    return {veltro::lsp::Server::parse_error(frame.error)};
  } catch (const std::bad_alloc&) {
    std::cerr << "veltro-lsp: a message dropped: out of memory\n";
  } catch (const std::exception& e) {
    std::cerr << "veltro-lsp: a message dropped: " << e.what() << '\n';
  }
  return {};
}

int serve() {
  veltro::lsp::ServerOptions options;
  options.checks_guide = checks_guide();
  veltro::lsp::Server server(options);
  veltro::lsp::FrameReader reader;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the editor is gone
    reader.feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    while (auto frame = reader.next()) {
      for (const auto& reply : replies_to(server, *frame)) {
        if (!write_all(veltro::lsp::frame(reply.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)))) {
          return 1;
        }
      }
      if (server.exited()) return server.exit_status();
    }
  }
  return server.exit_status();
}

int run(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") {
      std::cout << kHelp;
      return 0;
    }
    if (arg == "-v" || arg == "--version") {
      std::cout << "veltro-lsp version " VELTRO_VERSION "\n";
      return 0;
    }
    // Editors' clients pass how to talk and who they are; standard streams it is.
    if (arg == "--stdio" || arg.starts_with("--clientProcessId")) continue;
    std::cerr << fmt::format("veltro-lsp: unknown option '{}'\n", arg) << "Try 'veltro-lsp --help' for more information.\n";
    return 2;
  }
  try {
    return serve();
  } catch (const std::bad_alloc&) {
    std::cerr << "veltro-lsp: out of memory\n";
  } catch (const std::exception& e) {
    std::cerr << "veltro-lsp: internal error: " << e.what() << '\n';
  }
  return 1;
}

}  // namespace

// Documents are read with the parser and the checker, which recurse as deep
// as the parser allows: the server runs on the stack scripts run on.
int main(int argc, char** argv) { return veltro::run_main(argc, argv, run); }
