#include <gtest/gtest.h>

#include <tuple>

#include "core/databank.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "processor_fixture.h"
#include "support/stored_profile.h"

namespace pellary {
namespace {

using Strings = std::vector<std::string>;

class CentralWriter : public testing::ProcessorTest {};

TEST(ProgressPercent, RoundsHalfToEvenAndCapsAt100) {
  struct Case {
    int32_t done, total;
    int16_t expected;
  } cases[] = {{0, 4, 0},  {1, 8, 12}, {3, 8, 38},  {1, 200, 0}, {3, 200, 2},
               {1, 3, 33}, {2, 3, 67}, {4, 4, 100}, {9, 4, 100}, {1, 0, 100}};
  for (const Case& c : cases) EXPECT_EQ(progressPercent(c.done, c.total), c.expected) << c.done << "/" << c.total;
}

TEST(EntryIDString, SplitsAtTheFirstCaret) {
  EXPECT_EQ(mainEntryID("12^34^5"), "12");
  EXPECT_EQ(ticketsEntryID("12^34^5"), "34^5");
  EXPECT_EQ(mainEntryID("77"), "77");
  EXPECT_EQ(ticketsEntryID("77"), "");
  EXPECT_EQ(mainEntryID("^"), "");
}

TEST_F(CentralWriter, NewEventsArePreviewedThenWrittenWithTheOneDayRuleAndTickets) {
  // Tickets on (0x0040), one week span limit with "*" marks (0x0A01).
  cat(10, 0x0042);
  event(1, "One day", day(2027, 2, 1), day(2027, 2, 1), 1, 1, "Memo = 'Short', MemoLong = 'Long text'");
  event(2, "Festival", day(2027, 3, 1), day(2027, 3, 20));  // beyond the week: one day, "*"
  event(3, "Concert", day(2027, 4, 2), day(2027, 4, 4), 1, 1,
        "OnSale = " + num(day(2027, 3, 5)) + ", URL = 'x.org', Tel = '123'");  // span, with tickets
  event(4, "Minor", day(2027, 5, 1), day(2027, 5, 1), 1, 3);                   // priority 3 is above level 2
  event(5, "Early", day(2026, 12, 30), day(2027, 1, 2));                       // starts before the product
  link(1, 10);
  link(2, 10);
  link(3, 10);
  link(4, 10);
  link(5, 10);

  runPreview();
  EXPECT_EQ(previewTexts(),
            (Strings{"P0000005 Add Early", "P0000001 Add One day", "P0000002 Add *Festival", "P0000003 Add Concert"}));
  EXPECT_EQ(preview.rows[0].subItems[0], "01/01/2027");
  EXPECT_TRUE(preview.rows[0].checked);
  EXPECT_EQ(Bplp().Bplp_TotalCount, 4);
  EXPECT_TRUE(calls.empty());
  // The preview appends profile records but marks nothing written.
  EXPECT_EQ(profileOf(1).Status, 2);

  runWrite();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(titles(true), (Strings{"Early", "One day", "*Festival", "Concert", "Tickets: Concert"}));
  const RelayEventRecord& early = calls[0].record;
  EXPECT_EQ(early.StartDate, day(2027, 1, 1));
  EXPECT_EQ(early.EndDate, day(2027, 1, 1));
  EXPECT_EQ(early.Memo, "\r\nUntil 02/01/2027");
  const RelayEventRecord& one = calls[1].record;
  EXPECT_EQ(one.Memo, "Short");
  EXPECT_EQ(one.MemoLong, "");  // the category does not ask for long notes
  EXPECT_EQ(one.EndDate, one.StartDate);
  const RelayEventRecord& festival = calls[2].record;
  EXPECT_EQ(festival.StartDate, day(2027, 3, 1));
  EXPECT_EQ(festival.EndDate, day(2027, 3, 1));
  EXPECT_EQ(festival.Memo, "\r\nUntil 20/03/2027");
  const RelayEventRecord& concert = calls[3].record;
  EXPECT_EQ(concert.EndDate, day(2027, 4, 4));
  EXPECT_EQ(concert.URL, "x.org");
  EXPECT_EQ(concert.OnSale, day(2027, 3, 5));
  const RelayEventRecord& tickets = calls[4].record;
  EXPECT_EQ(tickets.StartDate, day(2027, 3, 5));
  EXPECT_EQ(tickets.EndDate, day(2027, 3, 5));  // one day, not up to the concert
  // Count before each add: 1/4, 2/4, 3/4, 4/4 (the tickets entry counts with its event).
  std::vector<int16_t> percents;
  for (const auto& c : calls) percents.push_back(c.percent);
  EXPECT_EQ(percents, (std::vector<int16_t>{25, 50, 75, 100, 100}));

  EXPECT_EQ(profileOf(1).Status, 0x0004);
  EXPECT_EQ(profileOf(2).Status, 0x0204);
  EXPECT_EQ(profileOf(3).Status, 0x0044);
  EXPECT_EQ(Bsda().platMisc(profileOf(3).PlatMisc), "^");
  EXPECT_EQ(profileOf(3).DateUsed, day(2027, 4, 2));
  EXPECT_EQ(profileOf(3).AuxDate, day(2027, 3, 5));
  EXPECT_EQ(profileOf(4).Status, 2);  // not admitted: untouched
  EXPECT_EQ(profileOf(1).CatID, 10);
  EXPECT_EQ(profileOf(1).Version, 1);
}

TEST_F(CentralWriter, PriorityLevelAndTheUsersChoice) {
  // 0x0080: key events only (level 1); 0x0100: all (level 3).
  cat(10, 0x0082);
  cat(11, 0x0102);
  event(1, "Level 2 in key-only", day(2027, 2, 1), day(2027, 2, 1), 1, 2);
  event(2, "Level 3 in all", day(2027, 2, 2), day(2027, 2, 2), 1, 3);
  event(3, "Chosen by the user", day(2027, 2, 3), day(2027, 2, 3), 1, 3);
  link(1, 10);
  link(2, 11);
  link(3, 10);
  written(3, 10, 0x4002, 0, 0);
  runPreview();
  EXPECT_EQ(previewTexts(), (Strings{"P0000002 Add Level 3 in all", "P0000003 Add Chosen by the user"}));
}

TEST_F(CentralWriter, AnEventInTwoNewCategoriesIsWrittenOnce) {
  cat(10, 2);
  cat(11, 2);
  event(1, "Shared", day(2027, 2, 1), day(2027, 2, 1));
  link(1, 10);
  link(1, 11);
  runPreview();
  EXPECT_EQ(preview.rows.size(), 1u);
  EXPECT_EQ(Bplp().Bplp_TotalCount, 2);  // both rows count
  runWrite();
  EXPECT_EQ(titles(true), (Strings{"Shared"}));
}

TEST_F(CentralWriter, TargetIDsAreJoinedWithACaret) {
  nextID = "id";
  cat(10, 0x0042);
  event(1, "Show", day(2027, 2, 10), day(2027, 2, 10), 1, 1, "OnSale = " + num(day(2027, 2, 1)));
  link(1, 10);
  previewAndWrite();
  EXPECT_EQ(Bsda().platMisc(profileOf(1).PlatMisc), "id1^id2");
}

TEST_F(CentralWriter, RemovedCategoriesDeleteWhatWasWritten) {
  cat(20, 8);
  event(1, "Gone", day(2027, 2, 1), day(2027, 2, 1), 1, 1, "Status = 0");
  event(1, "Gone, newer", day(2027, 2, 1), day(2027, 2, 1), 2);
  event(2, "Never written", day(2027, 2, 2), day(2027, 2, 2));
  event(3, "Tickets too", day(2027, 2, 3), day(2027, 2, 3));
  event(4, "Other category", day(2027, 2, 4), day(2027, 2, 4));
  for (long e : {1, 2, 3, 4}) link(e, 20);
  written(1, 20, 4, 1, day(2027, 2, 1), "A");
  written(2, 20, 4, 0, 0);
  written(3, 20, 0x0844 | 0x0200, 1, day(2027, 2, 3), "M^T", day(2027, 1, 20));
  written(4, 30, 4, 1, day(2027, 2, 4));

  runPreview();
  EXPECT_EQ(previewTexts(), (Strings{"P0000001 Remove Gone", "P0000003 Remove *Cancelled: Tickets too"}));
  EXPECT_EQ(Bplp().Bplp_TotalCount, 2);

  runWrite();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(titles(false), (Strings{"Gone", "*Cancelled: Tickets too", "Tickets: *Cancelled: Tickets too"}));
  EXPECT_EQ(calls[0].record.EntryID, "A");
  EXPECT_EQ(calls[0].record.StartDate, day(2027, 2, 1));
  EXPECT_EQ(calls[0].record.EndDate, 0);
  EXPECT_EQ(calls[1].record.EntryID, "M");
  EXPECT_EQ(calls[2].record.EntryID, "T");
  EXPECT_EQ(calls[2].record.StartDate, day(2027, 1, 20));
  // The percentage lags one entry behind in the delete stage.
  EXPECT_EQ(calls[0].percent, 0);
  EXPECT_EQ(calls[1].percent, 50);
  EXPECT_EQ(profileOf(1).Status, 0);
  EXPECT_EQ(profileOf(2).Status, 4);
  EXPECT_EQ(profileOf(4).Status, 4);
}

TEST_F(CentralWriter, KeptCategoriesChangeRemoveAndAdd) {
  cat(30, 4, 0x0401);  // one day span limit, no "*" marks
  event(1, "Changed", day(2027, 2, 1), day(2027, 2, 1), 1, 1, "Status = 0");
  event(1, "Changed v2", day(2027, 2, 2), day(2027, 2, 2), 2, 1, "Action = 3");
  event(2, "Now minor", day(2027, 2, 3), day(2027, 2, 3), 1, 3);
  event(3, "New in kept", day(2027, 2, 4), day(2027, 2, 4), 1, 1, "Action = 1");
  event(4, "Unchanged", day(2027, 2, 5), day(2027, 2, 5));
  event(5, "Was starred", day(2027, 3, 1), day(2027, 3, 10));
  event(6, "Taken out", day(2027, 2, 6), day(2027, 2, 6));
  for (long e : {1, 2, 3, 4, 5, 6}) link(e, 30);
  written(1, 30, 4, 1, day(2027, 2, 1));
  written(2, 30, 4, 1, day(2027, 2, 3));
  written(4, 30, 4, 1, day(2027, 2, 5));
  written(5, 30, 0x0204, 1, day(2027, 3, 1));
  written(6, 30, 0x0009, 1, day(2027, 2, 6));

  runPreview();
  // The change is listed once; the retired version's row changes nothing.
  EXPECT_EQ(previewTexts(), (Strings{"P0000001 Change Updated: Changed v2", "P0000002 Remove Now minor",
                                     "P0000003 Add Cancelled: New in kept", "P0000006 Remove Taken out",
                                     "P0000005 Change Was starred"}));
  EXPECT_EQ(Bplp().Bplp_TotalCount, 5);

  runWrite();
  EXPECT_EQ(titles(false), (Strings{"Changed", "Now minor", "Taken out", "*Was starred"}));
  EXPECT_EQ(titles(true), (Strings{"Updated: Changed v2", "Cancelled: New in kept", "Was starred"}));
  EXPECT_EQ(profileOf(1).Status, 0x2004);
  EXPECT_EQ(profileOf(1).Version, 2);
  EXPECT_EQ(profileOf(1).DateUsed, day(2027, 2, 2));
  EXPECT_EQ(profileOf(2).Status, 0);
  EXPECT_EQ(profileOf(3).Status, 0x0804);  // written with its prefix
  EXPECT_EQ(profileOf(4).Status, 4);
  EXPECT_EQ(profileOf(6).Status, 1);  // taken out by the user: back to 1
  // Written without "*" now, so it is not marked as starred any more...
  EXPECT_EQ(profileOf(5).Status, 0x0004);

  // ...and the next run leaves everything as it stands.
  previewAndWrite();
  EXPECT_TRUE(preview.rows.empty());
  EXPECT_TRUE(calls.empty());
}

TEST_F(CentralWriter, AnUpdateOutsideTheWindowOnlyRemoves) {
  cat(30, 4);
  // The retired version lies inside the window and comes last; it must not
  // bring the entry back.
  event(1, "Old", day(2027, 2, 1), day(2027, 2, 1), 1, 1, "Status = 0");
  event(1, "Moved away", day(2026, 6, 1), day(2026, 6, 1), 2);
  link(1, 30);
  written(1, 30, 4, 1, day(2027, 2, 1));
  runPreview();
  EXPECT_EQ(previewTexts(), (Strings{"P0000001 Remove Old"}));
  runWrite();
  EXPECT_EQ(titles(false), (Strings{"Old"}));
  EXPECT_TRUE(titles(true).empty());
  EXPECT_EQ(profileOf(1).Status, 0);
  previewAndWrite();
  EXPECT_TRUE(calls.empty());
}

TEST_F(CentralWriter, AChangeThatIsNoLongerAdmittedRemovesWithoutAPreviewRow) {
  cat(30, 4);
  event(1, "Old", day(2027, 2, 1), day(2027, 2, 1), 1, 1, "Status = 0");
  event(1, "New", day(2027, 2, 1), day(2027, 2, 1), 2);
  link(1, 30);
  written(1, 30, 0x000C, 1, day(2027, 2, 1));  // standing, and to be removed
  runPreview();
  EXPECT_TRUE(preview.rows.empty());
  runWrite();
  EXPECT_EQ(titles(false), (Strings{"Old"}));
  EXPECT_TRUE(titles(true).empty());
  EXPECT_EQ(profileOf(1).Status, 0);
}

TEST_F(CentralWriter, AKeptRowOfAnEventWrittenUnderAnotherCategoryIsSkipped) {
  cat(30, 4);
  cat(31, 4);
  event(1, "Twice", day(2027, 2, 1), day(2027, 2, 1), 2);
  link(1, 30);
  link(1, 31);
  written(1, 31, 4, 1, day(2027, 2, 1));
  runPreview();
  // Only the row of category 31 counts: a change.
  EXPECT_EQ(previewTexts(), (Strings{"P0000001 Change Twice"}));
  EXPECT_EQ(Bplp().Bplp_TotalCount, 1);
}

TEST_F(CentralWriter, PublicHolidaysNameTheChosenCountries) {
  addTertiary(3, 1, 1, 1, 40, "Spain", 1);
  addTertiary(3, 1, 1, 2, 41, "France", 1);
  cat(40, 2, 0x0A01, 1);
  cat(41, 2, 0x0A01, 1);
  event(50, "May Day", day(2027, 5, 1), day(2027, 5, 1), 1, 1, "Memo = 'Banks closed'");
  link(50, 40);
  link(50, 41);

  runPreview();
  EXPECT_EQ(previewTexts(), (Strings{"P0000050 Add May Day"}));
  EXPECT_EQ(Bplp().Bplp_TotalCount, 2);  // both links count
  runWrite();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].record.Memo, "Banks closed\r\nPublic holiday in: France, Spain");
  EXPECT_EQ(profileOf(50).Status, 4);
  EXPECT_EQ(profileOf(50).CatID, 0);
  EXPECT_EQ(Bsda().holidayList(profileOf(50).PubHol), "41,40");

