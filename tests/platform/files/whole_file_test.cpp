#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/files/whole_file.h"
#include "support/fixtures.h"

namespace pellary::platform::files {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names(const fs::path& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(WholeFile, ReplaceWritesWholeAndLeavesNoTemporary) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "state.txt";
  replaceWholeFile(file, "first");
  replaceWholeFile(file, std::string("sec\0nd", 6));
  EXPECT_EQ(readWholeFile(file), std::string("sec\0nd", 6));
  EXPECT_EQ(names(dir.path()), std::vector<std::string>{"state.txt"});
}

TEST(WholeFile, AFailureBeforeTheRenameKeepsTheOldFileAndDropsTheTemporary) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "state.txt";
  replaceWholeFile(file, "old");
  ReplaceOptions options;
  fs::path seen;
  options.beforeRename = [&](const fs::path& temp) {
    seen = temp;
    EXPECT_EQ(readWholeFile(temp), "new") << "the temporary is whole before the rename";
    throw std::runtime_error("stop");
  };
  EXPECT_THROW(replaceWholeFile(file, "new", options), std::runtime_error);
  EXPECT_EQ(seen.parent_path(), dir.path()) << "the temporary lies beside the file";
  EXPECT_EQ(readWholeFile(file), "old");
  EXPECT_EQ(names(dir.path()), std::vector<std::string>{"state.txt"});
}

TEST(WholeFile, AMissingFolderIsAFailureNamingTheStep) {
  testing::TempDir dir;
  try {
    replaceWholeFile(dir.path() / "gone" / "state.txt", "x");
    FAIL() << "no failure";
  } catch (const ReplaceFailed& f) {
    EXPECT_EQ(f.step(), "creating the new file");
    EXPECT_EQ(f.error(), ENOENT);
  }
}

TEST(WholeFile, OwnerOnlyFilesAreNotReadableByOthers) {
  testing::TempDir dir;
  ReplaceOptions options;
  options.ownerOnly = true;
  replaceWholeFile(dir.path() / "private", "x", options);
  struct stat st {};
  ASSERT_EQ(::stat((dir.path() / "private").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u);
}

TEST(WholeFile, ReadGivesNothingForAMissingFileOrAFolder) {
  testing::TempDir dir;
  EXPECT_FALSE(readWholeFile(dir.path() / "missing"));
  EXPECT_FALSE(readWholeFile(dir.path()));
  EXPECT_EQ(readWholeFile(dir.path() / "missing").value_or("none"), "none");
}

}  // namespace
}  // namespace pellary::platform::files
