#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <memory>

#include "core/gui/wizard/page_table.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/wizard/page_engine.h"
#include "core/wizard/program_end.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/process/process.h"
#include "support/fixtures.h"
#include "update/pages/frmPortalPage.h"
#include "update/pages/frmRegistration.h"
#include "update/pages/frmUpdateSetup.h"
#include "update/protocol/local_server.h"

namespace pellary {
namespace {

class UpdatePages : public testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    resetWizardState();
    resetProductSetup();
    previous_ = setMessagePresenter([this](const MessageRequest& r) {
      messages.push_back(r);
      return answer;
    });
    setReportHandler([this](long number, std::string_view location, std::string_view) {
      reported.push_back(std::string(location) + " " + std::to_string(number));
    });
    Bmm_CurrentPage() = page::UpdateSetup;
    connectUpdatePortal();  // the shell's wiring: a page may start the run
  }
  void TearDown() override {
    updatePortalHooks() = UpdatePortalHooks{};
    setReportHandler(nullptr);
    setMessagePresenter(previous_);
    resetWizardState();
    resetProductSetup();
    IsolatedEnvTest::TearDown();
  }
  QString label(QWidget& w, const char* name) { return w.findChild<QLabel*>(name)->text(); }

  std::vector<MessageRequest> messages;
  std::vector<std::string> reported;
  int answer = mb::OK;

 private:
  MessagePresenter previous_;
};

TEST_F(UpdatePages, SetupPageLoadsIntervalsAndTexts) {
  Breg_WriteRegSettings("AutoCUE", "Recommended", "3001");
  frmUpdateSetup p;
  EXPECT_EQ(label(p, "lblFormTitle"), "Stay up to date!");
  EXPECT_TRUE(label(p, "lblFormInfo").startsWith("Your FREE Internet update service will commence"));
  EXPECT_TRUE(label(p, "lblFormInfo").contains("with:\n\n- New, amended"));
  EXPECT_EQ(label(p, "lblUpdateSettings"), "How often would you like your calendar and reference section updated?");
  EXPECT_EQ(p.findChild<QPushButton*>("cmdNext")->text(), "&Finish");
  QComboBox& box = *p.cboUpdateTime();
  ASSERT_EQ(box.count(), 8);
  const char* texts[] = {"Every hour",   "Every 2 hours", "Every 4 hours", "Every day",
                         "Every 2 days", "Every 4 days",  "Every week",    "Every month"};
  int codes[] = {2001, 2002, 2004, 3001, 3002, 3004, 4001, 4004};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(box.itemText(i), texts[i]);
    EXPECT_EQ(box.itemData(i).toInt(), codes[i]);
  }
  // Nothing stored yet: the installation's recommendation.
  EXPECT_EQ(box.currentText(), "Every day");
  EXPECT_TRUE(p.optAuto(0)->isChecked());
  EXPECT_FALSE(p.optAuto(1)->isChecked());
}

TEST_F(UpdatePages, StoredIntervalIsSelectedAgain) {
  Breg_WriteRegSettings("AutoCUE", "Recommended", "3001");
  Breg_WriteRegSettings("AutoCUE", "TimerUnits", "4");
  Breg_WriteRegSettings("AutoCUE", "TimerQuantity", "4");
  frmUpdateSetup p;
  EXPECT_EQ(p.cboUpdateTime()->currentText(), "Every month");
}

// A stored interval no item carries stays as it is unless the user picks one.
TEST_F(UpdatePages, AnUnlistedIntervalIsKeptUntilTheUserPicks) {
  Breg_WriteRegSettings("AutoCUE", "Recommended", "3001");
  Breg_WriteRegSettings("AutoCUE", "TimerUnits", "5");
  Breg_WriteRegSettings("AutoCUE", "TimerQuantity", "1");
  {
    frmUpdateSetup p;
    EXPECT_EQ(p.cboUpdateTime()->currentIndex(), -1);
    EXPECT_THROW(p.cmdNext_Click(), ProgramEnded);
    EXPECT_EQ(Breg_GetRegSetting("AutoCUE", "TimerUnits"), "5");
    EXPECT_EQ(Breg_GetRegSetting("AutoCUE", "TimerQuantity"), "1");
  }
  frmUpdateSetup p;
  p.cboUpdateTime()->setCurrentIndex(6);
  EXPECT_THROW(p.cmdNext_Click(), ProgramEnded);
  EXPECT_EQ(Breg_GetRegSetting("AutoCUE", "TimerUnits"), "4");
  EXPECT_EQ(Breg_GetRegSetting("AutoCUE", "TimerQuantity"), "1");
  EXPECT_TRUE(reported.empty());
}

TEST_F(UpdatePages, ANonNumericIntervalIsReportedByItsReader) {
  Breg_WriteRegSettings("AutoCUE", "TimerUnits", "two");
  Breg_WriteRegSettings("AutoCUE", "TimerQuantity", "1");
  EXPECT_THROW(frmUpdateSetup(), ProgramEnded);
  EXPECT_EQ(reported, std::vector<std::string>{"Bint_GetUpdateSettings 13"});
}

TEST_F(UpdatePages, OptionsInTwoFramesClearEachOther) {
  frmUpdateSetup p;
  p.optAuto_Click(1);
  EXPECT_FALSE(p.optAuto(0)->isChecked());
  EXPECT_TRUE(p.optAuto(1)->isChecked());
  p.optAuto(0)->click();
  EXPECT_TRUE(p.optAuto(0)->isChecked());
  EXPECT_FALSE(p.optAuto(1)->isChecked());
}

