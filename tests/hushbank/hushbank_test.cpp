#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "hushbank/frmMain.h"
#include "hushbank/hushbank.h"
#include "hushbank/loaders.h"
#include "platform/msgbox.h"
#include "platform/process/process.h"
#include "tests/update/cue/cue_fixture.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;

TEST(HushbankCommandLine, OnlyTheWholeWordSilentInAnyCase) {
  struct {
    const char* line;
    bool silent;
  } cases[] = {{"silent", true},   {"SILENT", true},   {"Silent", true},   {"", false},
               {"/silent", false}, {"silent ", false}, {" silent", false}, {"silently", false}};
  for (auto& c : cases) EXPECT_EQ(hushbank::isSilent(c.line), c.silent) << '"' << c.line << '"';
}

TEST(HushbankReporter, MessageAndLogLine) {
  std::string m = hushbank::errorMessageText(3022, "Bcue_LoadNewPrimary", "");
  EXPECT_EQ(m,
            "An error has occurred in the application.\r\rPlease press F1 for possible solutions to the problem "
            "before clicking on OK which will shut down the application.\r\rIf this problem persists, note the "
            "details below and contact Brackwater limited\r\rDetails:\tBcue_LoadNewPrimary\t3022\r\n");
  std::string line = errorLogLine(62, "Bcue_LoadNewSecondary", "Secondary.cue, record 2: \"x\"");
  EXPECT_NE(line.find(",\"Bcue_LoadNewSecondary\",62,\"Secondary.cue, record 2: \"\"x\"\"\"\r\n"), std::string::npos)
      << line;
  EXPECT_EQ(line.front(), '#');
}

class Hushbank : public testing::CueTest {
 protected:
  void SetUp() override {
    CueTest::SetUp();
    hushbank::installErrorReporter();
    hushbank::settleTime() = std::chrono::milliseconds(0);
    previous_ = setMessagePresenter([this](const MessageRequest& r) {
      messages.push_back(r);
      noticeVisible = false;
      for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "frmMain" && w->isVisible()) {
          noticeVisible = true;
          noticeText = w->findChild<QLabel*>("lblMain")->text().toStdString();
        }
      return mb::OK;
    });
  }
  void TearDown() override {
    setMessagePresenter(previous_);
    CueTest::TearDown();
  }
  // Runs Main to its end; the databank is open again afterwards.
  void run(const std::string& commandLine = "silent") {
    try {
      hushbank::Main(commandLine);
    } catch (const ProgramEnded&) {
    }
    EXPECT_FALSE(db().isOpen()) << "the end closes the databank";
    Bsql_OpenDataBanks();
  }
  std::string log() {
    fs::path p = home() / "LY98ERR.log";
    return fs::exists(p) ? testing::readFile(p) : std::string();
  }
  void putAllFiles() {
    cueFile("Primary.cue", "1,10,\"Holidays\",1\r\n");
    cueFile("Secondary.cue", "1,10,1,\"Europe\",1\r\n");
    cueFile("Tertiary.cue", "1,10,1,1,5001,\"France\",24,1\r\n");
    cueFile("EVENTCAT.cue", "5001,1,1\r\n");
    cueFile("events.kest",
            "1,\"Bastille Day\",\"a|b||c\",\"|\",1815350400,1815350400,0,\"\",\"\",\"\",\"\",1,1,1,1\r\n");
    cueFile("Product.cue", "101,1,\"World Holidays\",1,1,1\r\n");
    cueFile("RETEMPLATE.cue", "1,1,\"Guide\",1,1,0\r\n");
    cueFile("RESTRUCTURE.cue", "1,1,2,1,0\r\n");
  }

  std::vector<MessageRequest> messages;
  bool noticeVisible = false;
  std::string noticeText;

 private:
  MessagePresenter previous_;
};

