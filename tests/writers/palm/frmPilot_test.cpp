#include "writers/pages/frmPilot.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "platform/oledate.h"
#include "writers/palm/palm_fixture.h"

namespace pellary {
namespace {

class FrmPilot : public testing::PalmTest {
 protected:
  void SetUp() override {
    PalmTest::SetUp();
    standins::palm::addUser("Work", true, 50);
  }
  template <class T>
  static T* child(QWidget& page, const char* name) {
    T* w = page.findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
};

TEST_F(FrmPilot, ListsTheUsersAndSelectsTheStoredOne) {
  Breg_WriteRegSettings("User", "PalmUserID", "50");
  frmPilot page;
  EXPECT_EQ(page.objectName(), "frmPilot");
  auto* list = child<QListWidget>(page, "lstPilotUsers");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), "Ann");
  EXPECT_EQ(list->item(1)->text(), "Work - Profile");
  EXPECT_EQ(list->currentRow(), 1);
  EXPECT_EQ(child<QLineEdit>(page, "txtPilotUser")->text(), "Work - Profile");
  EXPECT_TRUE(child<QCheckBox>(page, "chkBackupDatebook")->isChecked());
  EXPECT_TRUE(child<QPushButton>(page, "cmdNext")->isEnabled());
  EXPECT_TRUE(child<QLabel>(page, "lblPilotInstructions")->text().startsWith("Please select the user name"));
  EXPECT_EQ(child<QLabel>(page, "lblFormTitle")->text(), "Updating Palm Desktop Date Book");
}

TEST_F(FrmPilot, AnUnknownStoredUserSelectsNothing) {
  Breg_WriteRegSettings("User", "PalmUserID", "9");
  frmPilot page;
  EXPECT_EQ(child<QListWidget>(page, "lstPilotUsers")->currentItem(), nullptr);
  EXPECT_TRUE(child<QLineEdit>(page, "txtPilotUser")->text().isEmpty());
}

TEST_F(FrmPilot, EnterChoosesTheLineAndNextWritesForIt) {
  frmPilot page;
  auto* list = child<QListWidget>(page, "lstPilotUsers");
  list->setCurrentRow(0);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(list, &enter);
  EXPECT_EQ(Bpm_PalmUserID(), ann.id);
  EXPECT_EQ(child<QLineEdit>(page, "txtPilotUser")->text(), "Ann");

  BpmWriter().writePass = [] {
    RelayEventRecord r;
    r.Title = "Fair";
    r.StartDate = r.EndDate = platform::oleFromCivil(2001, 5, 3);
    int16_t percent = 70;
    Bpm_WritePalmRecord(r, percent);
  };
  Bint_DatesPending() = true;
  child<QPushButton>(page, "cmdNext")->click();
  EXPECT_FALSE(Bint_DatesPending());
  EXPECT_EQ(Breg_GetRegSetting("User", "PalmUserID"), std::to_string(ann.id));
  EXPECT_EQ(child<QProgressBar>(page, "ProgressBar")->value(), 70);
  EXPECT_EQ(standins::palm::readDatebook(standins::palm::datebookFile(ann)).size(), 1u);
}

TEST_F(FrmPilot, CancelAtTheDateBookPromptKeepsThePage) {
  frmPilot page;
  Bpm_PalmUserID() = 9;  // no such user: no Date Book
  BpmWriter().writePass = [] {};
  answers = {mb::Cancel};
  Bint_DatesPending() = true;
  page.cmdNext_Click();
  EXPECT_TRUE(Bint_DatesPending());
  EXPECT_EQ(commits, 0);
}

TEST_F(FrmPilot, ThePageLendsTheWriterItsBackupChoiceUntilItGoes) {
  {
    frmPilot page;
    child<QCheckBox>(page, "chkBackupDatebook")->setChecked(false);
    ASSERT_TRUE(BpmWriter().backupChecked);
    EXPECT_FALSE(BpmWriter().backupChecked());
  }
  EXPECT_FALSE(BpmWriter().backupChecked);
  EXPECT_FALSE(BpmWriter().setProgress);
}

}  // namespace
}  // namespace pellary
