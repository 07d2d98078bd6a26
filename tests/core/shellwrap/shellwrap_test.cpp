#include "core/shellwrap.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/help/help.h"
#include "platform/paths.h"
#include "platform/process/process.h"
#include "support/fixtures.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;
namespace process = platform::process;
namespace help = platform::help;
using pellary::testing::readFile;
using pellary::testing::writeFile;

void makeScript(const fs::path& p, const std::string& body) {
  fs::create_directories(p.parent_path());
  writeFile(p, "#!/bin/sh\n" + body);
  fs::permissions(p, fs::perms::owner_all);
}

bool eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

class ShellWrap : public pellary::testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    resetIniFileToolState();
    process::setDesktopLauncher([this](const std::string& target, const std::string& folder) {
      opened.push_back(target);
      folders.push_back(folder);
      return process::kOpenOk;
    });
  }
  void TearDown() override {
    process::setDesktopLauncher({});
    help::setHelpHook({});
    resetIniFileToolState();
    IsolatedEnvTest::TearDown();
  }
  std::vector<std::string> opened, folders;
};

TEST_F(ShellWrap, ShellAndWaitStyleAndTimeout) {
  fs::path trace = root() / "trace";
  // Styles outside 0..6 are taken as 6; every style starts and waits.
  for (std::optional<int32_t> style :
       {std::optional<int32_t>{}, std::optional<int32_t>{0}, std::optional<int32_t>{3}, std::optional<int32_t>{9}}) {
    fs::remove(trace);
    EXPECT_EQ(Bshl_ShellAndWait("touch", {trace.string()}, style), 0u);
    EXPECT_TRUE(fs::exists(trace));
  }
  EXPECT_EQ(Bshl_ShellAndWait("true", {}, 6, 10000), 0u);
  EXPECT_EQ(Bshl_ShellAndWait("sleep", {"0.3"}, 6, 20), 0x102u);
}

TEST_F(ShellWrap, ShellAndWaitOnAMissingProgramReturnsTheErrorCode) {
  uint32_t r = Bshl_ShellAndWait("command.com", {"/c", "x.bat"});
  EXPECT_GE(r, 0x80040000u);
  EXPECT_EQ(r, 0x80040000u + 53);
  EXPECT_EQ(Bshl_ShellAndWait(paths::appPath() + "\\Tools\\absent.exe", {}, 3), 0x80040000u + 53);
}

TEST_F(ShellWrap, ShellAndWaitResolvesBackslashPaths) {
  makeScript(home() / "Tools" / "Build.sh", "touch \"$1\"\n");
  fs::path trace = root() / "built";
  EXPECT_EQ(Bshl_ShellAndWait(paths::appPath() + "\\tools\\build.sh", {trace.string()}, 6), 0u);
  EXPECT_TRUE(fs::exists(trace));
}

TEST_F(ShellWrap, ShellExecuteOpensUrlsAndPagesFromTheProgramFolder) {
  writeFile(home() / "Start.htm", "x");
  EXPECT_GT(Bshl_ShellExecute(7, "http://www.example.org/support", "open", "", 1), 32);
  EXPECT_GT(Bshl_ShellExecute(7, "start.htm", "", "", 1), 32);
  EXPECT_EQ(Bshl_ShellExecute(7, "missing.htm", "open", "", 1), 2);
  EXPECT_EQ(Bshl_ShellExecute(7, "http://www.example.org/", "print", "", 1), 31);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], "http://www.example.org/support");
  EXPECT_EQ(opened[1], (home() / "Start.htm").string());
  EXPECT_EQ(folders[0], paths::appPath());
}

TEST_F(ShellWrap, ShellExecuteStartsAProgramWithItsParameters) {
  fs::path trace = root() / "args";
  makeScript(home() / "Palm" / "condreg.exe", "printf '%s\\n' \"$@\" > \"" + trace.string() + ".tmp\"\npwd >> \"" +
                                                  trace.string() + ".tmp\"\nmv \"" + trace.string() + ".tmp\" \"" +
                                                  trace.string() + "\"\n");
  std::string p = paths::appPath();
  int32_t r = Bshl_ShellExecute(0, p + "\\Palm\\condreg.exe", "open",
                                p + "\\Palm -AppName \"Mappa\" -Directory \"Brackwater\\Mappa\" $(x);y", 0);
  EXPECT_GT(r, 32);
  ASSERT_TRUE(eventually([&] { return fs::exists(trace); }));
  EXPECT_EQ(readFile(trace), p + "\\Palm\n-AppName\nMappa\n-Directory\nBrackwater\\Mappa\n$(x);y\n" +
                                 fs::canonical(home()).string() + "\n");
  EXPECT_TRUE(opened.empty());
}

TEST(SplitWindowsArguments, AsACommandLineIsSplit) {
  struct Case {
    std::string line;
    std::vector<std::string> args;
  } cases[] = {
      {"", {}},
      {"  a  b\tc ", {"a", "b", "c"}},
      {"\"a b\" c", {"a b", "c"}},
      {"a\"b c\"d", {"ab cd"}},
      {"C:\\dir\\ x", {"C:\\dir\\", "x"}},
      {"\\\"q\\\"", {"\"q\""}},
      {"\"a\\\\\" b", {"a\\", "b"}},
      {"\"\"", {""}},
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
  };
  for (const Case& c : cases) EXPECT_EQ(splitWindowsArguments(c.line), c.args) << c.line;
}

