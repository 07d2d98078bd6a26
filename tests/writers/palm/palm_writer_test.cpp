#include "writers/palm/palm_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/oledate.h"
#include "platform/paths.h"
#include "reference/reference_tree.h"
#include "writers/palm/palm_fixture.h"

namespace pellary {
namespace {

using platform::oleFromCivil;
using standins::palm::DatebookEntry;
using standins::palm::datebookFile;
using standins::palm::readDatebook;
using testing::readFile;
namespace fs = std::filesystem;

RelayEventRecord entry(const std::string& title, double start, double end) {
  RelayEventRecord r;
  r.Title = title;
  r.StartDate = start;
  r.EndDate = end;
  return r;
}

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

TEST(PalmRecords, AddRecordIsLaidOutByteForByte) {
  RelayEventRecord r = entry("F\xC3\xA9", oleFromCivil(2000, 1, 1), oleFromCivil(2000, 1, 2));  // "Fé"
  r.Memo = "M";
  EXPECT_EQ(palmAddRecord(r), bytes({'a', 2, 0, 'F', 0xE9, 2,    0, 'M', '.', 0, 0,    0,   0,  //
                                     1,   0, 1, 0,   0xD0, 0x07, 2, 0,   1,   0, 0xD0, 0x07}));
}

TEST(PalmRecords, DeleteRecordHasNoTextAndTheZeroEndDate) {
  RelayEventRecord r = entry("Ab", oleFromCivil(2001, 5, 3), 0);
  r.Memo = "ignored on a delete";
  std::string rec = palmDeleteRecord(r);
  EXPECT_EQ(rec, bytes({'d', 2, 0, 'A', 'b',  0,    0,  0, 0,  0, 0,  //
                        3,   0, 5, 0,   0xD1, 0x07, 30, 0, 12, 0, 0x6B, 0x07}));
  EXPECT_EQ(rec.size(), 21u + 2u);
}

TEST(PalmRecords, NoteTextHasOnlyTheFilledParts) {
  struct Case {
    const char* memo;
    const char* country;
    const char* prefix;
    const char* tel;
    const char* url;
    double onSale;
    const char* memoLong;
    const char* expected;
  } cases[] = {
      {"", "", "", "", "x.org", 0, "", "\r\nWebsite: http://x.org"},
      {"M", "44", "20", "", "", 0, "", "M."},  // no number, no telephone part
      {"M", "44", "20", "123", "", 0, "", "M.\r\n Tel: +44 (20)123"},
      {"", "", "20", "123", "", 0, "", "\r\n Tel: (20)123"},
      {"", "1", "", "555", "", 0, "", "\r\n Tel: +1 555"},
      {"", "", "", "", "", oleFromCivil(2001, 3, 5), "", "\r\nTickets on sale: 05/03/2001"},
      {"", "", "", "", "", 0, "Long", "\r\nLong"},
      {"", "", "", "", "", 0, "", ""},
      {"A", "", "", "9", "u", oleFromCivil(2002, 12, 31), "L",
       "A.\r\n Tel: 9\r\nWebsite: http://u\r\nTickets on sale: 31/12/2002\r\nL"},
  };
  for (const auto& c : cases) {
    RelayEventRecord r;
    r.Memo = c.memo;
    r.TelCountry = c.country;
    r.TelPrefix = c.prefix;
    r.Tel = c.tel;
    r.URL = c.url;
    r.OnSale = c.onSale;
    r.MemoLong = c.memoLong;
    EXPECT_EQ(palmNoteText(r), c.expected) << c.expected;
  }
}

class PalmWriter : public testing::PalmTest {
 protected:
  std::string exchangeBytes() { return readFile(home() / "Datefile.kest"); }
  // A write pass that relays the given adds and deletes.
  void relay(std::vector<RelayEventRecord> adds, std::vector<RelayEventRecord> deletes) {
    BpmWriter().writePass = [adds, deletes]() mutable {
      int16_t percent = 50;
      for (auto& d : deletes) Bpm_DeletePalmRecord(d, percent);
      for (auto& a : adds) Bpm_WritePalmRecord(a, percent);
    };
  }
};

TEST_F(PalmWriter, WriteThenDeleteRoundTripsThroughTheConduit) {
  RelayEventRecord fair = entry("Fair", oleFromCivil(2001, 5, 3), oleFromCivil(2001, 5, 4));
  fair.Memo = "Big";
  RelayEventRecord show = entry("Show", oleFromCivil(2001, 6, 1), oleFromCivil(2001, 6, 1));
  relay({fair, show}, {});
  Bpm_PalmUserID() = ann.id;
  ASSERT_TRUE(Bpm_PalmHandler(ann.id));
  EXPECT_EQ(exchangeBytes(), palmAddRecord(fair) + palmAddRecord(show));
  EXPECT_EQ(commits, 1);
  auto entries = readDatebook(datebookFile(ann));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], (DatebookEntry{3, 5, 2001, 4, 5, 2001, "Fair", "Big."}));
  // The backup box, then the close-the-desktop box.
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[0].text.find("A backup copy of the Datebook file has been created"), std::string::npos);
  EXPECT_EQ(messages[0].style, mb::Information);
  EXPECT_EQ(messages[1].style, mb::Exclamation);
  EXPECT_TRUE(fs::exists(standins::palm::userFolder(ann) / "Datebook" / "Datebook.kest"));

  // A later run deletes the entry as it was written (end date zero).
  RelayEventRecord gone = entry("Fair", fair.StartDate, 0);
  relay({}, {gone});
  ASSERT_TRUE(Bpm_PalmHandler(ann.id));
  EXPECT_EQ(exchangeBytes(), palmDeleteRecord(gone));
  entries = readDatebook(datebookFile(ann));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].title, "Show");
  EXPECT_TRUE(reports.empty());
}