  // Spain is taken out: the entry is written again naming France alone.
  Bsda().cat(catPosition(40)).Status = 8;
  Bsda().cat(catPosition(41)).Status = 4;
  previewAndWrite();
  EXPECT_EQ(titles(false), (Strings{"May Day"}));
  ASSERT_EQ(titles(true), (Strings{"May Day"}));
  EXPECT_EQ(calls[1].record.Memo, "Banks closed\r\nPublic holiday in: France");
  EXPECT_EQ(Bsda().holidayList(profileOf(50).PubHol), "41");

  // France too: a removal only.
  Bsda().cat(catPosition(41)).Status = 8;
  previewAndWrite();
  EXPECT_EQ(titles(false), (Strings{"May Day"}));
  EXPECT_TRUE(titles(true).empty());
  EXPECT_EQ(profileOf(50).Status, 0);
}

TEST_F(CentralWriter, AnErrorIsReportedWithTheStage) {
  cat(10, 2);
  event(1, "E", day(2027, 2, 1), day(2027, 2, 1));
  link(1, 10);
  Bsql_SetFinalRecordSelection();
  std::string location, extra;
  setReportHandler([&](long, std::string_view l, std::string_view x) {
    location = l;
    extra = x;
  });
  Bsql().Bsql_rsWrite.close();
  EXPECT_THROW(Bplp_CentralWriter(false), ProgramEnded);
  EXPECT_EQ(location, "Bplp_CentralWriter");
  EXPECT_EQ(extra, "Writing");

  // A writer's failure is reported by the relay under its own name.
  Bsql_SetFinalRecordSelection();
  Bplp().writeOverride = [](RelayEventRecord&, int16_t&) -> std::string { raise(err::Overflow); };
  EXPECT_THROW(Bplp_CentralWriter(false), ProgramEnded);
  EXPECT_EQ(location, "Bplp_WriteRelay");
}

