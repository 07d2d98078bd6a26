#include <gtest/gtest.h>

#include <fstream>
#include <ostream>

#include "platform/paths.h"
#include "support/fixtures.h"

namespace pellary::paths {
namespace {

struct LookupCase {
  const char* name;
  const char* relative;
};
void PrintTo(const LookupCase& c, std::ostream* os) { *os << c.name; }

// A folder with names in several spellings, and the lookups of a run.
class FolderLookups : public ::testing::TestWithParam<LookupCase> {
 protected:
  void SetUp() override {
    fs::create_directories(dir.path() / "Reference" / "Output");
    for (const char* f : {"Reference/Output/1_5.HTM", "Reference/Output/Index.htm", "Reference/menu.TXT"})
      std::ofstream(dir.path() / f) << "x";
  }
  testing::TempDir dir;
};

// The run's cache finds what a fresh lookup finds, spelling for spelling.
TEST_P(FolderLookups, FindAsAFreshLookupDoes) {
  FolderNames names;
  // A first lookup reads the folders; the second answers from the listing.
  for (int round = 0; round < 2; ++round)
    EXPECT_EQ(names.resolve(dir.path(), GetParam().relative), resolve(dir.path(), GetParam().relative))
        << "round " << round;
}

INSTANTIATE_TEST_SUITE_P(Paths, FolderLookups,
                         ::testing::Values(LookupCase{"ExactName", "Reference\\Output\\Index.htm"},
                                           LookupCase{"OtherCaseFile", "reference\\OUTPUT\\1_5.htm"},
                                           LookupCase{"NewFileInExistingFolder", "Reference\\Output\\2_7.htm"},
                                           LookupCase{"NewFolderAndFile", "Reference\\New\\Sub\\a.htm"},
                                           LookupCase{"TrailingSeparator", "REFERENCE\\output\\"},
                                           LookupCase{"SlashesAndDot", "Reference/./MENU.txt"}),
                         [](const ::testing::TestParamInfo<LookupCase>& i) { return std::string(i.param.name); });

// What the run makes joins the listing read before: a later lookup in
// another spelling finds it, although the folder is not read again.
TEST(FolderNamesRun, AMadeFileIsFoundInAnySpelling) {
  testing::TempDir dir;
  FolderNames names;
  const fs::path made = names.resolve(dir.path(), "Page_1.htm");
  EXPECT_EQ(made, dir.path() / "Page_1.htm");
  std::ofstream(made) << "x";
  names.made(made);
  EXPECT_EQ(names.resolve(dir.path(), "PAGE_1.HTM"), made);
  // Made by someone else after the folder was read: unseen until clear().
  std::ofstream(dir.path() / "Other.htm") << "x";
  EXPECT_EQ(names.resolve(dir.path(), "other.htm"), dir.path() / "other.htm");
  names.clear();
  EXPECT_EQ(names.resolve(dir.path(), "other.htm"), dir.path() / "Other.htm");
}

// Seeing others' changes, a name missed in a folder read before is looked for
// again once the folder changed: what others made or removed, just after the
// folder was read or after the run's own change, is found as a fresh lookup
// finds it, and what the run made is found without reading the folder.
TEST(FolderNamesRun, SeeingOthersChangesFindsAsAFreshLookupDoes) {
  testing::TempDir dir;
  const fs::path& d = dir.path();
  auto write = [](const fs::path& p) { std::ofstream(p) << "x"; };
  FolderNames names(true);
  write(d / "Old.htm");
  EXPECT_EQ(names.resolve(d, "OLD.htm"), d / "Old.htm");
  write(d / "Other.htm");
  EXPECT_EQ(names.resolve(d, "other.htm"), d / "Other.htm");
  const fs::path mine = names.resolve(d, "Page.htm");
  write(mine);
  names.made(mine);
  EXPECT_EQ(names.resolve(d, "PAGE.HTM"), mine);
  testing::awaitNextFolderTime(d);
  write(d / "Late.htm");
  fs::remove(d / "Old.htm");
  for (const char* name : {"late.HTM", "old.htm", "page.htm", "Missing.htm"})
    EXPECT_EQ(names.resolve(d, name), resolve(d, name)) << name;
}

// Folders kept from earlier lookups never change what a path names: after
// others rename, remove or add files and folders, each lookup finds what a
// fresh one finds.
TEST(ResolvedFoldersRun, FindsAsAFreshLookupDoesAfterOthersChanges) {
  testing::TempDir dir;
  const fs::path& d = dir.path();
  auto write = [](const fs::path& p) { std::ofstream(p) << "x"; };
  fs::create_directories(d / "Reference" / "Psion5");
  write(d / "Reference" / "Psion5" / "3_1.txt");
  write(d / "Reference" / "Psion5" / "3_2.TXT");
  const std::string base = d.string();
  ResolvedFolders folders;
  auto same = [&](const std::string& path) { EXPECT_EQ(folders.resolve(path), resolve(path)) << path; };
  for (const char* p : {"\\reference\\PSION5\\3_1.txt", "\\reference\\PSION5\\3_2.txt", "\\reference\\PSION5\\new.txt",
                        "/Reference/Psion5/3_1.txt"})
    same(base + p);
  // The folder renamed to another spelling, a file removed and one made in another.
  fs::rename(d / "Reference" / "Psion5", d / "Reference" / "psion5");
  same(base + "\\reference\\PSION5\\3_1.txt");
  fs::remove(d / "Reference" / "psion5" / "3_1.txt");
  write(d / "Reference" / "psion5" / "3_1.TXT");
  same(base + "\\reference\\PSION5\\3_1.txt");
  // The folder gone and made again in the written spelling.
  fs::remove_all(d / "Reference" / "psion5");
  same(base + "\\reference\\PSION5\\3_2.txt");
  fs::create_directories(d / "reference" / "PSION5");
  write(d / "reference" / "PSION5" / "3_2.txt");
  same(base + "\\reference\\PSION5\\3_2.txt");
  // Names that are no plain file name, and a folder path with its separator.
  for (const char* p : {"\\reference\\PSION5\\..", "\\reference\\PSION5\\", "\\reference\\PSION5\\."}) same(base + p);
}

}  // namespace
}  // namespace pellary::paths
