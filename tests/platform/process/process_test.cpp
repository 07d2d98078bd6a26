#include "platform/process/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/fixtures.h"

namespace pellary::platform::process {
namespace {

namespace fs = std::filesystem;
using pellary::testing::readFile;
using pellary::testing::TempDir;
using pellary::testing::writeFile;

void makeScript(const fs::path& p, const std::string& body) {
  fs::create_directories(p.parent_path());
  writeFile(p, "#!/bin/sh\n" + body);
  fs::permissions(p, fs::perms::owner_all);
}

// Waits for a detached program's trace; the limit only keeps a broken run from hanging.
bool eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

TEST(RunAndWait, ArgumentsReachTheProgramLiterally) {
  TempDir dir;
  const std::string odd = "a b; $(echo x) `y` * > z";
  EXPECT_EQ(runAndWait("touch", {(dir.path() / odd).string()}, kNormalFocus, std::nullopt), kWaitEnded);
  EXPECT_TRUE(fs::exists(dir.path() / odd));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(RunAndWait, WaitsForTheEndAndDoesNotReportTheExitCode) {
  TempDir dir;
  fs::path script = dir.path() / "late.sh";
  makeScript(script, "sleep 0.2\necho done > \"$1\"\nexit 3\n");
  fs::path trace = dir.path() / "trace";
  for (int32_t style : {0, 3, 6, 9, -1}) {
    fs::remove(trace);
    EXPECT_EQ(runAndWait(script.string(), {trace.string()}, style, std::nullopt), kWaitEnded);
    EXPECT_EQ(readFile(trace), "done\n") << style;
  }
  EXPECT_EQ(runAndWait("false", {}, kHide, 10000), kWaitEnded);
}

TEST(RunAndWait, TimeoutLeavesTheProgramRunning) {
  pid_t pid = 0;
  EXPECT_EQ(runAndWait("sleep", {"30"}, kMinimizedNoFocus, 50, &pid), kWaitTimeout);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(::kill(pid, 0), 0);  // still there
  ::kill(pid, SIGTERM);
}

TEST(RunAndWait, StartFailuresComeBackAsErrorCodesWithoutWaiting) {
  TempDir dir;
  fs::path plain = dir.path() / "not-executable";
  writeFile(plain, "#!/bin/sh\n");
  fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write);
  struct Case {
    std::string program;
    uint32_t expected;
  } cases[] = {
      {"pellary-no-such-program", kStartErrorBase + 53},
      {(dir.path() / "missing" / "prog").string(), kStartErrorBase + 53},
      {"", kStartErrorBase + 53},
      {plain.string(), kStartErrorBase + 75},
      {dir.path().string(), kStartErrorBase + 75},  // a folder
  };
  for (const Case& c : cases) {
    pid_t pid = -1;
    EXPECT_EQ(runAndWait(c.program, {}, kNormalFocus, std::nullopt, &pid), c.expected) << c.program;
    EXPECT_EQ(pid, 0);
  }
  EXPECT_GE(cases[0].expected, 0x80040000u);
}

TEST(RunAndWait, FindsProgramsOnPath) {
  EXPECT_FALSE(findProgram("sh").empty());
  EXPECT_TRUE(findProgram("pellary-no-such-program").empty());
  EXPECT_EQ(findProgram("/bin/sh"), "/bin/sh");
}

TEST(DesktopTargets, RecognisesUrls) {
  EXPECT_TRUE(looksLikeUrl("http://example.org/a"));
  EXPECT_TRUE(looksLikeUrl("mailto:someone@example.org"));
  EXPECT_TRUE(looksLikeUrl("file:///tmp/x"));
  EXPECT_FALSE(looksLikeUrl("C:\\Program Files\\x.htm"));
  EXPECT_FALSE(looksLikeUrl("/tmp/a:b"));
  EXPECT_FALSE(looksLikeUrl("index.htm"));
  EXPECT_FALSE(looksLikeUrl("1http://x"));
}

class DesktopOpener : public ::testing::Test {
 protected:
  void SetUp() override {
    setDesktopLauncher([this](const std::string& target, const std::string& folder) {
      opened.push_back(target);
      folders.push_back(folder);
      return kOpenOk;
    });
  }
  void TearDown() override {
    setDesktopLauncher({});
    setDesktopOpenerProgram({});
  }
  TempDir dir;
  std::vector<std::string> opened, folders;
};

TEST_F(DesktopOpener, UrlsPassAsGivenAndLocalPathsAreResolved) {
  fs::create_directories(dir.path() / "Help");
  writeFile(dir.path() / "Help" / "Index.htm", "x");
  EXPECT_EQ(openWithDesktop("https://example.org/?q=a b"), kOpenOk);
  EXPECT_EQ(openWithDesktop(dir.path().string() + "\\HELP\\index.HTM"), kOpenOk);
  EXPECT_EQ(openWithDesktop("help\\index.htm", dir.path().string()), kOpenOk);
  ASSERT_EQ(opened.size(), 3u);
  EXPECT_EQ(opened[0], "https://example.org/?q=a b");
  EXPECT_EQ(opened[1], (dir.path() / "Help" / "Index.htm").string());
  EXPECT_EQ(opened[2], (dir.path() / "Help" / "Index.htm").string());
  EXPECT_EQ(folders[2], dir.path().string());
}

TEST_F(DesktopOpener, MissingFilesAreNotHandedToTheOpener) {
  EXPECT_EQ(openWithDesktop((dir.path() / "absent.htm").string()), kOpenFileNotFound);
  EXPECT_EQ(openWithDesktop((dir.path() / "no" / "absent.htm").string()), kOpenPathNotFound);
  EXPECT_EQ(openWithDesktop(""), kOpenFileNotFound);
  EXPECT_TRUE(opened.empty());
}

TEST_F(DesktopOpener, RealLaunchRunsTheOpenerDetached) {
  setDesktopLauncher({});
  fs::path opener = dir.path() / "opener.sh";
  fs::path trace = dir.path() / "trace";
  makeScript(opener, "printf '%s' \"$1\" > \"" + trace.string() + ".tmp\"\nmv \"" + trace.string() + ".tmp\" \"" +
                         trace.string() + "\"\n");
  setDesktopOpenerProgram(opener.string());
  EXPECT_GT(openWithDesktop("http://example.org/page"), 32);
  ASSERT_TRUE(eventually([&] { return fs::exists(trace); }));
  EXPECT_EQ(readFile(trace), "http://example.org/page");

  setDesktopOpenerProgram("pellary-no-such-opener");
  EXPECT_EQ(openWithDesktop("http://example.org/page"), kOpenNoAssociation);
}

}  // namespace
}  // namespace pellary::platform::process