// The shared event of two chosen categories, written under the first: when
// that one goes, the entry is written again for the other and stands for it.
TEST_F(CentralWriter, AnEntryWrittenAgainTakesTheRowsCategory) {
  cat(10, 8);
  cat(11, 4);
  event(1, "Shared", day(2027, 2, 1), day(2027, 2, 1));
  link(1, 10);
  link(1, 11);
  written(1, 10, 4, 1, day(2027, 2, 1));
  runWrite();
  EXPECT_EQ(titles(false), (Strings{"Shared"}));
  EXPECT_EQ(titles(true), (Strings{"Shared"}));
  EXPECT_EQ(profileOf(1).Status & 0x0004, 0x0004);
  EXPECT_EQ(profileOf(1).CatID, 11);
}

// Rows of ProfileEventList as (EventID, CatID, Status), AddStatus checked 0,
// read through a connection of their own: what a program started after a
// kill would find.
static std::vector<std::tuple<long, long, long>> storedEntries() {
  std::vector<std::tuple<long, long, long>> out;
  dao::Database other = dao::Database::open(Bsql_DataBank().path());
  for (const auto& [event, row] : testing::storedProfileEvents(other, 1)) {
    EXPECT_EQ(row.addStatus, 0);
    out.emplace_back(event, row.catID, row.status);
  }
  return out;
}

