#pragma once
// A text the language server reads: a document the editor holds open, or a
// module file read from disk; and the workspace that finds module files.
#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lsp/outline.h"
#include "lsp/positions.h"

namespace veltro::lsp {

class Source {
 public:
  // `path` is empty when the URI names no file.
  Source(std::string uri, std::string path, std::string text);
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  [[nodiscard]] const std::string& uri() const { return uri_; }
  [[nodiscard]] const std::string& path() const { return path_; }
  [[nodiscard]] std::string_view text() const { return outline_.unit().text(); }
  [[nodiscard]] const Outline& outline() const { return outline_; }
  [[nodiscard]] const LineIndex& lines() const { return lines_; }

  // Protocol ranges of bytes [first, end) and of a token.
  [[nodiscard]] nlohmann::json range(std::size_t first, std::size_t end, Encoding encoding) const;
  [[nodiscard]] nlohmann::json token_range(std::size_t token, Encoding encoding) const;
  // The 1-based line of a token, for messages.
  [[nodiscard]] std::uint32_t line_of(std::size_t token) const { return outline_.place(token).line; }

 private:
  std::string uri_;
  std::string path_;
  Outline outline_;
  LineIndex lines_;
};

using SourcePtr = std::shared_ptr<const Source>;

[[nodiscard]] nlohmann::json position_json(Position position);

// Where module files are looked for, and the documents open in the editor,
// whose text wins over the file on disk.
class Workspace {
 public:
  // The folder veltro would run in (empty: the server's working directory).
  std::string module_folder;
  // Off: no module file is looked for or read.
  bool read_files = true;
  // The open document whose file is at an absolute path, or nullptr.
  std::function<SourcePtr(const std::string& path)> open_document;

  // The file of script module `name` as a script at `from` would load it,
  // or nullptr (a built-in module, or no such file).
  [[nodiscard]] SourcePtr module(std::string_view name, const Source& from) const;
  // The names of the module files a script at `from` can use.
  [[nodiscard]] std::vector<std::string> module_names(const Source& from) const;
};

}  // namespace veltro::lsp
