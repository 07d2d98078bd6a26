// The timer that starts the timed update runs: the unit files for every
// interval the update-settings page offers, checked with systemd's own
// verifier where it is installed; manual updates remove them; a machine
// without a user service manager keeps the files and says so.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QComboBox>
#include <QRadioButton>

#include <cstdlib>

#include "core/registry.h"
#include "core/wizard/page_engine.h"
#include "core/wizard/update_interval.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/process/process.h"
#include "support/fixtures.h"
#include "tools/install.h"
#include "update/pages/frmUpdateSetup.h"
#include "update/update_timer.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;

struct IntervalCase {
  const char* text;
  int32_t code;
  const char* onCalendar;
};
void PrintTo(const IntervalCase& c, std::ostream* os) { *os << c.text; }

const IntervalCase kIntervals[] = {
    {"EveryHour", 2001, "hourly"}, {"Every2Hours", 2002, "*-*-* 00/2:00:00"}, {"Every4Hours", 2004, "*-*-* 00/4:00:00"},
    {"EveryDay", 3001, "daily"},   {"Every2Days", 3002, "*-*-01/2 00:00:00"}, {"Every4Days", 3004, "*-*-01/4 00:00:00"},
    {"EveryWeek", 4001, "weekly"}, {"EveryMonth", 4004, "monthly"},
};

class UpdateTimer : public testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    // A systemctl that records its argument vectors and succeeds.
    calls = root() / "systemctl-calls";
    const fs::path recorder = root() / "systemctl";
    testing::writeFile(recorder, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + calls.string() + "'\nexit 0\n");
    ::chmod(recorder.c_str(), 0755);
    setenv("PELLARY_SYSTEMCTL", recorder.c_str(), 1);
    const char* bin = std::getenv("PELLARY_TEST_BIN");
    pelmon = bin ? fs::path(bin) / "pelmon" : fs::path("/usr/bin/pelmon");
  }
  fs::path units() const { return root() / "systemd-user"; }
  fs::path timerFile() const { return units() / timer::kTimerUnit; }
  fs::path serviceFile() const { return units() / timer::kServiceUnit; }
  std::string recorded() const { return fs::exists(calls) ? testing::readFile(calls) : std::string(); }

  fs::path calls, pelmon;
};

class UpdateTimerInterval : public UpdateTimer, public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(UpdateTimerInterval, UnitsStartTheTimedRunAtThatInterval) {
  const IntervalCase& c = GetParam();
  timer::Outcome o = timer::applyUpdateTimer(c.code, pelmon);
  ASSERT_TRUE(o.installed) << o.notice;
  EXPECT_TRUE(o.managerTook);
  EXPECT_EQ(o.notice, "");
  const std::string t = testing::readFile(timerFile()), s = testing::readFile(serviceFile());
  EXPECT_NE(t.find("\nOnCalendar=" + std::string(c.onCalendar) + "\n"), std::string::npos) << t;
  EXPECT_NE(t.find("\nPersistent=true\n"), std::string::npos) << "a run missed while off is made up";
  EXPECT_NE(t.find("\nUnit=pellary-almoner-update.service\n"), std::string::npos);
  EXPECT_NE(t.find("\nWantedBy=graphical-session.target\n"), std::string::npos) << "the portal needs the session";
  EXPECT_NE(s.find("\nExecStart=\"" + pelmon.string() + "\" cue_timed\n"), std::string::npos) << s;
  EXPECT_NE(s.find("\nEnvironment=\"PELLARY_HOME=" + home().string() + "\"\n"), std::string::npos) << s;
  EXPECT_NE(s.find("\nPartOf=graphical-session.target\n"), std::string::npos);
  EXPECT_EQ(recorded(), "--user daemon-reload\n--user enable --now pellary-almoner-update.timer\n");

  if (platform::process::findProgram("systemd-analyze").empty()) GTEST_SKIP() << "systemd-analyze not installed";
  if (!fs::exists(pelmon)) GTEST_SKIP() << "pelmon not built";
  int status = -1;
  uint32_t r = platform::process::runAndWait(
      "systemd-analyze", {"verify", timerFile().string(), serviceFile().string()}, 0, 60000, nullptr, &status);
  ASSERT_EQ(r, platform::process::kWaitEnded);
  EXPECT_EQ(status, 0) << "systemd-analyze verify refused the units:\n" << t << "\n" << s;
  status = -1;
  platform::process::runAndWait("systemd-analyze", {"calendar", c.onCalendar}, 0, 60000, nullptr, &status);
  EXPECT_EQ(status, 0) << c.onCalendar;
}