TEST_F(UpdatePages, FinishStoresTheChoiceAndEnds) {
  struct Case {
    bool manual;
    const char* customer;
    int16_t datesPlat, refPlat2;
    const char* units;
    const char* quantity;
    bool ends, hotSync;
  } cases[] = {
      {false, "", 3, 0, "2", "4", true, false},    // automatic, not enrolled yet
      {false, "C1", 12, 0, "2", "4", true, true},  // Palm Date Book
      {false, "C1", 3, 2, "2", "4", true, true},   // Palm reference
      {true, "C1", 3, 0, "0", "0", true, false},   // manual and enrolled
      {true, "C1", 12, 0, "0", "0", true, true},
      {true, "", 12, 2, "0", "0", false, false},  // manual, not enrolled: the sign-up page
  };
  for (const Case& c : cases) {
    messages.clear();
    Bset().Bset_DatesPlat = c.datesPlat;
    Bset().Bset_RefPlat2 = c.refPlat2;
    Breg_WriteRegSettings("CUE", "CustomerID", c.customer);
    Bmm_CurrentPage() = page::UpdateSetup;
    frmUpdateSetup p;
    p.cboUpdateTime()->setCurrentIndex(2);
    if (c.manual) p.optAuto_Click(1);
    bool ended = false;
    try {
      p.cmdNext_Click();
    } catch (const ProgramEnded&) {
      ended = true;
    }
    EXPECT_EQ(ended, c.ends) << c.manual << c.customer;
    EXPECT_EQ(Breg_GetRegSetting("AutoCUE", "TimerUnits"), c.units);
    EXPECT_EQ(Breg_GetRegSetting("AutoCUE", "TimerQuantity"), c.quantity);
    EXPECT_EQ(Bmm_CurrentPage(), c.ends ? page::UpdateSetup : page::Registration);
    ASSERT_EQ(messages.size(), c.hotSync ? 1u : 0u);
    if (c.hotSync) {
      EXPECT_EQ(messages[0].text, kHotSyncNow);
      EXPECT_EQ(messages[0].style, mb::Information);
      EXPECT_EQ(messages[0].title, "Pellary Almoner");
    }
  }
  EXPECT_TRUE(reported.empty());
}

TEST_F(UpdatePages, BackGoesToTheCalendarPage) {
  Bset().Bset_DatesPlat = 4;
  frmUpdateSetup p;
  p.cmdBack_Click();
  EXPECT_EQ(Bmm_CurrentPage(), 11);
}

TEST_F(UpdatePages, EveryWayOutOfTheSignUpPageEndsTheFirstRun) {
  frmRegistration p;
  EXPECT_EQ(label(p, "lblFormTitle"), "Manual update setup");
  EXPECT_EQ(label(p, "lblFormInfo"), kRegistrationInfo);
  EXPECT_EQ(label(p, "Label2"), "Configure your update settings NOW on the Brackwater Web site");
  EXPECT_EQ(p.findChild<QPushButton*>("cmdQuickSetup")->text(), "&Quick set up");
  EXPECT_EQ(p.findChild<QPushButton*>("cmdRemindLater")->text(), "&Remind me later");
  EXPECT_EQ(p.findChild<QPushButton*>("cmdBack"), nullptr);
  // Quick set up enrols: a local server answers, the sign-up page is recorded.
  testing::LocalServer server;
  server.reply("/update/register.pl", "<RANDOM_ID>\r\nR1\r\n");
  Breg_WriteRegSettings("Comms", "UpdateServer", server.address());
  Breg_WriteRegSettings("Comms", "CommTool", "1");
  std::vector<std::string> opened;
  platform::process::setDesktopLauncher([&](const std::string& target, const std::string&) {
    opened.push_back(target);
    return 42;
  });
  for (int way = 0; way < 2; ++way) {
    Breg_WriteRegSettings("User", "FirstRun", "True");
    if (way == 0)
      EXPECT_THROW(p.cmdQuickSetup_Click(), ProgramEnded);
    else
      EXPECT_THROW(p.cmdRemindLater_Click(), ProgramEnded);
    EXPECT_EQ(Breg_GetRegSetting("User", "FirstRun"), "False") << way;
  }
  platform::process::setDesktopLauncher(nullptr);
  EXPECT_EQ(opened.size(), 1u);
  EXPECT_TRUE(reported.empty());

  // The frame's exit question, answered Yes, while the page is on screen.
  Breg_WriteRegSettings("User", "FirstRun", "True");
  p.show();
  answer = mb::Yes;
  EXPECT_THROW(Bmm_CancelProgram(), ProgramEnded);
  EXPECT_EQ(Breg_GetRegSetting("User", "FirstRun"), "False");
}

TEST_F(UpdatePages, AnEndWithoutTheSignUpPageKeepsTheFirstRun) {
  Breg_WriteRegSettings("User", "FirstRun", "True");
  frmRegistration p;  // loaded, never shown
  answer = mb::Yes;
  EXPECT_THROW(Bmm_CancelProgram(), ProgramEnded);
  EXPECT_EQ(Breg_GetRegSetting("User", "FirstRun"), "True");
}

}  // namespace
}  // namespace pellary