// A target that fails part way: what it took is stored, entry by entry, in
// the databank before the failure ends the run; the new category with it.
TEST_F(CentralWriter, EachEntryIsStoredAsItLandsOnTheTarget) {
  cat(10, 2);
  cat(20, 8);
  for (long e : {1, 2, 3, 4}) {
    event(e, "E" + std::to_string(e), day(2027, 2, int(e)), day(2027, 2, int(e)));
    link(e, 10);
  }
  event(5, "Old", day(2027, 1, 5), day(2027, 1, 5));
  link(5, 20);
  exec(
      "INSERT INTO ProfileEventList (ProfileID, EventID, CatID, Version, Status, AddStatus) VALUES (1, 5, 20, 1, 4, 0)");
  exec("INSERT INTO ProfileCatList (ProfileID, CatID, Status, AddStatus) VALUES (1, 20, 4, 0)");
  written(5, 20, 4, 1, day(2027, 1, 5));
  int adds = 0;
  auto write = Bplp().writeOverride;
  Bplp().writeOverride = [&](RelayEventRecord& r, int16_t& p) {
    if (++adds == 3) raise(30001, "refused");
    return write(r, p);
  };
  runPreview();
  EXPECT_THROW(runWrite(), ProgramEnded);
  using Row = std::tuple<long, long, long>;
  EXPECT_EQ(storedEntries(), (std::vector<Row>{{1, 10, 4}, {2, 10, 4}}));
  dao::Database other = dao::Database::open(Bsql_DataBank().path());
  dao::Recordset cats = other.openRecordset("SELECT * FROM ProfileCatList ORDER BY CatID");
  std::vector<std::pair<long, long>> stored;
  for (; !cats.eof(); cats.moveNext())
    stored.emplace_back(cats["CatID"].value().toLong(), cats["Status"].value().toLong());
  // Category 10 is chosen now; 20 keeps its row until the run's own commit.
  EXPECT_EQ(stored, (std::vector<std::pair<long, long>>{{10, 4}, {20, 4}}));
}

}  // namespace
}  // namespace pellary
