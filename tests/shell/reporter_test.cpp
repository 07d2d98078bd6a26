#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <regex>
#include <vector>

#include "platform/errors.h"
#include "platform/msgbox.h"
#include "shell/program.h"
#include "shell/reporter.h"
#include "shell/shell_fixture.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;
using testing::ShellTest;

class Reporter : public ShellTest {
 protected:
  // Reports an error the way a trapped procedure does and returns the exit status.
  int fail(long number, const std::string& description, const char* location, const char* extra = "") {
    currentError() = {number, description};
    try {
      Bmm_ReportError(int32_t(number), location, extra);
    } catch (const ProgramEnded& e) {
      return e.code;
    }
    ADD_FAILURE() << "the reporter returned";
    return -1;
  }
};

TEST_F(Reporter, MessageHasEveryPieceInOrder) {
  fail(3024, "Could not find file.", "Bsql_OpenDataBanks");
  ASSERT_EQ(messages.size(), 1u);
  const MessageRequest& m = messages[0];
  EXPECT_EQ(m.title, "Pellary Almoner");
  EXPECT_EQ(m.style, mb::OKOnly | mb::Critical);
  std::string expected = std::string("An error has occurred in the application.\r\r") +
                         "Clicking on OK will shut down the application.\r\r" +
                         "If this problem persists, note the details below and contact " + kSupportContact +
                         "\r\rDetails:\tBsql_OpenDataBanks\t3024\r\nCould not find file.";
  EXPECT_EQ(m.text, expected);
}

// The user reads why it failed, not only where: the error's description
// follows the details line and any extra text, once.
TEST_F(Reporter, TheReasonFollowsTheDetails) {
  struct Case {
    const char* description;
    const char* extra;
    const char* ending;
  } cases[] = {
      {"Type mismatch", "more detail", "Details:\tcmdQuickSetup_Click\t13\r\nmore detail\r\nType mismatch"},
      {"The server refused the login (401): check caldav.conf or ~/.netrc", "",
       "Details:\tcmdQuickSetup_Click\t13\r\nThe server refused the login (401): check caldav.conf or ~/.netrc"},
      {"No space left on device", "No space left on device",
       "Details:\tcmdQuickSetup_Click\t13\r\nNo space left on device"},
      {"", "", "Details:\tcmdQuickSetup_Click\t13\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    messages.clear();
    fail(13, c.description, "cmdQuickSetup_Click", c.extra);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.ends_with(c.ending)) << messages[0].text;
  }
}

TEST_F(Reporter, LogLineFormat) {
  fail(20010, "Unexpected reply", "Bupd_CallUpdate", "ignored in the log");
  std::string log = testing::readFile(home() / "LY98ERR.log");
  std::regex line(R"(#\d{4}-\d{2}-\d{2}#,#\d{2}:\d{2}:\d{2}#,"Bupd_CallUpdate",20010,"Unexpected reply"\r\n)");
  EXPECT_TRUE(std::regex_match(log, line)) << log;
}

TEST_F(Reporter, TwoErrorsInTwoRunsLeaveTwoLinesOldestFirst) {
  fail(6, "Overflow", "First");
  fail(9, "Subscript out of range", "Second");
  std::string log = testing::readFile(home() / "LY98ERR.log");
  size_t first = log.find("\"First\",6,\"Overflow\"\r\n");
  size_t second = log.find("\"Second\",9,\"Subscript out of range\"\r\n");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
}

TEST_F(Reporter, QuotesAndLineBreaksStayInsideOneField) {
  fail(5, "bad \"value\"\r\nsecond line", "Loc");
  std::string log = testing::readFile(home() / "LY98ERR.log");
  EXPECT_NE(log.find(",\"bad \"\"value\"\"  second line\"\r\n"), std::string::npos) << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
}

// A value from outside as long as a whole bad line of a table file: the log
// line and the message stay a few hundred bytes, the cut marked.
TEST_F(Reporter, AHugeDescriptionOrExtraTextIsCutWithAMark) {
  const std::string huge(20 * 1000 * 1000, 'x');
  fail(13, "Not a number: \"" + huge + "\"", "Bcue_LoadNewPrimary", huge.c_str());
  std::string log = testing::readFile(home() / "LY98ERR.log");
  EXPECT_LT(log.size(), 500u);
  EXPECT_NE(log.find("...\"\r\n"), std::string::npos) << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_LT(messages[0].text.size(), 3000u) << "the extra text and the reason, each cut";
  EXPECT_NE(messages[0].text.find("..."), std::string::npos);
}

