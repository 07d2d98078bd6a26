#include <gtest/gtest.h>

#include "core/registry.h"
#include "platform/paths.h"
#include "reference/psion/psion_viewer.h"
#include "support/fixtures.h"

namespace pellary::testing {
namespace {

class PsionViewer : public IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    fs::create_directories(home() / "psion5");
  }
};

TEST_F(PsionViewer, PackageSendsOnlyTheMenuToTheChosenDrive) {
  Breg_WriteRegSettings("Settings", "Ref2Loc", "D:\\");
  Bps5_MakeSISInstallation();
  const std::string s = paths::appPath();
  const std::string text = readFile(home() / "psion5" / "Mappa.pkg");
  const std::string q = "\"";
  const std::string want = "&EN\r\n#{\"Mappa Reference Data\"},(268441669),1,0,0\r\n" + q + s +
                           "\\psion5\\menu.mnu\"-\"D:\\Pelmon\\gzr\\menu.mnu\"\r\n" + q + s +
                           "\\psion5\\Tube.opo\"-\"C:\\System\\Apps\\KestMenu\\Tube.opo\"\r\n" + q + s +
                           "\\psion5\\MenuCompile.opo\"-\"C:\\System\\Apps\\KestMenu\\MenuCompile.opo\"\r\n" + q + s +
                           "\\psion5\\MenuDisplay.opo\"-\"C:\\System\\Apps\\KestMenu\\MenuDisplay.opo\"\r\n" + q + s +
                           "\\psion5\\Mappa.app\"-\"C:\\System\\Apps\\Mappa\\Mappa.app\"\r\n" + q + s +
                           "\\psion5\\Mappa.aif\"-\"C:\\System\\Apps\\Mappa\\Mappa.aif\"\r\n" + q + s +
                           "\\psion5\\backgrd.mbm\"-\"C:\\System\\Apps\\Mappa\\backgrd.mbm\"\r\n" + q + s +
                           "\\Psion5\\sysram1.opx\"-\"C:\\System\\opx\\sysram1.opx\"\r\n";
  EXPECT_EQ(text, want);
}

TEST_F(PsionViewer, BatchNamesThePackageBuilderAndItsPackage) {
  const std::string s = paths::appPath();
  EXPECT_EQ(psionSisBatch(),
            "path=%path%;" + s + "\\psion5\r\n" + s + "\\psion5\\makesis.exe " + s + "\\psion5\\mappa.pkg\r\n");
  // Neither program exists: nothing is reported, the batch is still written.
  Bps5_InstallSIS();
  EXPECT_EQ(readFile(home() / "psion5" / "sis.bat"), psionSisBatch());
}

}  // namespace
}  // namespace pellary::testing
