#pragma once
// Every message of the files module, in one place. The first placeholder of a
// failure message is the path, the second the cause.
#include <string_view>

namespace veltro::files_messages {

inline constexpr std::string_view kNoSuchFunction = "Files module has no function '{}'";

inline constexpr std::string_view kReadArgs = "read requires a filepath";
inline constexpr std::string_view kWriteArgs = "write requires a filepath and content";
inline constexpr std::string_view kAppendArgs = "append requires a filepath and content";
inline constexpr std::string_view kDeleteArgs = "delete requires a filepath";
inline constexpr std::string_view kExistsArgs = "exists requires a path";
inline constexpr std::string_view kCreateFolderArgs = "create_folder requires a folder path";
inline constexpr std::string_view kDeleteFolderArgs = "delete_folder requires a folder path";
inline constexpr std::string_view kListArgs = "list requires a folder path";
inline constexpr std::string_view kIsFileArgs = "is_file requires a path";
inline constexpr std::string_view kIsFolderArgs = "is_folder requires a path";

inline constexpr std::string_view kReadFailed = "Failed to read file '{}': {}";
inline constexpr std::string_view kWriteFailed = "Failed to write file '{}': {}";
inline constexpr std::string_view kAppendOpenFailed = "Failed to open file '{}': {}";
inline constexpr std::string_view kAppendFailed = "Failed to append to file '{}': {}";
inline constexpr std::string_view kDeleteFailed = "Failed to delete file '{}': {}";
inline constexpr std::string_view kCreateFolderFailed = "Failed to create folder '{}': {}";
inline constexpr std::string_view kDeleteFolderFailed = "Failed to delete folder '{}': {}";
inline constexpr std::string_view kListFailed = "Failed to list folder '{}': {}";

// Causes the operating system does not report as an error code.
inline constexpr std::string_view kIncompleteTree = "failed to create whole tree";
// A path is handed to the system as a C string, which cannot hold a NUL byte.
inline constexpr std::string_view kNulInPath = "path contains a NUL byte";

}  // namespace veltro::files_messages
