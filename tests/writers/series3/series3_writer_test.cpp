#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "core/registry.h"
#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"
#include "standins/psiwin/psiwin_engine.h"
#include "support/fixtures.h"
#include "writers/series3/series3_writer.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;
namespace psi = standins::psiwin;
using testing::readFile;
using testing::writeFile;

fs::path quollModule() {
  const char* bin = std::getenv("PELLARY_TEST_BIN");
  if (!bin) return {};
  return fs::path(bin) / ".." / "lib" / "libquoll.so";
}

std::string u16(uint32_t v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
const std::string kEmptyAgenda = std::string(18, '\x5A') + u16(20);

// The records of a Series 3 agenda file: type and body.
struct Rec {
  int type;
  std::string body;
};
std::vector<Rec> records(const std::string& file) {
  std::vector<Rec> out;
  size_t pos = uint8_t(file[18]) | (uint8_t(file[19]) << 8);
  while (pos + 2 <= file.size()) {
    const uint32_t h = uint8_t(file[pos]) | (uint8_t(file[pos + 1]) << 8);
    const size_t len = h & 0x0FFF;
    out.push_back({int(h >> 12), file.substr(pos + 2, len)});
    pos += 2 + len;
  }
  return out;
}

class RecordingView : public Psion3View {
 public:
  std::vector<std::string> statuses;
  std::vector<int16_t> progress;
  bool nextEnabled = false;
  void setStatus(const std::string& t) override { statuses.push_back(t); }
  void setNextEnabled(bool e) override { nextEnabled = e; }
  void setProgress(int16_t p) override { progress.push_back(p); }
  void showProgress() override {}
  void setDefaultPointer() override {}
};

class Series3Test : public testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    const fs::path module = quollModule();
    if (module.empty() || !fs::exists(module)) GTEST_SKIP() << "libquoll.so not built";
    platform::automation::registerServer(module);
    psi::registerPsiWinClasses();
    fs::create_directories(home());
    writeFile(psi::deviceFolder() / "C" / "Agenda" / "Diary.agn", kEmptyAgenda);
    resetBps3();
    Bps3().view = &view_;
    Bps3().commit = [this] { ++commits_; };
    old_ = setMessagePresenter([this](const MessageRequest& r) {
      messages_.push_back(r.text);
      return mb::OK;
    });
  }
  void TearDown() override {
    setMessagePresenter(old_);
    resetBps3();
    IsolatedEnvTest::TearDown();
  }
  // Loads the controls and lets the engine connect.
  void connect() {
    Bps3_LoadControls();
    Bps3().doEvents();
  }
  std::string deviceFile() { return readFile(psi::deviceFolder() / "C" / "Agenda" / "Diary.agn"); }

  RecordingView view_;
  int commits_ = 0;
  std::vector<std::string> messages_;
  MessagePresenter old_;
};

RelayEventRecord event(const std::string& title, double start, double end) {
  RelayEventRecord r;
  r.Title = title;
  r.StartDate = start;
  r.EndDate = end;
  return r;
}

TEST_F(Series3Test, AddsThroughQuollAndCopiesTheFileBack) {
  connect();
  EXPECT_TRUE(view_.nextEnabled);
  Bps3_SetAgendaFile("C:\\Agenda\\Diary.agn");
  EXPECT_EQ(Breg_GetRegSetting("Settings", "PsionAgendaFile"), "C:\\Agenda\\Diary.agn");
  Bps3().writePass = [] {
    int16_t pct = 40;
    auto one = event("Opera Café Ö", platform::oleFromCivil(2026, 3, 5), platform::oleFromCivil(2026, 3, 5));
    one.Memo = "Bring tickets";
    Bps3_AddEvent(one, pct);
    pct = 90;
    auto three = event("Festival", platform::oleFromCivil(2026, 3, 10), platform::oleFromCivil(2026, 3, 12));
    Bps3_AddEvent(three, pct);
  };
  ASSERT_TRUE(Bps3_psion3Handler());
  EXPECT_EQ(commits_, 1);
  EXPECT_EQ(view_.progress, (std::vector<int16_t>{40, 90}));

  const std::string file = deviceFile();
  EXPECT_EQ(file, readFile(home() / "Psi3.agn"));  // the PC copy stays
  // é is code page 850's byte 130, Ö stays Windows-1252's byte 214.
  EXPECT_NE(file.find("Opera Caf\x82 \xD6"), std::string::npos);
  EXPECT_NE(file.find("Bring tickets."), std::string::npos);
  auto recs = records(file);
  int untimed = 0, repeats = 0;
  for (const auto& r : recs) {
    untimed += r.type == 2;
    repeats += r.type == 5;
  }
  EXPECT_EQ(untimed, 2);
  EXPECT_EQ(repeats, 1);  // only the three-day event repeats
}

