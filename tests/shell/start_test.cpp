#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>
#include <QProcess>
#include <cstdlib>
#include <filesystem>

#include "core/databank.h"
#include "core/registry.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "shell/frmMDIMain.h"
#include "shell/shell_fixture.h"
#include "shell/single_instance.h"
#include "shell/start.h"
#include "update/update_service.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;
using testing::ShellTest;

TEST(RunMode, WholeCommandLineDecides) {
  struct Case {
    const char* line;
    bool updateRun;
    int runMode;
  } cases[] = {
      {"cue_timed", true, 0},    {"CUE_TIMED", true, 0},        {"Cue_Demand", true, 2},
      {"cue_setting", false, 1}, {"CUE_SETTING", false, 1},     {"", false, 0},
      {" CUE_TIMED", false, 0},  {"cue_timed extra", false, 0}, {"cue_timed ", false, 0},
      {"anything", false, 0},
  };
  for (const Case& c : cases) {
    RunModeChoice r = Bmm_RunModeFromCommandLine(c.line);
    EXPECT_EQ(r.updateRun, c.updateRun) << '"' << c.line << '"';
    EXPECT_EQ(r.runMode, c.runMode) << '"' << c.line << '"';
  }
}

TEST(RunMode, ArgumentsJoinIntoOneLine) {
  char a0[] = "pelmon", a1[] = "cue_timed", a2[] = "extra", a3[] = " CUE_TIMED";
  char* two[] = {a0, a1, a2};
  EXPECT_EQ(commandLineText(3, two), "cue_timed extra");
  char* lead[] = {a0, a3};
  EXPECT_EQ(commandLineText(2, lead), " CUE_TIMED");
  EXPECT_EQ(commandLineText(1, two), "");
}

TEST(FirstRunValue, BooleanWordsAndNumbers) {
  EXPECT_TRUE(Bmm_ParseBoolean("True"));
  EXPECT_TRUE(Bmm_ParseBoolean("TRUE"));
  EXPECT_FALSE(Bmm_ParseBoolean("false"));
  EXPECT_TRUE(Bmm_ParseBoolean("-1"));
  EXPECT_FALSE(Bmm_ParseBoolean("0"));
  for (const char* bad : {"", "yes", "on"}) {
    try {
      Bmm_ParseBoolean(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const AppError& e) {
      EXPECT_EQ(e.number(), err::TypeMismatch);
    }
  }
}

class MainStart : public ShellTest {};

TEST_F(MainStart, InteractiveRunOpensDatabankAndShowsFrame) {
  install();
  ASSERT_TRUE(Main(""));
  EXPECT_TRUE(Bsql_DataBank().isOpen());
  ASSERT_TRUE(mainFrameExists());
  EXPECT_TRUE(mainFrame().isVisible());
  EXPECT_EQ(mainFrame().windowTitle().toStdString(), "Pellary Almoner");
  EXPECT_TRUE(Bmm().Bmm_FirstRun);
  EXPECT_TRUE(messages.empty());
}

// With no update server to reach, the update service itself ends the run.
TEST_F(MainStart, SilentRunHandsOverAndShowsNoWindow) {
  install();
  EXPECT_THROW(Main("CUE_DEMAND"), ProgramEnded);
  EXPECT_TRUE(Bupd_UpdateRun());
  EXPECT_EQ(Bmm().runMode, 2);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("Details:\tBift_"), std::string::npos) << messages[0].text;
  EXPECT_FALSE(mainFrameExists());
}

TEST_F(MainStart, MissingDatabankEndsUnderOpenerAndCreatesNoFile) {
  install();
  fs::path db = home() / "almoner.db";
  fs::remove(db);
  EXPECT_THROW(Main(""), ProgramEnded);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("Details:\tBsql_OpenDataBanks\t"), std::string::npos);
  EXPECT_FALSE(fs::exists(db));
  EXPECT_FALSE(mainFrameExists());
  std::string log = testing::readFile(home() / "LY98ERR.log");
  EXPECT_NE(log.find("\"Bsql_OpenDataBanks\""), std::string::npos);
}

