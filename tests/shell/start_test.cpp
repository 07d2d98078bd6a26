#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>
#include <QProcess>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <cstdlib>
#include <atomic>
#include <QEventLoop>
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

// The first copy runs its own event loop on a thread of its own, as a running
// program does.
class HolderThread {
 public:
  explicit HolderThread(QString name) {
    thread_.reset(QThread::create([this, name] {
      SingleInstance holder(name);
      claimed_ = holder.claim();
      holder.setActivateHandler([this] { ++knocks_; });
      QEventLoop loop;
      QObject::connect(QThread::currentThread(), &QThread::finished, &loop, &QEventLoop::quit);
      ready_ = true;
      while (!stop_) loop.processEvents(QEventLoop::AllEvents, 20);
    }));
    thread_->start();
    while (!ready_) QThread::msleep(5);
  }
  ~HolderThread() {
    stop_ = true;
    thread_->wait();
  }
  bool claimed() const { return claimed_; }
  int knocks() const { return knocks_; }

 private:
  std::unique_ptr<QThread> thread_;
  std::atomic<bool> ready_{false}, stop_{false}, claimed_{false};
  std::atomic<int> knocks_{0};
};

TEST_F(MainStart, SecondCopyInSameSettingsActivatesTheFirst) {
  HolderThread first(SingleInstance::defaultName());
  ASSERT_TRUE(first.claimed());
  SingleInstance second(SingleInstance::defaultName());
  EXPECT_FALSE(second.claim());
  EXPECT_EQ(first.knocks(), 1);
  // Another settings folder is another program.
  setenv("PELLARY_SETTINGS", (root() / "other").c_str(), 1);
  SingleInstance elsewhere(SingleInstance::defaultName());
  EXPECT_TRUE(elsewhere.claim());
}

TEST_F(MainStart, FirstCopyThatDoesNotAnswerIsReportedNotWaitedFor) {
  // Its event loop never runs while the later start waits: as a hung copy.
  SingleInstance first(SingleInstance::defaultName());
  ASSERT_TRUE(first.claim());
  SingleInstance second(SingleInstance::defaultName(), std::chrono::milliseconds(300));
  QElapsedTimer t;
  t.start();
  try {
    second.claim();
    ADD_FAILURE() << "a copy that does not answer must be reported";
  } catch (const AppError& e) {
    EXPECT_EQ(e.number(), err::InstanceNotAnswering);
    EXPECT_NE(e.description().find("does not answer"), std::string::npos);
  }
  EXPECT_LT(t.elapsed(), 3000);
}

// A copy that crashed leaves its socket file behind, with no one listening.
TEST_F(MainStart, SocketLeftByACopyThatCrashedIsTakenOver) {
  const std::string path = (QDir::tempPath() + "/" + SingleInstance::defaultName()).toStdString();
  int left = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof addr.sun_path);
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  ::unlink(path.c_str());
  ASSERT_EQ(::bind(left, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::close(left);
  ASSERT_TRUE(fs::exists(path));
  SingleInstance next(SingleInstance::defaultName());
  EXPECT_TRUE(next.claim());
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
  QElapsedTimer waitListen;
  waitListen.start();
  bool listening = false;
  while (!listening && waitListen.elapsed() < 15000) {
    QLocalSocket probe;
    if (!SingleInstance::defaultName().contains('/')) probe.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
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

  // A first copy that has stopped answering: the later start says so in the
  // log and ends with an error instead of leaving the user locked out.
  ::kill(pid_t(first.processId()), SIGSTOP);
  QProcess third;
  third.setProcessEnvironment(env);
  QElapsedTimer t;
  t.start();
  third.start(QString(bin) + "/pelmon", {"cue_timed"});
  EXPECT_TRUE(third.waitForFinished(15000));
  EXPECT_EQ(third.exitCode(), 1);
  EXPECT_LT(t.elapsed(), 12000);
  std::string log = fs::exists(home() / "LY98ERR.log") ? testing::readFile(home() / "LY98ERR.log") : "";
  EXPECT_NE(log.find(",\"Main\",30003,"), std::string::npos) << log;
  ::kill(pid_t(first.processId()), SIGCONT);
  first.kill();
  first.waitForFinished(5000);
}

// A scheduler's timed run whose server accepts and never answers: the run
// ends within its limits, logs the transport error and exits 1.
TEST_F(MainStart, TimedRunAgainstAServerThatNeverAnswersExitsOneInTime) {
  const char* bin = std::getenv("PELLARY_TEST_BIN");
  if (!bin) GTEST_SKIP() << "PELLARY_TEST_BIN not set";
  install();
  // Listening, never accepting: connections complete and then hear nothing.
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  ::listen(listener, 8);
  Breg_WriteRegSettings("Comms", "UpdateServer", "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)));
  Breg_WriteRegSettings("Comms", "ReplyTimeout", "2");
  Breg_WriteRegSettings("CUE", "CustomerID", "C1");
  Breg_WriteRegSettings("CUE", "SourceID", "S1");
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  QProcess run;
  run.setProcessEnvironment(env);
  QElapsedTimer t;
  t.start();
  run.start(QString(bin) + "/pelmon", {"cue_timed"});
  EXPECT_TRUE(run.waitForFinished(30000));
  ::close(listener);
  EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(run.exitCode(), 1);
  EXPECT_LT(t.elapsed(), 20000);
  std::string log = fs::exists(home() / "LY98ERR.log") ? testing::readFile(home() / "LY98ERR.log") : "";
  EXPECT_NE(log.find(",\"Bift_PostHandler\",29001,"), std::string::npos) << log;
}

}  // namespace
}  // namespace pellary