TEST_F(Series3Test, DeleteFindsTheConvertedTitle) {
  connect();
  Bps3_SetAgendaFile("C:\\Agenda\\Diary.agn");
  const double day = platform::oleFromCivil(2026, 4, 1);
  Bps3().writePass = [&] {
    int16_t pct = 50;
    auto r = event("Musée été", day, day);
    Bps3_AddEvent(r, pct);
  };
  ASSERT_TRUE(Bps3_psion3Handler());
  Bps3().writePass = [&] {
    int16_t pct = 100;
    RelayEventRecord r;
    r.StartDate = day;
    r.Title = "Musée été";
    Bps3_DelEvent(r, pct);
  };
  ASSERT_TRUE(Bps3_psion3Handler());
  auto recs = records(deviceFile());
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].type, 0);  // marked deleted
}

TEST_F(Series3Test, SpecialCharGivesCodePage850Bytes) {
  // The Windows-1252 character whose byte is the code page 850 code.
  EXPECT_EQ(Bps3_SpecialChar("é"), "\u201A");  // 130
  EXPECT_EQ(Bps3_SpecialChar("ü"), "\u0081");  // 129, undefined in Windows-1252
  EXPECT_EQ(Bps3_SpecialChar("À"), "\u00B7");  // 183
  EXPECT_EQ(Bps3_SpecialChar("Ö å ø x"), "Ö å ø x");
}

TEST(Series3Note, CompactLayout) {
  RelayEventRecord r;
  r.URL = "example.org";
  EXPECT_EQ(Bps3_NoteText(r), "\r\nWebsite: http://example.org");
  r = {};
  r.Memo = "M";
  r.TelCountry = "44";
  r.TelPrefix = "20";
  r.Tel = "123";
  r.OnSale = platform::oleFromCivil(2026, 1, 2);
  r.MemoLong = "Long";
  EXPECT_EQ(Bps3_NoteText(r), "M.\r\n Tel: +44 (20)123\r\nTickets on sale: 02/01/2026\r\nLong");
  r = {};
  r.TelCountry = "44";
  EXPECT_EQ(Bps3_NoteText(r), "");
}

TEST_F(Series3Test, MissingDeviceFileFailsWithoutWritingBack) {
  connect();
  Bps3_SetAgendaFile("C:\\Agenda\\Missing.agn");
  bool wrote = false;
  Bps3().writePass = [&] { wrote = true; };
  EXPECT_FALSE(Bps3_psion3Handler());
  EXPECT_FALSE(wrote);
  EXPECT_EQ(commits_, 0);
  EXPECT_EQ(Bps3().stateCode, kPsiFailed);
  EXPECT_EQ(messages_, (std::vector<std::string>{"Error : couldn't find C:\\Agenda\\Missing.agn"}));
}

TEST_F(Series3Test, FileInUseOnTheDeviceIsTold) {
  connect();
  writeFile(psi::deviceFolder() / "C" / "Agenda" / "Diary.agn.inuse", "");
  Bps3_SetAgendaFile("C:\\Agenda\\Diary.agn");
  EXPECT_FALSE(Bps3_psion3Handler());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0],
            "Error : File C:\\Agenda\\Diary.agn is in use. Please ensure the file is closed before clicking OK to "
            "continue");
}

// A fake clock that moves on by a step at every reading.
struct StepClock {
  double now;
  double step;
  double operator()() {
    double t = now;
    now += step;
    if (now >= 86400) now -= 86400;
    return t;
  }
};

