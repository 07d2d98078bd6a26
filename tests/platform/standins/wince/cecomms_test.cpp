#include <gtest/gtest.h>

#include "platform/standins/wince/cecomms.h"
#include "support/fixtures.h"

namespace pellary::testing {
namespace {

namespace ce = platform::wince;

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
