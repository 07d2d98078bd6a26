#include <gtest/gtest.h>

#include "tests/update/cue/cue_fixture.h"
#include "update/cue/cue_split.h"
#include "update/cue/cue_values.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::writeFile;

class Splitter : public testing::CueTest {
 protected:
  fs::path updates(const std::string& name) { return home() / "Updates" / name; }
  std::string cue(const std::string& name) { return readFile(home() / "CUE" / name); }
};

TEST_F(Splitter, SectionsBecomeTableFilesRowsCopiedUnchanged) {
  writeFile(
      updates("C1_S1_1.new"),
      "EVENTCAT\r\n1204,1001,1\r\n 1204, \"x, y\" ,1\r\n/EVENTCAT\r\nRESTRUCTURE\r\n1,15,16,1,500\r\n/RESTRUCTURE\r\n"
      "Primary\r\n/Primary\r\n");
  Bcue_SplitNewFile("C1_S1_1");
  EXPECT_EQ(cue("EVENTCAT.cue"), "1204,1001,1\r\n 1204, \"x, y\" ,1\r\n");
  EXPECT_EQ(cue("RESTRUCTURE.cue"), "1,15,16,1,500\r\n");
  EXPECT_EQ(cue("Primary.cue"), "");  // a section with no rows
  EXPECT_FALSE(fs::exists(updates("C1_S1_1.new")));
}

TEST_F(Splitter, OnlyTheEventsMember) {
  writeFile(updates("C1_S1_1.de"), "1,\"a\"\r\n");
  Bcue_SplitNewFile("C1_S1_1");
  EXPECT_EQ(cue("events.kest"), "1,\"a\"\r\n");
  EXPECT_FALSE(fs::exists(updates("C1_S1_1.de")));
  int tableFiles = 0;
  for (auto& e : fs::directory_iterator(home() / "CUE")) tableFiles += e.path().extension() == ".cue";
  EXPECT_EQ(tableFiles, 0);
}

TEST_F(Splitter, SectionsAloneLeaveAnEarlierEventsFile) {
  cueFile("events.kest", "old");
  writeFile(updates("B.new"), "Primary\r\n1,1,\"a\",1\r\n/Primary\r\n");
  Bcue_SplitNewFile("B");
  EXPECT_EQ(cue("events.kest"), "old");
}

TEST_F(Splitter, MissingMembersAreNoError) {
  Bcue_SplitNewFile("nothing");
  EXPECT_TRUE(reported.empty());
}

TEST_F(Splitter, LastSectionWithoutClosingLineKeepsEveryRow) {
  writeFile(updates("B.new"), "Primary\r\n1,1,\"a\",1\r\n1,2,\"b\",1");
  Bcue_SplitNewFile("B");
  EXPECT_EQ(cue("Primary.cue"), "1,1,\"a\",1\r\n1,2,\"b\",1\r\n");
}

TEST_F(Splitter, NameLineEndingTheFileIsRefusedBlankLinesAfterTheLastSectionAreNot) {
  writeFile(updates("B.new"), "Primary\r\n1,1,\"a\",1\r\n/Primary\r\nSecondary\r\n");
  EXPECT_TRUE(ends([] { Bcue_SplitNewFile("B"); }));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0].number, cue::kInputPastEnd);
  EXPECT_FALSE(fs::exists(home() / "CUE" / "Primary.cue"));

  writeFile(updates("B.new"), "Primary\r\n1,1,\"a\",1\r\n/Primary\r\n\r\n\r\n");
  Bcue_SplitNewFile("B");
  EXPECT_EQ(cue("Primary.cue"), "1,1,\"a\",1\r\n");
  EXPECT_FALSE(fs::exists(home() / "CUE" / ".cue"));
}

TEST_F(Splitter, RepeatedSectionNameLaterRowsWin) {
  writeFile(updates("B.new"), "Primary\r\n1,1,\"a\",1\r\n/Primary\r\nPrimary\r\n1,2,\"b\",1\r\n/Primary\r\n");
  Bcue_SplitNewFile("B");
  EXPECT_EQ(cue("Primary.cue"), "1,2,\"b\",1\r\n");
}

TEST_F(Splitter, ClosingLineInOtherCaseIsARow) {
  writeFile(updates("B.new"), "Primary\n1,1,\"a\",1\n/primary\n1,2,\"b\",1\n/Primary\n");
  Bcue_SplitNewFile("B");
  EXPECT_EQ(cue("Primary.cue"), "1,1,\"a\",1\r\n/primary\r\n1,2,\"b\",1\r\n");
}

TEST_F(Splitter, ExistingFileOfOtherCaseIsReplacedInPlace) {
  cueFile("PRIMARY.CUE", "old");
  writeFile(updates("B.new"), "Primary\r\n1,1,\"a\",1\r\n/Primary\r\n");
  Bcue_SplitNewFile("B");
  EXPECT_EQ(cue("PRIMARY.CUE"), "1,1,\"a\",1\r\n");
  int files = 0;
  for (auto& e : fs::directory_iterator(home() / "CUE")) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST_F(Splitter, NameThatIsNoPlainNameIsRefusedAndNeverAPath) {
  const char* names[] = {"../evil", "sub/evil", "..\\evil", "", "a b", "/abs"};
  for (const char* bad : names) {
    SCOPED_TRACE(bad);
    reported.clear();
    writeFile(updates("B.new"),
              std::string("Primary\r\n1,1,\"a\",1\r\n/Primary\r\n") + bad + "\r\nrow\r\n/" + bad + "\r\n");
    EXPECT_TRUE(ends([] { Bcue_SplitNewFile("B"); }));
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].location, "Bcue_SplitNewFile");
    EXPECT_TRUE(fs::exists(updates("B.new")));
    EXPECT_FALSE(fs::exists(home() / "CUE" / "Primary.cue")) << "nothing written from a refused file";
    EXPECT_FALSE(fs::exists(home() / "evil.cue"));
    EXPECT_FALSE(fs::exists(home() / "CUE" / ".cue"));
  }
}

// Read in blocks: line ends of every kind fall across the blocks' edges.
TEST_F(Splitter, LongFileSplitsLineByLineAcrossItsBlocks) {
  std::string file = "EVENTCAT\r\n", expected;
  const char* ends[] = {"\r\n", "\n", "\r"};
  for (int i = 0; i < 40000; ++i) {
    std::string row = std::to_string(1000 + i % 97) + "," + std::to_string(i) + ",1";
    file += row + ends[i % 3];
    expected += row + "\r\n";
  }
  file += "/EVENTCAT\r\n";
  writeFile(updates("B.new"), file);
  Bcue_SplitNewFile("B");
  EXPECT_EQ(cue("EVENTCAT.cue"), expected);
  EXPECT_FALSE(fs::exists(home() / "CUE" / "EVENTCAT.cue.part"));
}

TEST_F(Splitter, SectionsNoReaderTakesAreNotWritten) {
  writeFile(updates("B.new"), "Product\r\n1,1,\"x\",1,1,1\r\n/Product\r\nREPAGES\r\nLondon,101_4\r\n/REPAGES\r\n");
  Bcue_SplitNewFile("B");
  EXPECT_FALSE(fs::exists(home() / "CUE" / "Product.cue")) << "Hushbank's file; an update never brings it";
  EXPECT_EQ(cue("REPAGES.cue"), "London,101_4\r\n");
}

}  // namespace
}  // namespace pellary
