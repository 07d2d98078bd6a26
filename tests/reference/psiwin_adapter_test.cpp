#include <gtest/gtest.h>

#include "platform/automation/class_registry.h"
#include "reference/psion/psion_transfer.h"
#include "reference/psion/psiwin_adapter.h"
#include "standins/psiwin/psiwin_engine.h"
#include "support/fixtures.h"

namespace pellary::testing {
namespace {

namespace fs = std::filesystem;
namespace psi = standins::psiwin;

// The transfer procedures over the adapter and the PsiWin stand-in's device.
class PsiWinAdapter : public IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    resetPsionTransfer();
    fs::create_directories(psi::deviceFolder() / "C");
    adapter = std::make_unique<PsiWinEngineAdapter>();
    PsionTransferState& s = Bps5Link();
    s.engine = adapter.get();
    s.yield = [this] {
      adapter->pump();
      clock += 1;
    };
    s.clock = [this] { return clock; };
    adapter->start();
    adapter->pump();  // start, connect, drive list and details
  }
  void TearDown() override {
    resetPsionTransfer();
    adapter.reset();
    IsolatedEnvTest::TearDown();
  }
  std::unique_ptr<PsiWinEngineAdapter> adapter;
  double clock = 0;
};

TEST_F(PsiWinAdapter, DriveDetailsComeFromTheEnginesDetailsObject) {
  const PsionDriveDetails c = adapter->driveDetails(2, "C:\\");
  EXPECT_EQ(c.name, "Internal");
  EXPECT_GT(c.size, 0);
  EXPECT_LE(c.freeSpace, c.size);
  const PsionDriveDetails missing = adapter->driveDetails(2, "Q:\\");
  EXPECT_EQ(missing.name, "");
  EXPECT_EQ(missing.size, 0);
}

TEST_F(PsiWinAdapter, KillDirectoryEmptiesTheFolderUnlessAFileIsOpen) {
  writeFile(psi::deviceFolder() / "C" / "Pelmon" / "gzr" / "old.txt", "old");
  EXPECT_TRUE(Bps5_KillDirectory("C:\\Pelmon\\gzr"));
  EXPECT_TRUE(fs::is_directory(psi::deviceFolder() / "C" / "Pelmon" / "gzr"));
  EXPECT_TRUE(fs::is_empty(psi::deviceFolder() / "C" / "Pelmon" / "gzr"));
  // A missing folder is deleted already; it is created.
  EXPECT_TRUE(Bps5_KillDirectory("C:\\Fresh"));
  EXPECT_TRUE(fs::is_directory(psi::deviceFolder() / "C" / "Fresh"));

  writeFile(psi::deviceFolder() / "C" / "Pelmon" / "gzr" / "menu.txt", "m");
  writeFile(psi::deviceFolder() / "C" / "Pelmon" / "gzr" / "menu.txt.inuse", "");
  EXPECT_FALSE(Bps5_KillDirectory("C:\\Pelmon\\gzr"));
  EXPECT_EQ(Bps5_GetEngineState(), 23);
  EXPECT_TRUE(fs::exists(psi::deviceFolder() / "C" / "Pelmon" / "gzr" / "menu.txt"));
}

TEST_F(PsiWinAdapter, CreateAndStopAreAnsweredByTheEngine) {
  EXPECT_TRUE(Bps5_CreateDirAndWait("C:\\System\\Apps\\Mappa"));
  EXPECT_TRUE(Bps5_CreateDirAndWait("C:\\System\\Apps\\Mappa"));  // already there counts as done
  EXPECT_TRUE(Bps5_StopProgram("C:\\System\\Apps\\Mappa\\Mappa.app"));
  EXPECT_FALSE(Bps5_CreateDirAndWait("NoDrive"));
}

TEST_F(PsiWinAdapter, TheEngineIsCreatedByTheControlsClassName) {
  bool made = false;
  platform::automation::registerBuiltinClass(psi::kEngineControlClass, [&] {
    made = true;
    return std::make_shared<psi::PsiWinEngine>();
  });
  PsiWinEngineAdapter other;
  EXPECT_TRUE(made);
  platform::automation::unregisterBuiltinClass(psi::kEngineControlClass);
}

}  // namespace
}  // namespace pellary::testing
