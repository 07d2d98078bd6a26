#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include <QEventLoop>
#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

#include "core/databank.h"
#include "core/registry.h"
#include "core/update_run.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "shell/frmMDIMain.h"
#include "shell/shell_fixture.h"
#include "shell/single_instance.h"
#include "shell/start.h"
#include "update/update_manager.h"

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
      {"cue_timed", true, 0},    {"CUE_TIMED", true, 0}, {"Cue_Demand", true, 2},  {"cue_setting", false, 1},
      {"CUE_SETTING", false, 1}, {"", false, 0},         {" CUE_TIMED", false, 0}, {"cue_timed extra", false, 0},
      {"cue_timed ", false, 0},  {"anything", false, 0},
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
  explicit HolderThread(const QString& name) {
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

// The socket's place: the user's own runtime folder, else an abstract name
// with the uid in it; never a file in a shared folder.
class SocketPlace : public MainStart {
 protected:
  void SetUp() override {
    MainStart::SetUp();
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    hadRuntime_ = old != nullptr;
    if (old) oldRuntime_ = old;
    runtime_ = root() / "runtime";
    fs::create_directories(runtime_);
    fs::permissions(runtime_, fs::perms::owner_all, fs::perm_options::replace);
  }
  void TearDown() override {
    if (hadRuntime_)
      setenv("XDG_RUNTIME_DIR", oldRuntime_.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
    MainStart::TearDown();
  }
  fs::path runtime_;

 private:
  std::string oldRuntime_;
  bool hadRuntime_ = false;
};

TEST_F(SocketPlace, InTheUsersOwnRuntimeFolderElseAnAbstractName) {
  setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  const std::string name = SingleInstance::defaultName().toStdString();
  EXPECT_EQ(fs::path(name).parent_path(), runtime_);
  SingleInstance first(SingleInstance::defaultName());
  ASSERT_TRUE(first.claim());
  EXPECT_TRUE(fs::is_socket(name));

  // A runtime folder others may write to is no private one.
  fs::permissions(runtime_, fs::perms::all, fs::perm_options::replace);
  EXPECT_FALSE(SingleInstance::defaultName().contains('/'));
  unsetenv("XDG_RUNTIME_DIR");
  const QString abstract = SingleInstance::defaultName();
  EXPECT_FALSE(abstract.contains('/'));
  EXPECT_TRUE(abstract.contains(QString::number(getuid())));
}

// A copy that crashed leaves its socket file behind, with no one listening.
TEST_F(SocketPlace, SocketLeftByACopyThatCrashedIsTakenOver) {
  setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  const std::string path = SingleInstance::defaultName().toStdString();
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

// Another local user (nobody) takes the abstract name first and answers like
// a running copy: this start is no copy's second start and must not end as
// if it were one.
pid_t asNobody(const std::function<int()>& body) {
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(90);
    ::_exit(body());
  }
  return pid;
}

sockaddr_un abstractAddress(const QString& name, socklen_t& length) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  QByteArray bytes = name.toLocal8Bit();
  std::memcpy(addr.sun_path + 1, bytes.constData(), size_t(bytes.size()));
  length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(bytes.size()));
  return addr;
}

int exitStatusOf(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Another local user (nobody) listening on the abstract name and answering
// every knock like a running copy, until the test ends.
class Squatter {
 public:
  explicit Squatter(const QString& name) {
    // Worked out before the fork: the child only makes system calls.
    socklen_t length = 0;
    const sockaddr_un addr = abstractAddress(name, length);
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = asNobody([&] {
      int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
      if (::bind(s, reinterpret_cast<const sockaddr*>(&addr), length) != 0 || ::listen(s, 4) != 0) return 91;
      ::write(ready[1], "r", 1);
      for (;;) {
        int c = ::accept(s, nullptr, nullptr);
        char buf[64];
        if (c >= 0 && ::read(c, buf, sizeof buf) > 0) ::write(c, "ok\n", 3);
        if (c >= 0) ::close(c);
      }
    });
    // With the parent's write end closed, a child that failed gives end of file.
    ::close(ready[1]);
    char r = 0;
    listening_ = pid_ > 0 && ::read(ready[0], &r, 1) == 1;
    ::close(ready[0]);
  }
  ~Squatter() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    exitStatusOf(pid_);
  }
  Squatter(const Squatter&) = delete;
  Squatter& operator=(const Squatter&) = delete;
  bool listening() const { return listening_; }

 private:
  pid_t pid_ = -1;
  bool listening_ = false;
};