// The answer comes from the system, not a fixed text: its folder holds the
// standard programs (the shell among them).
TEST_F(ShellWrap, SystemDirectoryHoldsTheSystemsStandardPrograms) {
  std::string dir = Bshl_GetSystemDirectory();
  EXPECT_FALSE(dir.empty());
  EXPECT_TRUE(fs::is_directory(dir));
  EXPECT_TRUE(fs::exists(fs::path(dir) / "sh")) << dir;
}

TEST_F(ShellWrap, GetFromIniReadsTheNamedFile) {
  EXPECT_EQ(Bin().Bin_INIFileName, "");
  EXPECT_EQ(Bin_GetFromINI("LastPaths", "Path0"), "");  // no file name yet
  writeFile(home() / "DTW.INI", "[LastPaths]\r\nPath0 = C:\\DT\\Data\r\nLong=" + std::string(300, 'x') + "\r\n");
  Bin().Bin_INIFileName = paths::appPath() + "\\dtw.ini";
  EXPECT_EQ(Bin_GetFromINI("lastpaths", "PATH0"), "C:\\DT\\Data");
  EXPECT_EQ(Bin_GetFromINI("LastPaths", "Long"), std::string(254, 'x'));
  EXPECT_EQ(Bin_GetFromINI("LastPaths", "Path9"), "");
  EXPECT_EQ(Bin_GetFromINI("Other", "Path0"), "");
}

TEST_F(ShellWrap, ShortPathIsThePathItselfWhenItExists) {
  fs::create_directories(home() / "Data");
  writeFile(home() / "Data" / "File.txt", "x");
  const std::string p = paths::appPath();
  for (auto* f : {Bin_ReturnShortPathName, Bin_GetShortPath}) {
    EXPECT_EQ(f(p + "\\data\\file.txt"), p + "\\data\\file.txt");
    EXPECT_EQ(f(p + "\\Data\\"), p + "\\Data\\");
    EXPECT_EQ(f(p + "\\Data\\File.txt\\"), "");
    EXPECT_EQ(f(p + "\\absent.txt"), "");
    EXPECT_EQ(f(""), "");
  }
}

TEST_F(ShellWrap, HelpCommandsAskForTheirTopics) {
  std::vector<help::Request> asked;
  help::setHelpHook([&](const help::Request& r) { asked.push_back(r); });
  Bhp_HelpIndex();
  Bhp_DisplayContents();
  Bhp_HelpSearch();
  Bhp_HelpME(69);
  Bhp_PopUpHelpME(1234, 70);
  ASSERT_EQ(asked.size(), 5u);
  EXPECT_EQ(asked[0].command, help::Command::Contents);
  EXPECT_EQ(asked[1].command, help::Command::Finder);
  EXPECT_EQ(asked[2].command, help::Command::Search);
  EXPECT_EQ(asked[3].command, help::Command::Topic);
  EXPECT_EQ(asked[3].topic, 69);
  EXPECT_EQ(asked[4].command, help::Command::Popup);
  EXPECT_EQ(asked[4].topic, 70);
  EXPECT_EQ(asked[4].window, 1234);
  EXPECT_TRUE(opened.empty());
}

TEST_F(ShellWrap, HelpOpensTheTopicsPageOrTheIndex) {
  fs::create_directories(home() / "help");
  writeFile(home() / "help" / "Index.htm", "i");
  writeFile(home() / "help" / "topic69.htm", "t");
  Bhp_HelpME(69);
  Bhp_HelpME(70);
  Bhp_HelpSearch();
  Bhp_HelpIndex();
  writeFile(home() / "help" / "SEARCH.HTM", "s");
  Bhp_HelpSearch();
  const std::string index = (home() / "help" / "Index.htm").string();
  const std::string topic = (home() / "help" / "topic69.htm").string();
  EXPECT_EQ(opened, (std::vector<std::string>{topic, index, index, index, (home() / "help" / "SEARCH.HTM").string()}));
}

// A tip is the topic's text shown inside the program; the browser never starts.
TEST_F(ShellWrap, PopupTopicsGoToThePresenterNeverTheBrowser) {
  fs::create_directories(home() / "Help");
  writeFile(home() / "Help" / "topic93.htm",
            "<html><head><title>Adding</title><style>p {}</style></head><body>\n<h1>Adding a category</h1>\n"
            "<p>Click the   green arrow &amp; go.</p><p>Second.</p></body></html>");
  Bhp_PopUpHelpME(5, 93);  // no presenter: nothing at all
  std::vector<std::pair<int32_t, std::string>> shown;
  help::setPopupPresenter([&](const help::Request& r, const std::string& text) { shown.emplace_back(r.topic, text); });
  Bhp_PopUpHelpME(5, 93);
  Bhp_PopUpHelpME(5, 94);  // no page: empty text
  help::setPopupPresenter(nullptr);
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(shown, (std::vector<std::pair<int32_t, std::string>>{
                       {93, "Adding a category\nClick the green arrow & go.\nSecond."}, {94, ""}}));
}

TEST_F(ShellWrap, HelpWithoutPagesOpensNothing) {
  Bhp_HelpME(69);
  Bhp_HelpIndex();
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(help::pageFor(help::Command::Topic, 69), home() / "Help" / "index.htm");
}

}  // namespace
}  // namespace pellary