TEST_F(PalmWriter, AnEmptyPassStillHandsAnEmptyFileOver) {
  relay({}, {});
  EXPECT_TRUE(Bpm_PalmHandler(ann.id));
  EXPECT_TRUE(fs::exists(home() / "Datefile.kest"));
  EXPECT_EQ(exchangeBytes(), "");
  EXPECT_EQ(commits, 1);
}

TEST_F(PalmWriter, AProgramFolderWithAccentsReachesTheConduit) {
  fs::path folder = root() / "Caf\xC3\xA9";
  fs::create_directories(folder);
  setenv("PELLARY_HOME", folder.c_str(), 1);
  relay({entry("X", oleFromCivil(2001, 1, 1), oleFromCivil(2001, 1, 1))}, {});
  EXPECT_TRUE(Bpm_PalmHandler(ann.id));
  EXPECT_TRUE(fs::exists(folder / "Datefile.kest"));
  EXPECT_EQ(readDatebook(datebookFile(ann)).size(), 1u);
}

TEST_F(PalmWriter, CancelAtTheMissingDateBookLeavesTheProfileAlone) {
  fs::remove(datebookFile(ann));
  relay({entry("X", oleFromCivil(2001, 1, 1), oleFromCivil(2001, 1, 1))}, {});
  answers = {mb::OK, mb::Cancel};  // OK tests again, Cancel gives up
  EXPECT_FALSE(Bpm_PalmHandler(ann.id));
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].style, mb::OKCancel | mb::Exclamation);
  EXPECT_EQ(commits, 0);
  EXPECT_FALSE(fs::exists(datebookFile(ann)));
  EXPECT_FALSE(exchangeBytes().empty());
}

TEST_F(PalmWriter, WithoutBackupAMissingDateBookIsCreatedByTheConduit) {
  fs::remove(datebookFile(ann));
  BpmWriter().backupChecked = [] { return false; };
  relay({entry("X", oleFromCivil(2001, 1, 1), oleFromCivil(2001, 1, 1))}, {});
  EXPECT_TRUE(Bpm_PalmHandler(ann.id));
  EXPECT_EQ(readDatebook(datebookFile(ann)).size(), 1u);
  EXPECT_EQ(messages.size(), 1u);  // only the close-the-desktop box
}

TEST_F(PalmWriter, SilentDatesClearTheFlagOnlyOnSuccess) {
  Bupd_UpdateRun() = true;
  Breg_WriteRegSettings("User", "PalmUserID", std::to_string(ann.id));
  relay({entry("X", oleFromCivil(2001, 1, 1), oleFromCivil(2001, 1, 1))}, {});
  Bint_DatesPending() = true;
  EXPECT_TRUE(Bpm_SilentDates());
  EXPECT_FALSE(Bint_DatesPending());
  EXPECT_TRUE(messages.empty());  // an update run asks nothing when the Date Book is there
  EXPECT_TRUE(fs::exists(standins::palm::userFolder(ann) / "Datebook" / "Datebook.kest"));

  // A stored user that is gone: the Date Book is not found, the user cancels.
  Breg_WriteRegSettings("User", "PalmUserID", "77");
  Bint_DatesPending() = true;
  answers = {mb::Cancel};
  EXPECT_FALSE(Bpm_SilentDates());
  EXPECT_TRUE(Bint_DatesPending());
  EXPECT_EQ(commits, 1);
}

