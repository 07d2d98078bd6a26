#include <gtest/gtest.h>

#include <set>

#include "standins/wince/cecomms.h"
#include "support/fixtures.h"

namespace pellary::testing {
namespace {

namespace ce = standins::wince;

class CEComms : public IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    ce::resetConnection();
    ce::setDeviceAttached(true);
    fs::create_directories(home());
    writeFile(home() / "page.htm", "page");
  }
  void TearDown() override {
    ce::resetConnection();
    IsolatedEnvTest::TearDown();
  }
  std::string desktop(const std::string& name) const { return (home() / name).string(); }
};

TEST_F(CEComms, NothingHappensWithoutAConnection) {
  EXPECT_NE(ce::CopyFileFromDesktopToCE(desktop("page.htm"), "\\x.htm"), 0);
  EXPECT_EQ(ce::CreateShortcut("T", "x"), 0);
  ce::setDeviceAttached(false);
  ce::EstablishConnection();
  EXPECT_FALSE(ce::connected());
}

TEST_F(CEComms, FilesFoldersAndShortcutsLandInTheDeviceFolder) {
  ce::EstablishConnection();
  EXPECT_EQ(ce::CopyFileFromDesktopToCE(desktop("page.htm"), "\\Program Files\\Reference\\p.htm"), 0);
  EXPECT_EQ(readFile(ce::deviceRoot() / "Program Files" / "Reference" / "p.htm"), "page");
  EXPECT_NE(ce::CopyFileFromDesktopToCE(desktop("missing.htm"), "\\m.htm"), 0);
  EXPECT_NE(ce::CopyFileFromDesktopToCE(desktop("page.htm"), "\\..\\..\\escape.htm"), 0);

  fs::create_directories(home() / "dir" / "sub");
  writeFile(home() / "dir" / "sub" / "a.txt", "a");
  EXPECT_EQ(ce::CopyDirectoryFromDesktopToCE(desktop("dir"), "\\Card\\Reference\\"), 0);
  EXPECT_EQ(readFile(ce::deviceRoot() / "Card" / "Reference" / "sub" / "a.txt"), "a");
  EXPECT_EQ(ce::DeleteDirectory("\\card\\reference"), 0);  // letter case is ignored
  EXPECT_FALSE(fs::exists(ce::deviceRoot() / "Card" / "Reference"));
  EXPECT_NE(ce::DeleteDirectory("\\"), 0);  // never the device itself
  EXPECT_TRUE(fs::exists(ce::deviceRoot()));

  EXPECT_NE(ce::CreateShortcut("Mappa", "\"\\p.htm\""), 0);
  EXPECT_EQ(readFile(ce::deviceRoot() / "Windows" / "Desktop" / "Mappa.lnk"), "\"\\p.htm\"");
  EXPECT_EQ(ce::CreateShortcut("..\\x", "t"), 0);
  ce::CloseConnection();
  EXPECT_FALSE(ce::connected());
}

// Within one connection the device's folders are read once; what the copies
// make there is still found in any letter case, and a removal is seen.
TEST_F(CEComms, ACopyFindsWhatTheConnectionMadeInAnyLetterCase) {
  ce::EstablishConnection();
  EXPECT_EQ(ce::CopyFileFromDesktopToCE(desktop("page.htm"), "\\Program Files\\Reference\\A.htm"), 0);
  writeFile(home() / "other.htm", "other");
  EXPECT_EQ(ce::CopyFileFromDesktopToCE(desktop("other.htm"), "\\PROGRAM FILES\\reference\\a.HTM"), 0);
  EXPECT_EQ(ce::CopyFileFromDesktopToCE(desktop("page.htm"), "\\program files\\REFERENCE\\b.htm"), 0);
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(ce::deviceRoot()))
    names.insert(fs::relative(e.path(), ce::deviceRoot()).string());
  EXPECT_EQ(names, (std::set<std::string>{"Program Files", "Program Files/Reference", "Program Files/Reference/A.htm",
                                          "Program Files/Reference/b.htm"}));
  EXPECT_EQ(readFile(ce::deviceRoot() / "Program Files" / "Reference" / "A.htm"), "other");
  EXPECT_EQ(ce::DeleteDirectory("\\Program Files\\Reference"), 0);
  EXPECT_EQ(ce::CopyFileFromDesktopToCE(desktop("page.htm"), "\\Program Files\\reference\\c.htm"), 0);
  EXPECT_TRUE(fs::exists(ce::deviceRoot() / "Program Files" / "reference" / "c.htm"));
  ce::CloseConnection();
}

TEST_F(CEComms, DirectoryInfoListsTheCardsInAFixedBuffer) {
  ce::setStorageCards({"Storage Card", "Card 2"});
  ce::EstablishConnection();
  std::string buffer(512, ' ');
  ce::GetDirectoryInfo(buffer, 3, "\\");
  const std::string sep(1, ce::kCardSeparator);
  EXPECT_EQ(buffer.size(), 512u);
  EXPECT_EQ(buffer.substr(0, 20), "Storage Card" + sep + "Card 2" + sep);
  EXPECT_EQ(buffer.find_first_not_of(' ', 20), std::string::npos);
  std::string small(5, ' ');
  ce::GetDirectoryInfo(small, 3, "\\");
  EXPECT_EQ(small, "Stora");
}

}  // namespace
}  // namespace pellary::testing