TEST_F(Hushbank, FillsEveryTableAndDeletesEveryFile) {
  putAllFiles();
  run();
  EXPECT_TRUE(messages.empty()) << messages[0].text;
  for (const char* f : {"Primary.cue", "Secondary.cue", "Tertiary.cue", "EVENTCAT.cue", "events.kest", "Product.cue",
                        "RETEMPLATE.cue", "RESTRUCTURE.cue"})
    EXPECT_FALSE(inCue(f)) << f;
  EXPECT_EQ(rows("SELECT CatSettings, Priorities_Valid FROM Tertiary"), (std::vector<std::string>{"24|24"}));
  EXPECT_EQ(rows("SELECT Memo, MemoLong, Action, Status FROM Event"),
            (std::vector<std::string>{"a\r\nb\r\n\r\nc|\r\n|1|1"}));
  EXPECT_EQ(rows("SELECT ProgProductID, ProductID, ProductName, Status, Viewers, GenDates FROM Products"),
            (std::vector<std::string>{"101|1|World Holidays|1|1|1"}));
  EXPECT_EQ(count("SELECT * FROM EventCat"), 1);
  EXPECT_EQ(count("SELECT * FROM RETemplate"), 1);
  EXPECT_EQ(count("SELECT * FROM REStructure"), 1);
  // The final selection plans from statistics gathered after the loads.
  EXPECT_GE(count("SELECT * FROM sqlite_stat1 WHERE tbl = 'Event'"), 1);
  EXPECT_EQ(log(), "");
}

TEST_F(Hushbank, EmptyCueFolderChangesNothing) {
  run("");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(count("SELECT * FROM Event"), 0);
}

TEST_F(Hushbank, DuplicateKeySkipsAndKeepsTheExistingRow) {
  db().execute("INSERT INTO Primary (ProductID, PID, PrimaryName, Status) VALUES (1, 10, 'Old', 1)");
  cueFile("Primary.cue", "1,10,\"New\",0\r\n1,11,\"First\",1\r\n1,11,\"Second\",1\r\n");
  run();
  EXPECT_EQ(rows("SELECT PID, PrimaryName, Status FROM Primary ORDER BY PID"),
            (std::vector<std::string>{"10|Old|1", "11|First|1"}));
  EXPECT_FALSE(inCue("Primary.cue"));
}

TEST_F(Hushbank, ProductFileFirstLineOnlyAndExistingRowUpdated) {
  cueFile("Product.cue", "101,1,\"One\",1,1,0\r\n102,2,\"Two\",1,1,0\r\n");
  run();
  EXPECT_EQ(rows("SELECT ProgProductID, ProductID, ProductName FROM Products"),
            (std::vector<std::string>{"101|1|One"}));
  cueFile("Product.cue", "111,1,\"One again\",0,2,1\r\n");
  run();
  EXPECT_EQ(rows("SELECT ProgProductID, ProductID, ProductName, Status, Viewers, GenDates FROM Products"),
            (std::vector<std::string>{"111|1|One again|0|2|1"}));
  EXPECT_FALSE(inCue("Product.cue"));
}