// What an update run leaves of the exchange file: this run's records only
// (an earlier run's file is replaced, never appended to), kept in the program
// folder after the conduit has applied them, until the next Palm write.
TEST_F(PalmWriter, AnUpdateRunLeavesItsOwnExchangeFileBehind) {
  Bupd_UpdateRun() = true;
  Breg_WriteRegSettings("User", "PalmUserID", std::to_string(ann.id));
  testing::writeFile(home() / "DATEFILE.KEST", std::string(9000, 'a'));
  const RelayEventRecord x = entry("X", oleFromCivil(2001, 1, 1), oleFromCivil(2001, 1, 1));
  relay({x}, {});
  Bint_DatesPending() = true;
  ASSERT_TRUE(Bpm_SilentDates());
  EXPECT_EQ(readFile(paths::inProgramFolder("\\DateFile.kest")), palmAddRecord(x));
  size_t exchangeFiles = 0;
  for (const auto& e : fs::directory_iterator(home()))
    exchangeFiles += paths::equalsIgnoreCase(e.path().filename().string(), "datefile.kest");
  EXPECT_EQ(exchangeFiles, 1u) << "one exchange file, whatever its letter case";
  EXPECT_EQ(readDatebook(datebookFile(ann)).size(), 1u);
}

TEST_F(PalmWriter, SilentReferenceClearsItsFlag) {
  resetReferenceTree();
  Bint_Ref2Pending() = true;
  EXPECT_TRUE(Bpm_SilentReference());
  EXPECT_FALSE(Bint_Ref2Pending());
}

TEST_F(PalmWriter, UserIsSavedAndLoaded) {
  Bpm_GetUserIDFromRegistry();
  EXPECT_EQ(Bpm_PalmUserID(), 0);
  Bpm_PalmUserID() = 123456;
  Bpm_SavePalmUserID();
  EXPECT_EQ(Breg_GetRegSetting("User", "PalmUserID"), "123456");
  Bpm_PalmUserID() = 0;
  Bpm_GetUserIDFromRegistry();
  EXPECT_EQ(Bpm_PalmUserID(), 123456);

  Breg_WriteRegSettings("User", "PalmUserID", "abc");
  EXPECT_THROW(Bpm_GetUserIDFromRegistry(), ProgramEnded);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].number, err::TypeMismatch);
  EXPECT_EQ(reports[0].location, "Bpm_GetUserIDFromRegistry");
}

TEST_F(PalmWriter, FailuresAreReportedUnderTheirNames) {
  RelayEventRecord r = entry("X", 1, 1);
  int16_t percent = 0;
  EXPECT_THROW(Bpm_WritePalmRecord(r, percent), ProgramEnded);  // file not open
  Bpm_OpenPalmUpdateFile();
  r.Title.assign(32768, 'x');
  EXPECT_THROW(Bpm_WritePalmRecord(r, percent), ProgramEnded);
  r.Title = "X";
  r.MemoLong.assign(32767, 'y');  // with CR LF the text is too long
  EXPECT_THROW(Bpm_WritePalmRecord(r, percent), ProgramEnded);
  Bpm_ClosePalmUpdateFile();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].location, "Bpm_WritePalmRecord");
  EXPECT_EQ(reports[1].number, err::Overflow);
  EXPECT_EQ(reports[2].number, err::Overflow);
  EXPECT_EQ(exchangeBytes(), "");  // nothing half-written

  // A write pass that fails: reported by the handler, the file closed.
  BpmWriter().writePass = [] { raise(err::Internal); };
  EXPECT_THROW(Bpm_PalmHandler(ann.id), ProgramEnded);
  EXPECT_EQ(reports.back().location, "Bpm_PalmHandler");
  EXPECT_FALSE(BpmWriter().exchange);
}

TEST_F(PalmWriter, ProgressGoesToThePageOrThePortal) {
  std::vector<int16_t> seen;
  BpmWriter().setProgress = [&](int16_t p) { seen.push_back(p); };
  Bpm_OpenPalmUpdateFile();
  RelayEventRecord r = entry("X", 1, 1);
  int16_t percent = 40;
  Bpm_WritePalmRecord(r, percent);
  percent = 90;
  Bpm_DeletePalmRecord(r, percent);
  Bpm_ClosePalmUpdateFile();
  EXPECT_EQ(seen, (std::vector<int16_t>{40, 90}));
}

TEST_F(PalmWriter, PilotPathHoldsTheHotSyncFolderOnceHoweverOftenItIsSet) {
  const char* old = std::getenv("PATH");
  std::string saved = old ? old : "";
  std::string folder = Bpm_GetHotSyncDir();
  EXPECT_EQ(folder, standins::palm::desktopFolder().string() + "/");
  Bpm_SetPilotPath();
  Bpm_SetPilotPath();
  EXPECT_EQ(std::string(std::getenv("PATH")), saved + ":" + folder);
  setenv("PATH", saved.c_str(), 1);

  Breg_WriteToRegistry(HKEY_CURRENT_USER, standins::palm::kCoreKey, "HotSyncPath", "");
  EXPECT_THROW(Bpm_SetPilotPath(), ProgramEnded);
  EXPECT_EQ(reports.back().number, err::SubscriptOutOfRange);
  EXPECT_EQ(reports.back().location, "Bpm_SetPilotPath");
  EXPECT_EQ(std::string(std::getenv("PATH")), saved);
}

}  // namespace
}  // namespace pellary
