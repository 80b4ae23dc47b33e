// The files module against the real file system: every test runs in a fresh
// temporary folder that is the working directory while it runs, and checks
// the folder's contents afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "modules/files/files_module.h"
#include "natives.h"

namespace veltro {
namespace {

namespace fs = std::filesystem;

class FilesModule : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "veltro-files-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::current_path(root_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    std::error_code ignored;
    fs::permissions(root_ / "locked", fs::perms::owner_all, ignored);
    fs::remove_all(root_, ignored);
  }

  static Value call(std::string_view name, std::vector<Value> args = {}) {
    ModuleStates states;
    return test_support::call_native(name, args, states);
  }
  static std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void put(const fs::path& p, std::string_view content) {
    std::ofstream(p, std::ios::binary) << content;
  }
  static std::string error_of(const Value& v) { return v.is_error() ? v.as_string() : "<not an error>"; }

  fs::path previous_, root_;
};

Value S(std::string s) { return Value::string(std::move(s)); }

TEST_F(FilesModule, BytesOnDiskAreExactlyTheDisplayForm) {
  const std::string text = "h\xc3\xa9llo \xe4\xb8\x96\xe7\x95\x8c\n";
  EXPECT_TRUE(call("files.write", {S("a.txt"), S(text)}).is_null());
  EXPECT_TRUE(call("files.append", {S("a.txt"), Value::array({Value::number(1), S("x")})}).is_null());
  EXPECT_EQ(slurp("a.txt"), text + "[1, x]");
  EXPECT_TRUE(call("files.write", {S("a.txt"), Value::real(2.5)}).is_null());
  EXPECT_EQ(slurp("a.txt"), "2.5");
  // A file too large to hold is refused before anything is read (sparse here).
  put("huge.txt", "");
  fs::resize_file("huge.txt", (std::uintmax_t{1} << 30) + 1);
  EXPECT_EQ(error_of(call("files.read", {S("huge.txt")})), "Failed to read file 'huge.txt': file is larger than 1073741824 bytes");
  // A system file that reports no size still reads to its end.
  Value status = call("files.read", {S("/proc/self/status")});
  ASSERT_TRUE(status.is_string());
  EXPECT_EQ(status.as_string().rfind("Name:", 0), 0u);
  EXPECT_TRUE(call("files.append", {S("new.txt"), S("")}).is_null());
  EXPECT_TRUE(fs::is_regular_file("new.txt"));
  EXPECT_EQ(fs::file_size("new.txt"), 0u);
}

TEST_F(FilesModule, CreateFolderBuildsEveryLevel) {
  EXPECT_TRUE(call("files.create_folder", {S("a/b/c")}).is_null());
  EXPECT_TRUE(fs::is_directory("a/b/c"));
  EXPECT_TRUE(call("files.create_folder", {S("a/b/c")}).is_null());
  EXPECT_TRUE(call("files.create_folder", {S("x//y/")}).is_null());
  EXPECT_TRUE(fs::is_directory("x/y"));
  EXPECT_TRUE(call("files.create_folder", {S((root_ / "abs" / "p").string())}).is_null());
  EXPECT_TRUE(fs::is_directory("abs/p"));

  // Permission checks do not apply to root.
  if (geteuid() != 0) {
    fs::create_directory("locked");
    fs::permissions("locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(error_of(call("files.create_folder", {S("locked/a/b")})),
              "Failed to create folder 'locked/a/b': Permission denied (os error 13)");
  }
}

TEST_F(FilesModule, RecursiveDeleteNeverFollowsLinks) {
  fs::create_directories("keep/inner");
  put("keep/inner/precious.txt", "x");
  fs::create_directories("d/sub");
  fs::create_directory_symlink(root_ / "keep", "d/sub/link");
  put("d/file", "y");

  EXPECT_TRUE(call("files.delete_folder", {S("d"), Value::boolean(true)}).is_null());
  EXPECT_FALSE(fs::exists("d"));
  EXPECT_EQ(slurp("keep/inner/precious.txt"), "x");

  // Neither a file nor a link to a folder is a folder to delete.
  fs::create_directory_symlink(root_ / "keep", "alias");
  EXPECT_EQ(error_of(call("files.delete_folder", {S("alias"), Value::boolean(true)})),
            "Failed to delete folder 'alias': Not a directory (os error 20)");
  put("plain", "z");
  EXPECT_EQ(error_of(call("files.delete_folder", {S("plain"), Value::boolean(true)})),
            "Failed to delete folder 'plain': Not a directory (os error 20)");
  EXPECT_TRUE(fs::is_symlink("alias"));
  EXPECT_EQ(slurp("plain"), "z");
  EXPECT_EQ(slurp("keep/inner/precious.txt"), "x");
}

TEST_F(FilesModule, ListGivesBareNamesOfFilesAndFolders) {
  put("a.txt", "x");
  fs::create_directories("sub/inner");
  put("sub/inner/deep.txt", "y");
  put("\xff.bin", "z");  // not a Unicode name: skipped

  Value listed = call("files.list", {S(".")});
  ASSERT_TRUE(listed.is_array());
  std::vector<std::string> names;
  for (const Value& v : listed.as_array()) names.push_back(v.as_string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "sub"}));

  Value inner = call("files.list", {S("sub/inner")});
  ASSERT_TRUE(inner.is_array());
  ASSERT_EQ(inner.as_array().size(), 1u);
  EXPECT_EQ(inner.as_array()[0].as_string(), "deep.txt");
}

TEST_F(FilesModule, PathTestsFollowLinks) {
  put("f.txt", "x");
  fs::create_directory("d");
  fs::create_symlink("f.txt", "to_file");
  fs::create_directory_symlink("d", "to_dir");
  fs::create_symlink("missing", "broken");

  struct Case {
    const char* path;
    bool exists, is_file, is_folder;
  } cases[] = {
      {"f.txt", true, true, false},  {"d", true, false, true},     {"missing", false, false, false},
      {"to_file", true, true, false}, {"to_dir", true, false, true}, {"broken", false, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(call("files.exists", {S(c.path)}).as_bool(), c.exists) << c.path;
    EXPECT_EQ(call("files.is_file", {S(c.path)}).as_bool(), c.is_file) << c.path;
    EXPECT_EQ(call("files.is_folder", {S(c.path)}).as_bool(), c.is_folder) << c.path;
  }}

TEST_F(FilesModule, NulBytesInPathsNameNoFile) {
  const std::string path("a\0b", 3);
  EXPECT_EQ(error_of(call("files.write", {S(path), S("x")})),
            std::string("Failed to write file 'a\0b': path contains a NUL byte", 52));
  EXPECT_FALSE(fs::exists("a"));
  EXPECT_FALSE(call("files.exists", {S(path)}).as_bool());
  EXPECT_FALSE(call("files.is_folder", {S(path)}).as_bool());
}

TEST_F(FilesModule, WriteToAPipeWithoutReaderFailsInsteadOfKillingTheProcess) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  const std::string path = "/dev/fd/" + std::to_string(ends[1]);
  EXPECT_EQ(error_of(call("files.write", {S(path), S("x")})),
            "Failed to write file '" + path + "': Broken pipe (os error 32)");
  EXPECT_EQ(error_of(call("files.append", {S(path), S("x")})),
            "Failed to append to file '" + path + "': Broken pipe (os error 32)");
  close(ends[1]);
}

}  // namespace
}  // namespace veltro