TEST_F(Reporter, UnwritableLogStillEnds) {
  fs::permissions(home(), fs::perms::owner_read | fs::perms::owner_exec);
  fail(5, "Invalid procedure call or argument", "Loc");
  fs::permissions(home(), fs::perms::owner_all);
  EXPECT_EQ(messages.size(), 1u);
  if (geteuid() != 0) {
    EXPECT_FALSE(fs::exists(home() / "LY98ERR.log"));
  }
}

TEST_F(Reporter, TrappedErrorReachesReporterWithItsLocation) {
  EXPECT_THROW(trapped("Bsql_Something", [] { raise(err::DbNoCurrentRecord); }), ProgramEnded);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("Details:\tBsql_Something\t3021\r\n"), std::string::npos);
  std::string log = testing::readFile(home() / "LY98ERR.log");
  EXPECT_NE(log.find("\"Bsql_Something\",3021,\"No current record.\""), std::string::npos);
}

TEST_F(Reporter, NestedTrapsReportOnce) {
  EXPECT_THROW(trapped("Outer", [] { trapped("Inner", [] { raise(err::Overflow); }); }), ProgramEnded);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("Inner"), std::string::npos);
}

TEST_F(Reporter, ExitQuestion) {
  answer = mb::No;
  EXPECT_NO_THROW(Bmm_CancelProgram());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, kExitQuestion);
  EXPECT_EQ(messages[0].style, mb::YesNo | mb::Exclamation | mb::DefaultButton2);
  EXPECT_EQ(messages[0].title, "Pellary Almoner");
  answer = mb::Yes;
  EXPECT_THROW(Bmm_CancelProgram(), ProgramEnded);
}

// A scheduler or installer reads the exit status; a message no one answers
// must not lose the log line.
TEST_F(Reporter, EndsWithStatusOneAndLogsBeforeTheMessage) {
  bool loggedFirst = false;
  MessagePresenter recorder = setMessagePresenter([&](const MessageRequest& r) {
    loggedFirst = fs::exists(home() / "LY98ERR.log");
    messages.push_back(r);
    return mb::OK;
  });
  EXPECT_EQ(fail(20010, "Unexpected reply", "Bupd_CallUpdate"), 1);
  EXPECT_TRUE(loggedFirst);
  setMessagePresenter(recorder);
}

TEST_F(Reporter, UnattendedRunLogsAndEndsWithoutAskingAnyone) {
  setUnattendedRun(true);
  EXPECT_EQ(fail(3024, "Could not find file.", "Bsql_OpenDataBanks"), 1);
  setUnattendedRun(false);
  EXPECT_TRUE(messages.empty()) << "no dialog waits for a click";
  EXPECT_NE(testing::readFile(home() / "LY98ERR.log").find("\"Bsql_OpenDataBanks\",3024,"), std::string::npos);
}

TEST(Unattended, EnvironmentDecides) {
  struct Case {
    const char* unattended;
    const char* display;
    const char* qpa;
    bool expected;
  } cases[] = {{"1", ":0", "", true},         {"", ":0", "", false},  {"", "", "", true},
               {"", ":0", "offscreen", true}, {"", "", "xcb", false}, {"", "", "minimal", true}};
  const char* names[] = {"PELLARY_UNATTENDED", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
  for (const char* n : names) {
    const char* v = std::getenv(n);
    saved.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
  }
  for (const Case& c : cases) {
    setenv("PELLARY_UNATTENDED", c.unattended, 1);
    setenv("DISPLAY", c.display, 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("QT_QPA_PLATFORM", c.qpa, 1);
    EXPECT_EQ(environmentIsUnattended(), c.expected) << c.unattended << "|" << c.display << "|" << c.qpa;
  }
  for (auto& [n, v] : saved) {
    if (v)
      setenv(n.c_str(), v->c_str(), 1);
    else
      unsetenv(n.c_str());
  }
}

}  // namespace
}  // namespace pellary

namespace pellary::testing {
namespace {

// An error that leaves a slot is reported like any other and ends the run
// with status 1, instead of aborting the process.
TEST_F(ShellTest, AnErrorLeavingASlotTakesTheErrorRoad) {
  try {
    deliverGuarded([]() -> bool { raise(57, "Cannot write the Organizer file"); });
    ADD_FAILURE() << "the run went on";
  } catch (const ProgramEnded& e) {
    EXPECT_EQ(e.code, 1);
  }
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.front().text.rfind("An error has occurred", 0), 0u) << messages.front().text;
  EXPECT_NE(messages.front().text.find("Pelmon"), std::string::npos);
}

}  // namespace
}  // namespace pellary::testing
