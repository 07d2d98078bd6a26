#include "quoll/agenda_file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>

#include <csignal>
#include <fstream>
#include <vector>

#include "agenda_bytes.h"
#include "platform/errors.h"
#include "support/fixtures.h"

namespace pellary::quoll {
namespace {

using namespace pellary::quoll::testing;
using pellary::testing::readFile;
using pellary::testing::TempDir;
using pellary::testing::writeFile;

class AgendaFileTest : public ::testing::Test {
 protected:
  std::filesystem::path path() const { return dir_.path() / "Psi3.agn"; }
  void write(const std::string& bytes) { writeFile(path(), bytes); }
  std::string bytes() const { return readFile(path()); }
  void open() { ASSERT_EQ(file_.OpenFile(path()), 0); }

  struct Seen {
    int type;
    uint16_t length;
    std::string text;
    bool repeatFound;
    std::string memo;
  };
  std::vector<Seen> walk() {
    std::vector<Seen> seen;
    while (file_.ReadNextEntry() == 0) {
      seen.push_back(
          {file_.recordType(), file_.recordLength(), file_.entry().text, file_.repeat().found, file_.entry().memo});
      if (seen.size() > 10000) break;
    }
    return seen;
  }

  TempDir dir_;
  AgendaFile file_;
};

// ---- appends, byte for byte ----

TEST_F(AgendaFileTest, UntimedSixLetterEntryOnSecondJanuary1970) {
  write(fileHeader());
  open();
  file_.AppendEntry(2, 1, 1970, "Dental", "", AgendaFile::kNoRepeat, 0);
  file_.CloseFile();
  EXPECT_EQ(bytes(), fileHeader() + hex("0E 20  01 00  FF FF  1B  20  00  06") + "Dental");
}

struct AppendCase {
  const char* name;
  bool timed;
  int day, month, year, sh, sm, eh, em;
  const char* text;
  const char* memo;
  int32_t hasRepeat, days;
  std::string expected;  // what follows the 20-byte header
};

void PrintTo(const AppendCase& c, std::ostream* os) { *os << c.name; }

class AgendaAppend : public AgendaFileTest, public ::testing::WithParamInterface<AppendCase> {};

TEST_P(AgendaAppend, WritesExactBytes) {
  const auto& c = GetParam();
  write(fileHeader());
  open();
  if (c.timed)
    file_.AppendEntry(c.day, c.month, c.year, c.sh, c.sm, c.eh, c.em, c.text, c.memo, c.hasRepeat, c.days);
  else
    file_.AppendEntry(c.day, c.month, c.year, c.text, c.memo, c.hasRepeat, c.days);
  file_.CloseFile();
  EXPECT_EQ(bytes(), fileHeader() + c.expected);
}

const std::string kMemoA = hex("14 00  0E 40  06 00  00 00  19 22 00 00 08 00 00 00  61 00 0A 62  05 00  42 54  4E 4E");

INSTANTIATE_TEST_SUITE_P(
    Cases, AgendaAppend,
    ::testing::Values(
        AppendCase{"TimedNinetyMinutes", true, 2, 1, 1970, 9, 30, 11, 0, "Dental", "", -1, 0,
                   hex("10 10  01 00  3A 02  1B 20  5A 00  00 06") + "Dental"},
        AppendCase{"TimedEndBeforeStartHasNoDuration", true, 2, 1, 1970, 9, 30, 9, 0, "Dental", "", -1, 0,
                   hex("10 10  01 00  3A 02  1B 20  00 00  00 06") + "Dental"},
        // Carriage return stored as NUL; line feed kept.
        AppendCase{"UntimedWithMemo", false, 2, 1, 1970, 0, 0, 0, 0, "Dental", "a\r\nb", -1, 0,
                   hex("28 20  01 00  FF FF  0B 20  00 06") + "Dental" + kMemoA},
        // hasRepeat 0 still asks for a repeat; end day 10003, owner at offset 20.
        AppendCase{"UntimedRepeatThreeDaysOnDay10000", false, 19, 5, 1997, 0, 0, 0, 0, "Fair", "", 0, 3,
                   hex("0C 20  10 27  FF FF  1A 20  00 04") + "Fair" + hex("09 50  00 00  13 27  02  14 00 00 00")},
        AppendCase{"RepeatOfZeroExtraDaysEndsOnItsOwnDay", false, 2, 1, 1970, 0, 0, 0, 0, "Fair", "", 1, 0,
                   hex("0C 20  01 00  FF FF  1A 20  00 04") + "Fair" + hex("09 50  00 00  01 00  02  14 00 00 00")},
        AppendCase{"TimedWithMemoAndRepeat", true, 2, 1, 1970, 23, 0, 23, 30, "X", "M", 1, 2,
                   hex("22 10  01 00  64 05  0A 20  1E 00  00 01  58") +
                       hex("11 00  0B 40  06 00  00 00  19 22 00 00 08 00 00 00  4D  02 00  42 54  4E 4E") +
                       hex("09 50  00 00  03 00  01  14 00 00 00")},
        // A repeat that would end before it starts is left out.
        AppendCase{"NegativeRepeatCountWritesNoRepeat", false, 2, 1, 1970, 0, 0, 0, 0, "Fair", "", 1, -2,
                   hex("0C 20  01 00  FF FF  1B 20  00 04") + "Fair"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AgendaFileTest, AppendsGoAtTheEndAndRepeatsNameTheirEntry) {
  const std::string existing = fileHeader() + untimed(5, "Old");
  write(existing);
  open();
  file_.AppendEntry(3, 1, 1970, "A", "", 0, 1);
  file_.AppendEntry(4, 1, 1970, "B", "", 0, 1);
  file_.CloseFile();
  const uint32_t first = uint32_t(existing.size());
  const uint32_t second = first + 2 + 9 + 2 + 9;
  EXPECT_EQ(bytes(), existing + untimed(2, "A", true) + repeatRecord(0, 0, 3, 2, "", first) + untimed(3, "B", true) +
                         repeatRecord(0, 0, 4, 2, "", second));
}

// A file that grew after it was opened (the user added an entry on the PC
// copy meanwhile) keeps that entry: the append goes after it.
TEST_F(AgendaFileTest, AppendsGoAtTheFilesRealEnd) {
  const std::string existing = fileHeader() + untimed(5, "Old");
  write(existing);
  open();
  const std::string grown = untimed(6, "Theirs");
  {
    std::ofstream other(path(), std::ios::binary | std::ios::app);
    other << grown;
  }
  file_.AppendEntry(3, 1, 1970, "A", "", 0, 1);
  file_.CloseFile();
  const uint32_t first = uint32_t(existing.size() + grown.size());
  EXPECT_EQ(bytes(), existing + grown + untimed(2, "A", true) + repeatRecord(0, 0, 3, 2, "", first));
}

TEST_F(AgendaFileTest, OverlongTextsAreCutTheSameWayForAddAndDelete) {
  write(fileHeader());
  open();
  const std::string title(300, 'T');
  file_.AppendEntry(2, 1, 1970, title, std::string(4000, 'm'), AgendaFile::kNoRepeat, 0);
  const std::string after = bytes();
  ASSERT_EQ(after.size(), 20u + 2 + 8 + 255 + 22 + 3602);
  EXPECT_EQ(after.substr(20, 2), u16(0x2000 + 8 + 255 + 22 + 3602));
  EXPECT_EQ(uint8_t(after[20 + 2 + 7]), 255);
  EXPECT_EQ(file_.MarkAsDeleted(2, 1, 1970, title), 0);
  EXPECT_EQ(bytes(), after.substr(0, 20) + u16(8 + 255 + 22 + 3602) + after.substr(22));
}

TEST_F(AgendaFileTest, AppendRefusesWhatTheRecordCannotHold) {
  write(fileHeader());
  open();
  struct Bad {
    int d, m, y, sh, sm;
  } cases[] = {{31, 2, 2000, 9, 0}, {1, 13, 2000, 9, 0}, {0, 1, 2000, 9, 0},   {31, 12, 1969, 9, 0},
               {1, 1, 2200, 9, 0},  {1, 1, 2000, -1, 0}, {1, 1, 2000, 2000, 0}};
  for (const auto& c : cases) {
    try {
      file_.AppendEntry(c.d, c.m, c.y, c.sh, c.sm, 10, 0, "x", "", -1, 0);
      ADD_FAILURE() << c.d << "/" << c.m << "/" << c.y << " " << c.sh;
    } catch (const AppError& e) {
      EXPECT_EQ(e.number(), err::InvalidCall);
    }
  }
  EXPECT_THROW(file_.AppendEntry(30, 2, 2000, "x", "", -1, 0), AppError);
  EXPECT_EQ(bytes(), fileHeader());
}

// ---- marking deleted ----

TEST_F(AgendaFileTest, MarkingDuplicatesTakesThemInTurnThenFindsNothing) {
  const std::string a = untimed(1, "Dup"), b = untimed(1, "Other"), c = untimed(1, "Dup"), d = untimed(2, "Dup");
  const std::string original = fileHeader() + a + b + c + d;
  write(original);
  open();
  auto cleared = [](std::string rec) {
    rec[1] = char(uint8_t(rec[1]) & 0x0F);
    return rec;
  };
  EXPECT_EQ(file_.MarkAsDeleted(1, 1, 1970, "dup"), -1);  // letter case counts
  EXPECT_EQ(bytes(), original);
  EXPECT_EQ(file_.MarkAsDeleted(1, 1, 1970, "Dup"), -1);  // day 0; the entries lie on day 1
  EXPECT_EQ(bytes(), original);
  EXPECT_EQ(file_.MarkAsDeleted(2, 1, 1970, "Dup"), 0);
  EXPECT_EQ(bytes(), fileHeader() + cleared(a) + b + c + d);
  EXPECT_EQ(file_.MarkAsDeleted(2, 1, 1970, "Dup"), 0);
  EXPECT_EQ(bytes(), fileHeader() + cleared(a) + b + cleared(c) + d);
  EXPECT_EQ(file_.MarkAsDeleted(2, 1, 1970, "Dup"), -1);
  EXPECT_EQ(file_.MarkAsDeleted(31, 2, 1970, "Dup"), -1);  // no such day
  EXPECT_EQ(bytes(), fileHeader() + cleared(a) + b + cleared(c) + d);
}

TEST_F(AgendaFileTest, MarkingFindsWhatAnotherProgramAppendedSinceTheOpen) {
  const std::string a = untimed(1, "Mine");
  write(fileHeader() + a);
  open();
  ASSERT_EQ(file_.MarkAsDeleted(2, 1, 1970, "Nobody"), -1);  // the file is indexed now
  const std::string b = untimed(1, "Theirs");
  {
    std::ofstream out(path(), std::ios::binary | std::ios::app);
    out << b;
  }
  EXPECT_EQ(file_.MarkAsDeleted(2, 1, 1970, "Theirs"), 0);
  std::string cleared = b;
  cleared[1] = char(uint8_t(cleared[1]) & 0x0F);
  EXPECT_EQ(bytes(), fileHeader() + a + cleared);
}

TEST_F(AgendaFileTest, WalkStepsOverUnknownRecordsAndFindsRepeatsOfEveryKind) {
  // Offsets: header 20 bytes, then records in order.
  std::string f = fileHeader();
  const std::string unknown3 = record(3, "\1\2\3\4\5");
  f += unknown3;
  const auto e1 = uint32_t(f.size());
  f += timed(100, 600, 30, "Kind1", true);
  f += repeatRecord(1, 6, 200, 1, "\xAA\xBB", e1);
  f += record(15, "");
  // A repeat record ahead of its entry is found too.
  const uint32_t e2 = uint32_t(f.size()) + 2 + 13;
  f += repeatRecord(2, 0, 300, 2, "\x01\x02\x03\x04", e2);
  f += untimed(101, "Kind2", true);
  f += record(0, "gone");
  const auto e3 = uint32_t(f.size());
  f += untimed(102, "Kind3", true);
  f += repeatRecord(3, 1, 400, 2, "\x05\x06\x07\x08\x09", e3);
  const auto e0 = uint32_t(f.size());
  f += untimed(103, "Kind0", true);
  f += repeatRecord(0, 0, 500, 2, "", e0);
  write(f);
  open();

  struct Expect {
    int type;
    uint16_t length;
    const char* text;
    bool repeat;
    uint8_t kind;
    int interval;
    uint16_t endDay;
    std::string extra;
  };
  const std::vector<Expect> expected = {
      {3, 5, "", false, 0, 0, 0, ""},  {1, 15, "Kind1", true, 1, 7, 200, "\xAA\xBB"},
      {5, 11, "", false, 0, 0, 0, ""}, {15, 0, "", false, 0, 0, 0, ""},
      {5, 13, "", false, 0, 0, 0, ""}, {2, 13, "Kind2", true, 2, 1, 300, "\x01\x02\x03\x04"},
      {0, 4, "", false, 0, 0, 0, ""},  {2, 13, "Kind3", true, 3, 2, 400, "\x05\x06\x07\x08\x09"},
      {5, 14, "", false, 0, 0, 0, ""}, {2, 13, "Kind0", true, 0, 1, 500, ""},
      {5, 9, "", false, 0, 0, 0, ""},
  };
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(file_.ReadNextEntry(), 0);
    const auto& x = expected[i];
    EXPECT_EQ(file_.recordType(), x.type);
    EXPECT_EQ(file_.recordLength(), x.length);
    EXPECT_EQ(file_.entry().text, x.text);
    EXPECT_EQ(file_.repeat().found, x.repeat);
    if (x.repeat) {
      EXPECT_EQ(file_.repeat().kind, x.kind);
      EXPECT_EQ(file_.repeat().interval, x.interval);
      EXPECT_EQ(file_.repeat().endDay, x.endDay);
      EXPECT_EQ(file_.repeat().kindBytes, x.extra);
    }
  }
  EXPECT_EQ(file_.ReadNextEntry(), -1);

  // Marking clears both type nibbles and keeps both lengths. Day n is
  // 1 Jan 1970 + n: days 100 to 103 fall on 11 to 14 April 1970.
  const char* texts[] = {"Kind1", "Kind2", "Kind3", "Kind0"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(file_.MarkAsDeleted(11 + i, 4, 1970, texts[i]), 0) << texts[i];
  std::string after = bytes();
  ASSERT_EQ(after.size(), f.size());
  for (size_t i = 0; i < f.size(); ++i)
    if (after[i] != f[i]) {
      EXPECT_EQ(uint8_t(after[i]), uint8_t(f[i]) & 0x0F) << "offset " << i;
    }
  file_.CloseFile();
  open();
  const auto seen = walk();
  ASSERT_EQ(seen.size(), expected.size());
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].length, expected[i].length);
    if (expected[i].type == 1 || expected[i].type == 2 || expected[i].type == 5) {
      EXPECT_EQ(seen[i].type, 0) << i;
    }
  }
}

TEST_F(AgendaFileTest, AppendThenMarkInOneSessionSurvivesCloseAndReopen) {
  write(fileHeader() + untimed(1, "Keep"));
  open();
  file_.AppendEntry(10, 3, 2001, "Concert", "Tickets\r\nsoon", 1, 2);
  file_.AppendEntry(10, 3, 2001, 19, 30, 22, 0, "Concert", "", -1, 0);
  const auto before = walk();
  ASSERT_EQ(before.size(), 4u);
  EXPECT_EQ(before[1].memo, "Tickets\r\nsoon");
  EXPECT_TRUE(before[1].repeatFound);
  EXPECT_EQ(file_.MarkAsDeleted(10, 3, 2001, "Concert"), 0);
  file_.CloseFile();

  open();
  const auto seen = walk();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].type, 2);
  EXPECT_EQ(seen[0].text, "Keep");
  EXPECT_EQ(seen[1].type, 0);  // the untimed entry, marked
  EXPECT_EQ(seen[2].type, 0);  // its repeat record
  EXPECT_EQ(seen[2].length, 9);
  EXPECT_EQ(seen[3].type, 1);  // the timed one was appended later and is still there
  EXPECT_EQ(seen[3].text, "Concert");
  EXPECT_EQ(file_.MarkAsDeleted(10, 3, 2001, "Concert"), 0);
  EXPECT_EQ(file_.MarkAsDeleted(10, 3, 2001, "Concert"), -1);
}

