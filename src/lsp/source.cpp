#include "lsp/source.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "checker/program.h"
#include "modules/catalogue.h"
#include "lsp/uri.h"
#include "runtime/text_file.h"

namespace veltro::lsp {

namespace fs = std::filesystem;

Source::Source(std::string uri, std::string path, std::string text)
    : uri_(std::move(uri)), path_(std::move(path)), outline_(path_.empty() ? "-" : path_, std::move(text)),
      lines_(outline_.unit().text()) {}

nlohmann::json position_json(Position position) {
  return {{"line", position.line}, {"character", position.character}};
}

nlohmann::json Source::range(std::size_t first, std::size_t end, Encoding encoding) const {
  return {{"start", position_json(lines_.position(first, encoding))},
          {"end", position_json(lines_.position(std::max(first, end), encoding))}};
}

nlohmann::json Source::token_range(std::size_t token, Encoding encoding) const {
  const SourceSpan& s = outline_.place(token);
  return range(s.offset, s.offset + s.length, encoding);
}

namespace {

std::string folder_of(const std::string& path) { return path.empty() ? std::string() : fs::path(path).parent_path().string(); }

std::string absolute_path(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

}  // namespace

SourcePtr Workspace::module(std::string_view name, const Source& from) const {
  if (!read_files || name.empty() || catalogue::find_module(name)) return nullptr;
  check::ModuleFile file = check::find_module_file(std::string(name), module_folder, folder_of(from.path()));
  if (file.path.empty()) return nullptr;
  std::string path = absolute_path(file.path);
  if (open_document) {
    if (SourcePtr open = open_document(path)) return open;
  }
  TextFile read = read_text_file(path);
  if (!read.ok) return nullptr;
  return std::make_shared<const Source>(uri_of_path(path), path, std::move(read.text));
}

std::vector<std::string> Workspace::module_names(const Source& from) const {
  std::set<std::string> names;
  if (!read_files) return {};
  for (const std::string& folder : {module_folder.empty() ? std::string(".") : module_folder, folder_of(from.path())}) {
    if (folder.empty()) continue;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
      const fs::path& p = it->path();
      if (p.extension() == ".vt" && !p.stem().empty()) names.insert(p.stem().string());
    }
  }
  return {names.begin(), names.end()};
}

}  // namespace veltro::lsp
