#pragma once
// file: URIs, the names the protocol gives documents, and the paths they stand for.
#include <optional>
#include <string>
#include <string_view>

namespace veltro::lsp {

// The absolute path of a file: URI (percent escapes decoded), or nothing for
// another scheme, a remote host or a path that no file can have.
[[nodiscard]] std::optional<std::string> path_of_uri(std::string_view uri);

// The file: URI of an absolute path.
[[nodiscard]] std::string uri_of_path(std::string_view path);

}  // namespace veltro::lsp