TEST_F(MainStart, DamagedDatabankEndsUnderOpenerAndIsKept) {
  install();
  fs::path db = home() / "almoner.db";
  fs::remove(db);
  testing::writeFile(db, std::string(4096, 'x'));
  EXPECT_THROW(Main(""), ProgramEnded);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("Bsql_OpenDataBanks"), std::string::npos);
  EXPECT_EQ(testing::readFile(db), std::string(4096, 'x'));
}

TEST_F(MainStart, EmptyDatabankNameFails) {
  install();
  Breg_WriteRegSettings("Support", "Name", "");
  EXPECT_THROW(Main(""), ProgramEnded);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("Bsql_OpenDataBanks"), std::string::npos);
}

TEST_F(MainStart, UnreadableFirstRunIsReportedUnderMain) {
  install();
  Breg_WriteRegSettings("User", "FirstRun", "");
  EXPECT_THROW(Main(""), ProgramEnded);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("Details:\tMain\t13\r\n"), std::string::npos);
  EXPECT_FALSE(mainFrameExists());
}

TEST_F(MainStart, NotesBatchOnlyOnFirstRunForNotes) {
  struct Case {
    int datesPlat;
    const char* firstRun;
    bool batch;
  } cases[] = {{9, "True", true}, {9, "False", false}, {3, "True", false}};
  for (const Case& c : cases) {
    install(c.datesPlat);
    fs::path notes = root() / "notes";
    fs::create_directories(notes);
    Breg_WriteRegSettings("Settings", "NotesPath", notes.string());
    Breg_WriteRegSettings("User", "FirstRun", c.firstRun);
    fs::remove(home() / "regnotes.bat");
    ASSERT_TRUE(Main("")) << c.datesPlat << c.firstRun;
    EXPECT_EQ(fs::exists(home() / "regnotes.bat"), c.batch) << c.datesPlat << c.firstRun;
    if (c.batch) {
      std::string text = testing::readFile(home() / "regnotes.bat");
      std::string expected = "set path=" + notes.string() + ";";
      EXPECT_EQ(text.rfind(expected, 0), 0u) << text;
      EXPECT_NE(text.find(";%path%\r\nregsvr32 /s " + notes.string() + "\\kestnotes.dll\r\n"), std::string::npos)
          << text;
    }
    destroyMainFrame();
    resetShellState();
    Bsql_CloseDataBank();
  }
}

TEST_F(MainStart, SecondCopyInSameSettingsActivatesTheFirst) {
  SingleInstance first(SingleInstance::defaultName());
  ASSERT_TRUE(first.claim());
  int knocks = 0;
  first.setActivateHandler([&] { ++knocks; });
  SingleInstance second(SingleInstance::defaultName());
  EXPECT_FALSE(second.claim());
  QElapsedTimer t;
  t.start();
  while (knocks == 0 && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(knocks, 1);
  // Another settings folder is another program.
  setenv("PELLARY_SETTINGS", (root() / "other").c_str(), 1);
  SingleInstance elsewhere(SingleInstance::defaultName());
  EXPECT_TRUE(elsewhere.claim());
}

TEST_F(MainStart, SecondStartOfTheProgramEndsAtOnce) {
  const char* bin = std::getenv("PELLARY_TEST_BIN");
  if (!bin) GTEST_SKIP() << "PELLARY_TEST_BIN not set";
  install();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  QProcess first;
  first.setProcessEnvironment(env);
  first.start(QString(bin) + "/pelmon", {});
  ASSERT_TRUE(first.waitForStarted(5000));
  // Wait until the first copy listens.
  QElapsedTimer t;
  t.start();
  bool listening = false;
  while (!listening && t.elapsed() < 15000) {
    QLocalSocket probe;
    probe.connectToServer(SingleInstance::defaultName());
    listening = probe.waitForConnected(200);
    if (!listening) QThread::msleep(100);
  }
  ASSERT_TRUE(listening);
  QProcess second;
  second.setProcessEnvironment(env);
  second.start(QString(bin) + "/pelmon", {"cue_timed"});
  EXPECT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(first.state(), QProcess::Running);
  first.kill();
  first.waitForFinished(5000);
}

}  // namespace
}  // namespace pellary
