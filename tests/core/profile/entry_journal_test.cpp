#include "core/entry_journal.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <tuple>

#include "profile_fixture.h"

namespace pellary {
namespace {

namespace fs = std::filesystem;
using testing::ProfileDb;

class EntryJournalTest : public ProfileDb {
 protected:
  fs::path bank() const { return Bsql_DataBank().path(); }
  std::vector<fs::path> journals() const {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(bank().parent_path()))
      if (e.path().filename().string().find("-entries-") != std::string::npos) out.push_back(e.path());
    return out;
  }
  // (ProfileID, EventID, Status, PlatMisc) of every row.
  std::vector<std::tuple<long, long, long, std::string>> rows() {
    std::vector<std::tuple<long, long, long, std::string>> out;
    dao::Recordset rs = Bsql_DataBank().openRecordset("SELECT * FROM ProfileEventList ORDER BY ProfileID, EventID");
    for (; !rs.eof(); rs.moveNext())
      out.emplace_back(rs["ProfileID"].value().toLong(), rs["EventID"].value().toLong(), rs["Status"].value().toLong(),
                       rs["PlatMisc"].value().toString());
    return out;
  }
  static EntryJournal::Row row(int16_t profile, int32_t event, int16_t status, std::string platMisc = "") {
    EntryJournal::Row r;
    r.profileID = profile;
    r.eventID = event;
    r.status = status;
    r.catID = 10;
    r.dateUsed = 46000.5;
    r.auxDate = 46000.0 + 1.0 / 3;
    r.platMisc = std::move(platMisc);
    return r;
  }
};

TEST_F(EntryJournalTest, ARunKilledMidPassHasItsEntriesFoldedByTheNextLoad) {
  exec(
      "INSERT INTO ProfileEventList (ProfileID, EventID, CatID, Version, Status, AddStatus) VALUES (1, 5, 10, 1, 4, 0)");
  exec(
      "INSERT INTO ProfileEventList (ProfileID, EventID, CatID, Version, Status, AddStatus) VALUES (1, 6, 10, 1, 4, 0)");
  const pid_t child = fork();
  if (child == 0) {
    auto j = EntryJournal::create(bank());
    j->append(row(1, 7, 4, "id\twith\ttabs\\and\nlines"));
    j->append(row(1, 5, 0));       // its entry was deleted
    j->append(row(1, 6, 0x0204));  // written again
    j->append(row(2, 7, 4));
    // Killed while writing a line: the part written does not count.
    std::ofstream(journals().at(0), std::ios::app) << "E\t1\t8\t4";
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(journals().size(), 1u);

  foldEntryJournals(Bsql_DataBank());
  using Row = std::tuple<long, long, long, std::string>;
  EXPECT_EQ(rows(), (std::vector<Row>{{1, 6, 0x0204, ""}, {1, 7, 4, "id\twith\ttabs\\and\nlines"}, {2, 7, 4, ""}}));
  EXPECT_TRUE(journals().empty());
  // Dates come back exactly, whatever the locale they were written in.
  dao::Recordset dates = Bsql_DataBank().openRecordset("SELECT * FROM ProfileEventList WHERE EventID = 7");
  EXPECT_EQ(dates["DateUsed"].value().toDouble(), 46000.5);
  EXPECT_EQ(dates["AuxDate"].value().toDouble(), 46000.0 + 1.0 / 3);
}

TEST_F(EntryJournalTest, APassStillRunningKeepsItsJournalUntilItEndsAndACommitDiscardsIt) {
  auto j = EntryJournal::create(bank());
  j->append(row(1, 7, 4));
  foldEntryJournals(Bsql_DataBank());  // another program's load meanwhile
  EXPECT_TRUE(rows().empty());
  EXPECT_EQ(journals().size(), 1u);

  j->close();  // the pass is over; its commit failed
  foldEntryJournals(Bsql_DataBank());
  EXPECT_EQ(rows().size(), 1u);
  EXPECT_TRUE(journals().empty());

  auto committed = EntryJournal::create(bank());
  committed->append(row(1, 8, 4));
  committed->close();
  committed->discard();  // the profile's commit holds its rows
  foldEntryJournals(Bsql_DataBank());
  EXPECT_EQ(rows().size(), 1u);
  EXPECT_TRUE(journals().empty());
}

}  // namespace
}  // namespace pellary

namespace pellary {
namespace {

// Rows noted before a target's file changes count only once the file did
// change: replaced (another inode), grown, made; a file still as noted
// (the change never landed, or a failed append was cut back) drops them.
TEST_F(EntryJournalTest, MarkedRowsStandOnlyWhenTheirFileChanged) {
  const fs::path dir = bank().parent_path();
  const fs::path grown = dir / "grown", same = dir / "same", made = dir / "made", replaced = dir / "replaced";
  for (const fs::path& p : {grown, same, replaced}) std::ofstream(p) << "entries\n";
  {
    auto j = EntryJournal::create(bank());
    j->appendMarked(grown, {row(1, 1, 4)});
    j->appendMarked(same, {row(1, 2, 4), row(1, 3, 4)});
    j->appendMarked(made, {row(1, 4, 4)});
    j->appendMarked(replaced, {row(1, 5, 4)});
    j->append(row(1, 6, 4));  // a plain row stands whatever the files do
    j->close();
  }
  std::ofstream(grown, std::ios::app) << "one more\n";
  std::ofstream(made) << "new\n";
  {
    const fs::path other = dir / "replacement";
    std::ofstream(other) << "entries\n";  // the same size, another inode
    fs::rename(other, replaced);
  }
  std::vector<long> events;
  for (const auto& r : pendingEntryRows(bank())) events.push_back(r.eventID);
  EXPECT_EQ(events, (std::vector<long>{1, 4, 5, 6}));
}

// A row that cannot be written whole leaves the journal as it was, so the
// rows before it still count and nothing after a torn line is lost.
TEST_F(EntryJournalTest, AFailedAppendLeavesNoTornLine) {
  auto j = EntryJournal::create(bank());
  j->append(row(1, 1, 4));
  const fs::path file = journals().at(0);
  const auto size = fs::file_size(file);
  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit r { rlim_t(size + 10), rlim_t(size + 10) };
    setrlimit(RLIMIT_FSIZE, &r);
    try {
      j->append(row(1, 2, 4, std::string(200, 'x')));
      _exit(2);
    } catch (...) {
      _exit(fs::file_size(file) == size ? 0 : 3);
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  j->append(row(1, 3, 4));
  std::vector<long> events;
  j->close();
  for (const auto& r : pendingEntryRows(bank())) events.push_back(r.eventID);
  EXPECT_EQ(events, (std::vector<long>{1, 3}));
}

}  // namespace
}  // namespace pellary