TEST_F(Hushbank, OlderActiveRowsRetiredOnce) {
  db().execute("INSERT INTO Event (EventID, Title, Version, Status) VALUES (1, 'a', 1, 1), (1, 'b', 1, 1)");
  cueFile("events.kest", "1,\"New\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",1,2,0\r\n");
  run();
  EXPECT_EQ(rows("SELECT Title, Status FROM Event ORDER BY Status, Title"),
            (std::vector<std::string>{"a|0", "b|0", "New|1"}));
}

TEST_F(Hushbank, UnknownActionCodeCountsForNothing) {
  cueFile("events.kest", "1,\"T\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",1,1,2,99,2\r\n");
  run();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(rows("SELECT Action FROM Event"), (std::vector<std::string>{"2"}));
}

// Every failure inside the events merge is passed over: the bad record goes,
// the others are stored, the file is deleted and the later loaders run.
struct BadEventRow {
  const char* name;
  const char* row;
};
void PrintTo(const BadEventRow& r, std::ostream* os) { *os << r.name; }

class HushbankBadEventRow : public Hushbank, public ::testing::WithParamInterface<BadEventRow> {};

TEST_P(HushbankBadEventRow, IsPassedOverAndEverythingElseLoads) {
  std::string events;
  for (int id = 1; id <= 9; ++id) {
    if (id == 5) {
      events += GetParam().row;
      continue;
    }
    events +=
        std::to_string(id) + ",\"Event " + std::to_string(id) + "\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",1,1,0\r\n";
  }
  cueFile("events.kest", events);
  cueFile("RETEMPLATE.cue", "1,1,\"Guide\",1,1,0\r\n");
  cueFile("Product.cue", "11,4,\"World Public Holidays\",1,3,0\r\n");
  run();
  EXPECT_TRUE(messages.empty()) << messages[0].text;
  EXPECT_EQ(rows("SELECT EventID FROM Event ORDER BY EventID"),
            (std::vector<std::string>{"1", "2", "3", "4", "6", "7", "8", "9"}));
  EXPECT_FALSE(inCue("events.kest"));
  EXPECT_EQ(count("SELECT * FROM RETemplate"), 1);
  EXPECT_EQ(count("SELECT * FROM Products"), 1);
  const std::string l = log();
  EXPECT_EQ(std::count(l.begin(), l.end(), '\n'), 1) << l;
  EXPECT_NE(l.find("\"Bcue_MergeInEvents\","), std::string::npos) << l;
  EXPECT_NE(l.find("1 of 9 records passed over"), std::string::npos) << l;
}

const BadEventRow kBadEventRows[] = {
    {"DateNotANumber", "5,\"Bad\",\"\",\"\",x,0,0,\"\",\"\",\"\",\"\",1,1,0\r\n"},
    {"QuoteLeftOpen", "5,\"Bad,0,0,0\r\n"},
    {"VersionOverflows", "5,\"Bad\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",1,70000,0\r\n"},
    {"NegativeEventID", "-5,\"Bad\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",1,1,0\r\n"},
    {"ControlByteInText", "5,\"B\x01d\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",1,1,0\r\n"},
};
INSTANTIATE_TEST_SUITE_P(Rows, HushbankBadEventRow, ::testing::ValuesIn(kBadEventRows),
                         [](const auto& info) { return std::string(info.param.name); });

// A record cut short at the end of the file: the ones before it are stored.
TEST_F(Hushbank, EventsFileCutShortKeepsTheRecordsBeforeTheCut) {
  cueFile("events.kest", "1,\"T\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",1,1,0\r\n2,\"Cut\",\"\"\r\n");
  cueFile("RETEMPLATE.cue", "1,1,\"Guide\",1,1,0\r\n");
  run();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(rows("SELECT Title FROM Event"), (std::vector<std::string>{"T"}));
  EXPECT_FALSE(inCue("events.kest"));
  EXPECT_FALSE(inCue("RETEMPLATE.cue"));
}

TEST_F(Hushbank, ErrorLeavesThatFileAndTheLaterOnesWithOneLogLine) {
  putAllFiles();
  cueFile("Secondary.cue", "1,10,1,\"Europe\",1\r\n1,10,2,\"Asia\"\r\n");  // cut short
  run();
  EXPECT_FALSE(inCue("Primary.cue"));
  for (const char* f : {"Secondary.cue", "Tertiary.cue", "EVENTCAT.cue", "events.kest", "Product.cue", "RETEMPLATE.cue",
                        "RESTRUCTURE.cue"})
    EXPECT_TRUE(inCue(f)) << f;
  EXPECT_EQ(count("SELECT * FROM Primary"), 1);
  EXPECT_EQ(count("SELECT * FROM Secondary"), 0) << "no half file";
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("Details:\tBcue_LoadNewSecondary\t62"), std::string::npos) << messages[0].text;
  EXPECT_EQ(messages[0].style, mb::Critical);
  EXPECT_EQ(messages[0].title, "Pellary Almoner");
  EXPECT_FALSE(noticeVisible);
  std::string l = log();
  EXPECT_EQ(std::count(l.begin(), l.end(), '\n'), 1) << l;
  EXPECT_NE(l.find("\"Bcue_LoadNewSecondary\",62,\"Secondary.cue, record 2"), std::string::npos) << l;

  // Mended, the rerun completes the load.
  messages.clear();
  cueFile("Secondary.cue", "1,10,1,\"Europe\",1\r\n1,10,2,\"Asia\",1\r\n");
  run();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(count("SELECT * FROM Secondary"), 2);
  EXPECT_EQ(count("SELECT * FROM Event"), 1);
  EXPECT_FALSE(inCue("RESTRUCTURE.cue"));
}

TEST_F(Hushbank, NoticeShownUnlessSilent) {
  cueFile("Primary.cue", "1,x\r\n");
  run("");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(noticeVisible);
  EXPECT_EQ(noticeText, "The Pellary Almoner installation is now completing\nPlease wait...");
  messages.clear();
  run("SILENT");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_FALSE(noticeVisible);
}

TEST_F(Hushbank, DatabankThatCannotOpenTouchesNoFile) {
  Bsql_CloseDataBank();
  Breg_WriteRegSettings("Support", "Name", "missing.db");
  cueFile("Primary.cue", "1,10,\"Holidays\",1\r\n");
  try {
    hushbank::Main("silent");
  } catch (const ProgramEnded&) {
  }
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("Bsql_OpenDataBanks"), std::string::npos);
  EXPECT_TRUE(inCue("Primary.cue"));
  Breg_WriteRegSettings("Support", "Name", "test.db");
  Bsql_OpenDataBanks();
}

// The built program, as the installation runs it.
class HushbankProgram : public Hushbank {
 protected:
  void runProgram(const std::vector<std::string>& args) {
    const char* bin = std::getenv("PELLARY_TEST_BIN");
    ASSERT_TRUE(bin);
    Bsql_CloseDataBank();
    setenv("PELLARY_UNATTENDED", "1", 1);
    uint32_t r = platform::process::runAndWait(std::string(bin) + "/hushbank", args, 0, 60000);
    unsetenv("PELLARY_UNATTENDED");
    EXPECT_EQ(r, platform::process::kWaitEnded);
    Bsql_OpenDataBanks();
  }
};

TEST_F(HushbankProgram, SilentAndShownRunsLoadTheFiles) {
  putAllFiles();
  runProgram({"silent"});
  EXPECT_FALSE(inCue("RESTRUCTURE.cue"));
  EXPECT_EQ(count("SELECT * FROM Event"), 1);

  cueFile("Primary.cue", "1,20,\"Sport\",1\r\n");
  runProgram({});
  EXPECT_FALSE(inCue("Primary.cue"));
  EXPECT_EQ(count("SELECT * FROM Primary"), 2);
}

TEST_F(HushbankProgram, ErrorIsLoggedOnceAndLaterFilesStay) {
  putAllFiles();
  cueFile("Tertiary.cue", "1,10,1,1,5001,\"France\",24\r\n");
  runProgram({"silent"});
  EXPECT_FALSE(inCue("Secondary.cue"));
  EXPECT_TRUE(inCue("Tertiary.cue"));
  EXPECT_TRUE(inCue("RESTRUCTURE.cue"));
  std::string l = log();
  EXPECT_EQ(std::count(l.begin(), l.end(), '\n'), 1) << l;
  EXPECT_NE(l.find("Bcue_LoadNewTertiary"), std::string::npos) << l;
}

// A file the installation is still copying is not loaded in part: it stays,
// and the run says so; once it stands still the next run loads it.
TEST_F(Hushbank, FileStillBeingWrittenIsLeftForTheNextRun) {
  hushbank::settleTime() = std::chrono::milliseconds(400);
  cueFile("Primary.cue", "1,10,\"Holidays\",1\r\n");
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    for (int i = 0; writing && i < 300; ++i) {
      std::ofstream(home() / "CUE" / "Primary.cue", std::ios::app) << "1," << 11 + i << ",\"More\",1\r\n";
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  run();
  writing = false;
  writer.join();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("Bcue_LoadNewPrimary\t75"), std::string::npos) << messages[0].text;
  EXPECT_NE(log().find("still being written"), std::string::npos) << log();
  EXPECT_TRUE(inCue("Primary.cue"));
  EXPECT_EQ(count("SELECT * FROM Primary"), 0);

  messages.clear();
  std::this_thread::sleep_for(std::chrono::milliseconds(450));
  run();
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(inCue("Primary.cue"));
  EXPECT_GT(count("SELECT * FROM Primary"), 1);
}

// The installer and a scheduler read the exit status; without a display, or
// under an offscreen platform, the error is logged and the run ends.
TEST_F(HushbankProgram, ExitStatusTellsTheInstallerAndNoRunWaitsForAClick) {
  const char* bin = std::getenv("PELLARY_TEST_BIN");
  ASSERT_TRUE(bin);
  Bsql_CloseDataBank();
  struct Case {
    const char* name;
    QStringList args;
    bool offscreen;  // else no display at all
    bool badFile;
    int status;
  } cases[] = {{"silent, no display", {"silent"}, false, true, 1},
               {"shown, no display", {}, false, true, 1},
               {"shown, offscreen", {}, true, true, 1},
               {"shown, offscreen, good files", {}, true, false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(home() / "LY98ERR.log");
    cueFile("Primary.cue", c.badFile ? "1,x\r\n" : "1,10,\"Holidays\",1\r\n");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "PELLARY_UNATTENDED"}) env.remove(v);
    if (c.offscreen) env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QString(bin) + "/hushbank", c.args);
    ASSERT_TRUE(p.waitForFinished(20000)) << "the run waits for a click no one can give";
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), c.status);
    EXPECT_EQ(log().find("\"Bcue_LoadNewPrimary\",13,") != std::string::npos, c.badFile) << log();
    EXPECT_EQ(inCue("Primary.cue"), c.badFile);
  }
  Bsql_OpenDataBanks();
}

}  // namespace
}  // namespace pellary