// ---- damaged files ----

struct DamagedCase {
  const char* name;
  std::string file;
  int records;       // what a walk reads
  int day;           // a mark for this day of January 1970 ...
  const char* text;  // ... and this text
  int markResult;
  std::string afterMark;  // the file after that mark (empty: unchanged)
};

void PrintTo(const DamagedCase& c, std::ostream* os) { *os << c.name; }

class AgendaDamaged : public AgendaFileTest, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(AgendaDamaged, NeverCrashesNorWritesStrayBytes) {
  const auto& c = GetParam();
  write(c.file);
  open();
  EXPECT_EQ(int(walk().size()), c.records);
  EXPECT_EQ(file_.MarkAsDeleted(c.day, 1, 1970, c.text), c.markResult);
  EXPECT_EQ(bytes(), c.afterMark.empty() ? c.file : c.afterMark);
  // A second mark finds nothing more.
  file_.MarkAsDeleted(c.day, 1, 1970, c.text);
  file_.CloseFile();
  EXPECT_EQ(bytes(), c.afterMark.empty() ? c.file : c.afterMark);
}

std::string withType0(std::string file, size_t headerOffset) {
  file[headerOffset + 1] = char(uint8_t(file[headerOffset + 1]) & 0x0F);
  return file;
}

const std::string kGood = untimed(1, "Good");