TEST_F(Series3Test, StalledCopyEndsAfterTheLimitAcrossMidnight) {
  connect();
  Bps3_SetAgendaFile("C:\\Agenda\\Diary.agn");
  std::dynamic_pointer_cast<psi::PsiWinEngine>(Bps3().engine)->holdCopies(true);
  auto clock = std::make_shared<StepClock>(StepClock{86400 - 100, 10});
  int readings = 0;
  Bps3().timer = [clock, &readings] {
    ++readings;
    return (*clock)();
  };
  EXPECT_FALSE(Bps3_psion3Handler());
  EXPECT_TRUE(messages_.empty());  // no message of its own
  EXPECT_GT(readings, 40);         // it waited the full 400 s past midnight
  EXPECT_LT(readings, 45);
}

TEST_F(Series3Test, StalledCopyBackKeepsTheProfile) {
  connect();
  Bps3_SetAgendaFile("C:\\Agenda\\Diary.agn");
  auto clock = std::make_shared<StepClock>(StepClock{1000, 5});
  Bps3().timer = [clock] { return (*clock)(); };
  Bps3().writePass = [] {
    std::dynamic_pointer_cast<psi::PsiWinEngine>(Bps3().engine)->holdCopies(true);
    int16_t p = 1;
    auto r = event("Late", platform::oleFromCivil(2026, 5, 1), platform::oleFromCivil(2026, 5, 1));
    Bps3_AddEvent(r, p);
  };
  EXPECT_FALSE(Bps3_psion3Handler());
  EXPECT_EQ(commits_, 0);
  EXPECT_EQ(deviceFile(), kEmptyAgenda);                   // the device is unchanged
  EXPECT_NE(readFile(home() / "Psi3.agn"), kEmptyAgenda);  // the PC copy holds the entry
}

TEST_F(Series3Test, NoDeviceTimesOutTheConnection) {
  fs::remove_all(psi::deviceFolder());
  connect();
  EXPECT_EQ(messages_, (std::vector<std::string>{"PsiWinEng OnConnect timed out - please check the connections"}));
  EXPECT_EQ(Bps3().stateCode, kPsiFailed);
}

TEST_F(Series3Test, CopyCodesAsTheEngineReportsThem) {
  connect();
  struct Case {
    int32_t code;
    int32_t stateAfter;
    const char* message;
  };
  const Case cases[] = {{0, kPsiCopyDone, nullptr},
                        {183, kPsiCopyDone, nullptr},
                        {2, kPsiFailed, "Error : couldn't find C:\\X.agn"},
                        {5, kPsiFailed, "Problem copying file : error #5"}};
  Bps3().messagePath = "C:\\X.agn";
  for (const auto& c : cases) {
    messages_.clear();
    Bps3().stateCode = kPsiCopyAwaited;
    Bps3_EngineEvent(psi::OnCopyDone, c.code);
    EXPECT_EQ(Bps3().stateCode, c.stateAfter) << c.code;
    EXPECT_EQ(messages_.size(), c.message ? 1u : 0u) << c.code;
    if (c.message && !messages_.empty()) {
      EXPECT_EQ(messages_[0], c.message);
    }
  }
}

TEST_F(Series3Test, WriterErrorsEndTheProgram) {
  // No Quoll control: the add reports under its own name and the program ends.
  int16_t p = 0;
  auto r = event("X", platform::oleFromCivil(2026, 1, 1), platform::oleFromCivil(2026, 1, 1));
  EXPECT_THROW(Bps3_AddEvent(r, p), ProgramEnded);
}

}  // namespace
}  // namespace pellary

namespace pellary {
namespace {

// The copy wait's clock never steps back within a day: a step back reads as a
// whole day gone by and the copy as stalled. Watched across one second change.
TEST(Series3Clock, DoesNotStepBackAtASecondChange) {
  resetBps3();
  const auto timer = Bps3().timer;
  ASSERT_TRUE(timer);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  double last = timer();
  bool crossed = false;
  while (std::chrono::steady_clock::now() < until && !crossed) {
    const double now = timer();
    if (now < last && last - now < 43200) FAIL() << "stepped back from " << last << " to " << now;
    crossed = std::floor(now) != std::floor(last);
    last = now;
  }
  EXPECT_TRUE(crossed);
  resetBps3();
}

}  // namespace
}  // namespace pellary
