#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "../writers/series3/brindle_driver.h"
#include "core/registry.h"
#include "platform/msgbox.h"
#include "reference/pages/frmPsionRef.h"
#include "reference/psion/psion_section.h"
#include "reference/psion/psion_transfer.h"
#include "reference_fixture.h"
#include "standins/psiwin/psiwin_engine.h"
#include "standins/tessel/connect_engine.h"

namespace pellary::testing {
namespace {

namespace psi = standins::psiwin;

class PsionPage : public ReferenceTest {
 protected:
  void SetUp() override {
    ReferenceTest::SetUp();
    resetPsion5Ref();
    resetPsionTransfer();
    fs::create_directories(psi::deviceFolder() / "C");
    fs::create_directories(psi::deviceFolder() / "D");
    for (long t : {1, 3}) choose(101, t);
    Bset().Bset_InstalledProductCount = 1;
    Bset().Bset_RefPlat2 = 16;
    Bset().Bset_NoProfileRefs = true;
    fs::create_directories(home() / "Reference" / "Psion5");
    writeFile(home() / "Reference" / "Psion5" / "101_3.txt", "phrases");
    Bhtm_LoadReferenceStructure();
    old = setMessagePresenter([this](const MessageRequest& r) {
      messages.push_back(r.text);
      return mb::OK;
    });
  }
  void TearDown() override {
    setMessagePresenter(old);
    resetPsionTransfer();
    resetPsion5Ref();
    ReferenceTest::TearDown();
  }
  MessagePresenter old;
  std::vector<std::string> messages;
};

TEST_F(PsionPage, DrivesArriveThenNextCopiesTheSectionThroughTheEngine) {
  Wizard().Bint_Ref2Pending = true;
  Wizard().Bmm_CurrentPage = page::PsionRef;
  frmPsionRef form;
  auto* next = form.findChild<QPushButton*>("cmdNext");
  auto* drives = form.findChild<QTreeWidget*>("lstDrives");
  EXPECT_FALSE(next->isEnabled());
  EXPECT_EQ(form.findChild<QLabel*>("lblRequiredSpace")->text(), "Space required : 0KB");
  form.pumpEngine();
  ASSERT_EQ(drives->topLevelItemCount(), 2);
  EXPECT_TRUE(next->isEnabled());
  EXPECT_TRUE(drives->isEnabled());

  next->click();  // no drive chosen yet
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Please select a drive");

  drives->setCurrentItem(drives->topLevelItem(1));
  form.lstDrives_ItemClick(drives->topLevelItem(1));
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Loc"), "D:\\");
  next->click();
  EXPECT_EQ(reported, 0) << where;
  EXPECT_EQ(readFile(psi::devicePath("D:\\Pelmon\\gzr\\101_3.txt")), "phrases");
  EXPECT_EQ(readFile(psi::devicePath("C:\\system\\apps\\Mappa\\menu.txt")),
            "#begin\r\n1 Guide\r\n101_3.txt Phrases\r\n#end\r\n");
  EXPECT_FALSE(Bint_Ref2Pending());
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Size"), "8");
  EXPECT_FALSE(form.findChild<QPushButton*>("cmdBack")->isEnabled());
}

// The row made current with the keyboard is the chosen drive, as a clicked
// one is.
TEST_F(PsionPage, TheKeyboardChoosesTheDriveAsAClickDoes) {
  frmPsionRef form;
  auto* drives = form.findChild<QTreeWidget*>("lstDrives");
  form.pumpEngine();
  ASSERT_EQ(drives->topLevelItemCount(), 2);
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Loc"), "");
  QFocusEvent tabIn(QEvent::FocusIn, Qt::TabFocusReason);
  QApplication::sendEvent(drives, &tabIn);
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Loc"), "C:\\") << "Tab into the list";
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(drives, &down);
  EXPECT_EQ(Breg_GetRegSetting("Settings", "Ref2Loc"), "D:\\") << "an arrow";
  EXPECT_TRUE(drives->topLevelItem(1)->isSelected());
  form.findChild<QPushButton*>("cmdNext")->click();
  EXPECT_TRUE(std::find(messages.begin(), messages.end(), "Please select a drive") == messages.end());
  EXPECT_EQ(readFile(psi::devicePath("D:\\Pelmon\\gzr\\101_3.txt")), "phrases");
}

// Topics in the profile but no drive stored (a first device copy): the list
// stays open, or Next would ask for a drive that cannot be chosen.
TEST_F(PsionPage, TheDriveListIsOpenUntilADriveIsStored) {
  Bset().Bset_NoProfileRefs = false;
  {
    frmPsionRef form;
    EXPECT_TRUE(form.findChild<QTreeWidget*>("lstDrives")->isEnabled());
  }
  Breg_WriteRegSettings("Settings", "Ref2Loc", "D:\\");
  frmPsionRef form;
  EXPECT_FALSE(form.findChild<QTreeWidget*>("lstDrives")->isEnabled());
  // The page has the controls of its design and no others.
  EXPECT_EQ(form.findChild<QLineEdit*>(), nullptr);
}

// A damaged Ref2Size counts as no earlier section: the page works on and the
// error log names the value once, whatever the number of measuring passes.
TEST_F(PsionPage, ADamagedSizeSettingIsLoggedOnceAndTakenAsZero) {
  Breg_WriteRegSettings("Settings", "Ref2Size", "12abc");
  frmPsionRef form;
  form.pumpEngine();
  EXPECT_EQ(reported, 0) << where;
  EXPECT_EQ(form.findChild<QLabel*>("lblRequiredSpace")->text(), "Space required : 0KB");
  EXPECT_EQ(Bps5_FreeSpaceRequired(), 8);
  const std::string log = readFile(home() / "LY98ERR.log");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  EXPECT_NE(log.find("\"Bps5_FreeSpaceRequired\",13,"), std::string::npos) << log;
  EXPECT_NE(log.find("12abc"), std::string::npos) << log;
}

TEST_F(PsionPage, FirstRunAlwaysInstallsTheViewer) {
  screenLink().firstRun = [] { return true; };
  Bset().Bset_NoProfileRefs = false;
  frmPsionRef form;
  auto* box = form.findChild<QCheckBox*>("chkInstallViewer");
  EXPECT_TRUE(box->isChecked());
  EXPECT_FALSE(box->isEnabled());
  EXPECT_EQ(form.findChild<QLabel*>("lblRequiredSpace")->text(), "Space required : 23KB");
}

}  // namespace
}  // namespace pellary::testing