INSTANTIATE_TEST_SUITE_P(
    Cases, AgendaDamaged,
    ::testing::Values(
        DamagedCase{"FirstRecordOffsetZero", fileHeader(0) + kGood, 0, 2, "Good", -1, ""},
        DamagedCase{"FirstRecordOffsetPastTheEnd", fileHeader(0xFFFF) + kGood, 0, 2, "Good", -1, ""},
        DamagedCase{"FirstRecordOffsetAtTheEnd", fileHeader(20 + uint32_t(kGood.size())) + kGood, 0, 2, "Good", -1, ""},
        DamagedCase{"FirstRecordInsideTheFileHeader", fileHeader(4) + kGood, 0, 2, "Good", -1, ""},
        DamagedCase{"FileShorterThanItsHeader", std::string("\x01\x02\x03", 3), 0, 2, "Good", -1, ""},
        DamagedCase{"EmptyFile", std::string(), 0, 2, "Good", -1, ""},
        DamagedCase{"TruncatedLastRecord", fileHeader() + kGood + untimed(1, "Cut").substr(0, 9), 1, 2, "Cut", -1, ""},
        DamagedCase{"HeaderCutInHalf", fileHeader() + kGood + "\x0E", 1, 2, "Good", 0,
                    withType0(fileHeader() + kGood + "\x0E", 20)},
        // The entry's text length claims more than its body holds.
        DamagedCase{"TextRunsPastItsRecord", fileHeader() + record(2, hex("01 00 FF FF 1B 20 00 32") + "ab") + kGood, 2,
                    2, "ab", -1, ""},
        DamagedCase{"TimedEntryTooShortForItsFields", fileHeader() + record(1, hex("01 00 3A 02 1B 20")) + kGood, 2, 2,
                    "Good", 0, withType0(fileHeader() + record(1, hex("01 00 3A 02 1B 20")) + kGood, 20 + 2 + 6)},
        // Flags ask for a repeat; the only type-5 record is too short to hold an owner offset.
        DamagedCase{"RepeatTooShortForItsOwnerOffset", fileHeader() + untimed(1, "Rep", true) + record(5, "\x14\x00"),
                    2, 2, "Rep", 0, withType0(fileHeader() + untimed(1, "Rep", true) + record(5, "\x14\x00"), 20)},
        DamagedCase{"RepeatClaimedButMissing", fileHeader() + untimed(1, "Rep", true) + kGood, 2, 2, "Rep", 0,
                    withType0(fileHeader() + untimed(1, "Rep", true) + kGood, 20)},
        // A repeat record naming another offset belongs to nothing here.
        DamagedCase{"RepeatOwnedByNoEntry", fileHeader() + untimed(1, "Rep", true) + repeatRecord(0, 0, 5, 2, "", 999),
                    2, 2, "Rep", 0,
                    withType0(fileHeader() + untimed(1, "Rep", true) + repeatRecord(0, 0, 5, 2, "", 999), 20)},
        // The repeat's length differs from what its kind implies: only its type is cleared.
        DamagedCase{
            "RepeatLongerThanItsKind", fileHeader() + untimed(1, "Rep", true) + repeatRecord(0, 0, 5, 2, "xyz", 20), 2,
            2, "Rep", 0,
            withType0(withType0(fileHeader() + untimed(1, "Rep", true) + repeatRecord(0, 0, 5, 2, "xyz", 20), 20),
                      20 + 13)}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- open, not open, failed writes ----

TEST_F(AgendaFileTest, OpenNeverCreatesAFile) {
  EXPECT_EQ(file_.OpenFile(path()), -1);
  EXPECT_EQ(file_.openError(), ENOENT);
  EXPECT_FALSE(std::filesystem::exists(path()));
  EXPECT_EQ(file_.OpenFile(dir_.path()), -1);
}

TEST_F(AgendaFileTest, WorkOnAFileThatIsNotOpenIsAnError) {
  auto number = [](auto&& body) -> long {
    try {
      body();
    } catch (const AppError& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(number([&] { file_.AppendEntry(2, 1, 1970, "x", "", -1, 0); }), errors::NotOpen);
  EXPECT_EQ(number([&] { file_.MarkAsDeleted(2, 1, 1970, "x"); }), errors::NotOpen);
  EXPECT_EQ(number([&] { file_.ReadNextEntry(); }), errors::NotOpen);
  EXPECT_EQ(number([&] { file_.CloseFile(); }), 0);
  write(fileHeader());
  open();
  file_.CloseFile();
  EXPECT_EQ(number([&] { file_.AppendEntry(2, 1, 1970, "x", "", -1, 0); }), errors::NotOpen);
  EXPECT_EQ(bytes(), fileHeader());
}

// The file may grow by only a few bytes: the append fails part way and the
// half-written record is cut off again.
TEST_F(AgendaFileTest, FailedAppendLeavesTheFileAsItWas) {
  const std::string original = fileHeader() + kGood;
  write(original);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {
      rlim_t(original.size() + 10), rlim_t(original.size() + 10)
    };
    setrlimit(RLIMIT_FSIZE, &limit);
    AgendaFile f;
    if (f.OpenFile(path()) != 0) _exit(2);
    try {
      f.AppendEntry(2, 1, 1970, "A title long enough to cross the limit", "", 1, 3);
    } catch (const AppError& e) {
      _exit(e.number() == errors::WriteFailed ? 0 : 3);
    }
    _exit(4);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(bytes(), original);
}

}  // namespace
}  // namespace pellary::quoll