TEST_F(SocketPlace, AnotherUserHoldingTheNameIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  unsetenv("XDG_RUNTIME_DIR");
  const QString name = SingleInstance::defaultName();
  Squatter squatter(name);
  ASSERT_TRUE(squatter.listening());
  SingleInstance start(name, std::chrono::milliseconds(500));
  long number = testing::errorOf([&] { start.claim(); });
  EXPECT_EQ(number, err::InstanceNotAnswering) << "another user's answer must not end this start";
}

// The same from outside: a scheduler's timed run meets the squatter and
// ends with an error instead of exiting 0 having done nothing.
TEST_F(SocketPlace, TimedRunMeetingAnotherUsersSocketEndsWithAnError) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  const char* bin = std::getenv("PELLARY_TEST_BIN");
  if (!bin) GTEST_SKIP() << "PELLARY_TEST_BIN not set";
  install();
  unsetenv("XDG_RUNTIME_DIR");
  Squatter squatter(SingleInstance::defaultName());
  ASSERT_TRUE(squatter.listening());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.remove("XDG_RUNTIME_DIR");
  QProcess run;
  run.setProcessEnvironment(env);
  run.start(QString(bin) + "/pelmon", {"cue_timed"});
  EXPECT_TRUE(run.waitForFinished(20000));
  EXPECT_EQ(run.exitCode(), 1);
  std::string log = fs::exists(home() / "LY98ERR.log") ? testing::readFile(home() / "LY98ERR.log") : "";
  EXPECT_NE(log.find("Another user holds the socket"), std::string::npos) << log;
}

TEST_F(SocketPlace, KnockFromAnotherUserIsNotAnswered) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  unsetenv("XDG_RUNTIME_DIR");
  const QString name = SingleInstance::defaultName();
  // Worked out before the fork: the child only makes system calls.
  socklen_t length = 0;
  const sockaddr_un addr = abstractAddress(name, length);
  HolderThread first(name);
  ASSERT_TRUE(first.claimed());
  pid_t knocker = asNobody([&] {
    int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), length) != 0) return 0;  // refused outright: fine
    ::write(s, "activate\n", 9);
    timeval wait{1, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char buf[8];
    return ::read(s, buf, sizeof buf) > 0 ? 1 : 0;
  });
  EXPECT_EQ(exitStatusOf(knocker), 0) << "the first copy answered another user";
  EXPECT_EQ(first.knocks(), 0);
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
  // The timed run handed over: no update was made, and a scheduler sees it.
  EXPECT_EQ(second.exitCode(), kExitHandedOver);
  EXPECT_NE(QString(second.readAllStandardError()).indexOf("no update was made"), -1);
  {
    const std::string log = testing::readFile(home() / "LY98ERR.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find(",\"Main\",30011,\"Another copy of Pellary Almoner is running; no update was made\""),
              std::string::npos)
        << log;
    fs::remove(home() / "LY98ERR.log");
  }
  // An interactive second start only brings the first forward.
  QProcess interactive;
  interactive.setProcessEnvironment(env);
  interactive.start(QString(bin) + "/pelmon", {"cue_setting"});
  EXPECT_TRUE(interactive.waitForFinished(10000));
  EXPECT_EQ(interactive.exitCode(), 0);
  EXPECT_FALSE(fs::exists(home() / "LY98ERR.log"));
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