INSTANTIATE_TEST_SUITE_P(Intervals, UpdateTimerInterval, ::testing::ValuesIn(kIntervals),
                         [](const auto& info) { return std::string(info.param.text); });

TEST_F(UpdateTimer, ManualUpdatesRemoveTheUnits) {
  ASSERT_TRUE(timer::applyUpdateTimer(3001, pelmon).installed);
  fs::remove(calls);
  timer::Outcome o = timer::applyUpdateTimer(0, pelmon);
  EXPECT_TRUE(o.removed);
  EXPECT_FALSE(fs::exists(timerFile()));
  EXPECT_FALSE(fs::exists(serviceFile()));
  EXPECT_EQ(recorded(), "--user disable --now pellary-almoner-update.timer\n--user daemon-reload\n");
  // Nothing installed: nothing to ask.
  fs::remove(calls);
  EXPECT_TRUE(timer::applyUpdateTimer(0, pelmon).removed);
  EXPECT_EQ(recorded(), "");
}

TEST_F(UpdateTimer, WithoutAUserManagerTheFilesStayAndTheRunSaysSo) {
  setenv("PELLARY_SYSTEMCTL", "false", 1);
  timer::Outcome o = timer::applyUpdateTimer(4001, pelmon);
  EXPECT_TRUE(o.installed);
  EXPECT_FALSE(o.managerTook);
  EXPECT_TRUE(fs::exists(timerFile()));
  EXPECT_NE(o.notice.find("could not be enabled"), std::string::npos) << o.notice;
  EXPECT_NE(o.notice.find(units().string()), std::string::npos) << o.notice;
  setenv("PELLARY_SYSTEMCTL", (root() / "no-such-systemctl").c_str(), 1);
  EXPECT_FALSE(timer::applyUpdateTimer(4001, pelmon).managerTook);
}

TEST_F(UpdateTimer, PathsAreQuotedForTheUnitFileOrRefused) {
  const fs::path odd = root() / "100% \"odd\" $dir\\x" / "pelmon";
  ASSERT_TRUE(timer::applyUpdateTimer(3001, odd).installed);
  EXPECT_NE(testing::readFile(serviceFile())
                .find("ExecStart=\"" + (root()).string() + "/100%% \\\"odd\\\" $$dir\\\\x/pelmon\" cue_timed\n"),
            std::string::npos)
      << testing::readFile(serviceFile());
  fs::remove(timerFile());
  fs::remove(serviceFile());
  timer::Outcome o = timer::applyUpdateTimer(3001, root() / "two\nlines" / "pelmon");
  EXPECT_FALSE(o.installed);
  EXPECT_FALSE(fs::exists(serviceFile()));
  EXPECT_FALSE(o.notice.empty());
  // A code no calendar event expresses installs nothing.
  EXPECT_FALSE(timer::onCalendarFor(4003));
  EXPECT_FALSE(timer::onCalendarFor(0));
  EXPECT_FALSE(timer::onCalendarFor(2024));
}

// The page that saves the interval is what installs the timer, not the
// installation's recommendation.
TEST_F(UpdateTimer, FinishOnTheUpdatePageInstallsOrRemovesIt) {
  install::Options options;
  install::installProgramFolder(options);
  EXPECT_FALSE(fs::exists(timerFile())) << "the recommended interval alone installs nothing";

  auto saved = setMessagePresenter([](const MessageRequest&) { return mb::OK; });
  resetWizardState();
  Bmm_CurrentPage() = page::UpdateSetup;
  {
    frmUpdateSetup page;
    auto* box = page.findChild<QComboBox*>("cboUpdateTime");
    box->setCurrentIndex(box->findText("Every 2 days"));
    EXPECT_THROW(page.cmdNext_Click(), ProgramEnded);
  }
  EXPECT_EQ(Breg_GetRegSetting("AutoCUE", "TimerUnits"), "3");
  ASSERT_TRUE(fs::exists(timerFile()));
  EXPECT_NE(testing::readFile(timerFile()).find("OnCalendar=*-*-01/2 00:00:00\n"), std::string::npos);
  EXPECT_NE(testing::readFile(timerFile()).find("Description=Pellary Almoner updates: Every 2 days\n"),
            std::string::npos);
  {
    Breg_WriteRegSettings("CUE", "CustomerID", "C77");
    frmUpdateSetup page;
    page.optAuto_Click(1);
    EXPECT_THROW(page.cmdNext_Click(), ProgramEnded);
  }
  EXPECT_FALSE(fs::exists(timerFile())) << "manual updates take the timer away";
  setMessagePresenter(saved);
  resetWizardState();
}

}  // namespace
}  // namespace pellary
