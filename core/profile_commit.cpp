#include "core/profile_commit.h"

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "core/databank.h"
#include "core/entry_journal.h"
#include "core/products.h"
#include "core/profile_lists.h"
#include "core/registry.h"
#include "core/screen_link.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/state_file.h"

namespace pellary {

namespace {

// Makes room for the lists' rows: the committed rows go, and rows an earlier
// commit left marked under way count as committed, as the two-phase replace
// (add marked, delete the old, unmark) leaves them. Inside the commit's
// transaction the lists' rows are then added as committed directly: the same
// rows, in the same order, without writing each twice.
void clearCommittedRows(dao::Database& db, const char* table) {
  const std::string t = std::string("\"") + table + "\"";
  const int16_t id = Bset().Bset_ProfileID;
  db.prepare("DELETE FROM " + t + " WHERE \"ProfileID\" = ?1 AND \"AddStatus\" = 0").bindInt(1, id).run();
  db.prepare("UPDATE " + t + " SET \"AddStatus\" = 0 WHERE \"ProfileID\" = ?1 AND \"AddStatus\" = 1")
      .bindInt(1, id)
      .run();
}

// One prepared insert per table, bound again for each row, of committed
// (AddStatus 0) rows. The values are stored as a dynaset stores them:
// integers, dates as day numbers, text as text.
class CommittedRows {
 public:
  CommittedRows(dao::Database& db, const std::string& table, std::initializer_list<const char*> columns)
      : insert_(db.prepare(sql(table, columns))) {}

  // The values after ProfileID, in the order of the columns.
  template <class... V>
  void add(const V&... values) {
    insert_.bindInt(1, Bset().Bset_ProfileID);
    int index = 2;
    (bind(index++, values), ...);
    insert_.run();
  }

 private:
  static std::string sql(const std::string& table, std::initializer_list<const char*> columns) {
    std::string names = "\"AddStatus\", \"ProfileID\"";
    std::string marks = "0, ?1";
    int index = 2;
    for (const char* c : columns) {
      names += std::string(", \"") + c + "\"";
      marks += ", ?" + std::to_string(index++);
    }
    return "INSERT INTO \"" + table + "\" (" + names + ") VALUES (" + marks + ")";
  }
  void bind(int index, double v) { insert_.bindDouble(index, v); }
  void bind(int index, const std::string& v) { insert_.bindText(index, v); }
  template <class I>
  requires std::is_integral_v<I>
  void bind(int index, I v) { insert_.bindInt(index, v); }

  dao::Statement insert_;
};

CommittedRows eventRows(dao::Database& db) {
  return {
      db, "ProfileEventList", {"AuxDate", "DateUsed", "Status", "Version", "CatID", "PlatMisc", "EventID", "PubHol"}};
}

void addEventRow(CommittedRows& rows, const ProfileEventRecord& r) {
  const ProfileLists& s = Bsda();
  rows.add(r.AuxDate, r.DateUsed, r.Status, r.Version, r.CatID, s.platMisc(r.PlatMisc), r.EventID,
           s.holidayList(r.PubHol));
}

CommittedRows categoryRows(dao::Database& db) {
  return {db, "ProfileCatList", {"CatID", "StartDate", "EndDate", "Duration", "CatSetting", "Status"}};
}

void addCategoryRow(CommittedRows& rows, const ProfileCatRecord& r, int16_t status) {
  rows.add(r.CatID, r.StartDate, r.EndDate, r.Duration, r.CatSetting, status);
}

void unloadEvents() {
  ProfileLists& s = Bsda();
  dao::Database& db = Bsql_DataBank();
  clearCommittedRows(db, "ProfileEventList");
  CommittedRows rows = eventRows(db);
  for (int32_t i = 1; i < s.Bsda_ProfileEventNext; ++i) {
    const ProfileEventRecord& r = s.Bsda_ProfileEventList[i];
    if (r.Status == 0) continue;
    addEventRow(rows, r);
    const int32_t cat = catPosition(r.CatID);
    if (cat != 0 && (r.Status & evstate::InProfile || r.Status & evstate::ChosenByHand))
      s.Bsda_ProfileCatList[cat].HasTargetEntries = 1;
  }
}

void unloadCategories() {
  ProfileLists& s = Bsda();
  dao::Database& db = Bsql_DataBank();
  clearCommittedRows(db, "ProfileCatList");
  CommittedRows rows = categoryRows(db);
  for (int32_t i = 1; i < s.Bsda_ProfileCatNext; ++i) {
    ProfileCatRecord& r = s.Bsda_ProfileCatList[i];
    if (r.Status & catstate::Removed)
      r.Status = catstate::NotSelected;
    else if (r.Status & catstate::Added)
      r.Status = static_cast<int16_t>((r.Status & catstate::OptionMask) | catstate::InProfile);
    if (r.HasTargetEntries == 1 || r.Status != 0) addCategoryRow(rows, r, r.Status);
  }
}

// The journal of the current or last write pass: open while the pass runs.
std::unique_ptr<EntryJournal>& journal() {
  static std::unique_ptr<EntryJournal> j;
  return j;
}

EntryJournal::Row rowOf(const ProfileEventRecord& r) {
  const ProfileLists& s = Bsda();
  return {
      Bset().Bset_ProfileID,  r.EventID, r.Status, r.Version, r.CatID, r.AuxDate, r.DateUsed, s.platMisc(r.PlatMisc),
      s.holidayList(r.PubHol)};
}

// The record of the entry being written, until its target's file changes.
struct Intent {
  bool noted = false;
  EntryJournal::Row row;
};
Intent& intent() {
  static Intent i;
  return i;
}

bool sameRow(const EntryJournal::Row& a, const EntryJournal::Row& b) {
  return a.profileID == b.profileID && a.eventID == b.eventID && a.status == b.status && a.version == b.version &&
         a.catID == b.catID && a.auxDate == b.auxDate && a.dateUsed == b.dateUsed && a.platMisc == b.platMisc &&
         a.pubHol == b.pubHol;
}

void stopIntents() {
  platform::standins::stopWatching();
  intent() = {};
}

// Runs step; a failure is reported under where (which ends the run).
template <class F>
void trappedStep(const char* where, F&& step) {
  try {
    step();
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    currentError() = describeCurrentException();
    reportError(currentError().number, where, {});
  }
}

// What the commit changes in memory, so that a failed commit can put it back.
struct CategoryMarks {
  std::vector<std::pair<int16_t, uint8_t>> marks;
  void take() {
    const ProfileLists& s = Bsda();
    marks.clear();
    for (int32_t i = 1; i < s.Bsda_ProfileCatNext; ++i)
      marks.emplace_back(s.Bsda_ProfileCatList[i].Status, s.Bsda_ProfileCatList[i].HasTargetEntries);
  }
  void restore() const {
    ProfileLists& s = Bsda();
    for (size_t i = 0; i < marks.size() && static_cast<int32_t>(i + 1) < s.Bsda_ProfileCatNext; ++i) {
      s.Bsda_ProfileCatList[i + 1].Status = marks[i].first;
      s.Bsda_ProfileCatList[i + 1].HasTargetEntries = marks[i].second;
    }
  }
};

// Runs body in one databank transaction. A failure rolls it back, runs undo
// and is reported under the location that body last named in where.
template <class Body, class Undo>
void inTransaction(const char* where, Body&& body, Undo&& undo) {
  dao::Database& db = Bsql_DataBank();
  bool open = false;
  try {
    db.beginTrans();
    open = true;
    body(db, where);
    db.commitTrans();
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    currentError() = describeCurrentException();
    if (open) {
      try {
        db.rollback();
      } catch (...) {
      }
    }
    undo();
    reportError(currentError().number, where, {});
  }
}

// Runs the halves in one transaction. A failure rolls the databank and the
// category marks back and is reported under the name of the half that failed.
void commit(const char* outerName, bool events, bool categories) {
  stopIntents();
  Bsda_EndWritePass();
  CategoryMarks before;
  before.take();
  inTransaction(
      outerName,
      [&](dao::Database&, const char*& where) {
        // What the writer saved reaches the disk before the profile says it is there.
        platform::standins::syncSaved();
        if (events) {
          where = "Bsda_UnloadProfileEventList";
          unloadEvents();
        }
        if (categories) {
          where = "Bsda_UnloadProfileCatList";
          unloadCategories();
        }
        where = outerName;
      },
      [&] { before.restore(); });
  // The stored profile holds what the pass's journal held. (A failed commit
  // was reported above and ended the run; the next load folds the journal.)
  if (events && journal()) {
    journal()->discard();
    journal().reset();
  }
  // The first run is over only once its profile is stored.
  if (events && screenLink().firstRun()) Breg_WriteRegSettings("User", "FirstRun", "False");
}

// One step of the write pass's record in its own transaction, so that each
// stored step survives whatever ends the run after it.
template <class F>
void recordStep(const char* where, F&& step) {
  inTransaction(
      where, [&](dao::Database& db, const char*&) { step(db); }, [] {});
}

}  // namespace

void Bsda_BeginWritePass() {
  recordStep("Bsda_BeginWritePass", [](dao::Database& db) {
    db.execute(
        "CREATE INDEX IF NOT EXISTS \"ProfileEventList_Event\" ON \"ProfileEventList\" (\"ProfileID\", \"EventID\")");
    std::set<int32_t> stored;
    for (const dao::Database::Row& row :
         db.select("SELECT \"CatID\" FROM \"ProfileCatList\" WHERE \"ProfileID\" = ?1 AND \"AddStatus\" = 0",
                   {Variant(Bset().Bset_ProfileID)}))
      stored.insert(row[0].toLong());
    const ProfileLists& s = Bsda();
    CommittedRows rows = categoryRows(db);
    for (int32_t i = 1; i < s.Bsda_ProfileCatNext; ++i) {
      const ProfileCatRecord& r = s.Bsda_ProfileCatList[i];
      if ((r.Status & catstate::StateMask) != catstate::Added || stored.count(r.CatID)) continue;
      addCategoryRow(rows, r, static_cast<int16_t>((r.Status & catstate::OptionMask) | catstate::InProfile));
    }
  });
  Bsda_EndWritePass();
  trappedStep("Bsda_BeginWritePass", [] { journal() = EntryJournal::create(Bsql_DataBank().path()); });
}

void Bsda_EndWritePass() {
  stopIntents();
  if (journal()) journal()->close();
}

void Bsda_IntendEntry(const ProfileEventRecord& r) {
  if (!journal() || !journal()->isOpen()) return;
  intent() = {false, rowOf(r)};
  platform::standins::watchNextChange([](const std::filesystem::path& file) {
    // A failure here fails the target's call before its file changes.
    journal()->appendMarked(file, {intent().row});
    intent().noted = true;
  });
}

void Bsda_TargetCommitNext() {
  if (!journal() || !journal()->isOpen()) return;
  platform::standins::watchNextChange([](const std::filesystem::path& file) {
    const ProfileLists& s = Bsda();
    std::vector<EntryJournal::Row> rows;
    rows.reserve(size_t(std::max(s.Bsda_ProfileEventNext, 1)));
    for (int32_t i = 1; i < s.Bsda_ProfileEventNext; ++i) rows.push_back(rowOf(s.Bsda_ProfileEventList[i]));
    journal()->appendMarked(file, rows);
  });
}

void Bsda_RecordEntry(const ProfileEventRecord& r) {
  platform::standins::stopWatching();
  trappedStep("Bsda_RecordEntry", [&] {
    const bool noted = intent().noted && sameRow(intent().row, rowOf(r));
    intent() = {};
    if (noted) return;  // the row noted before the change stands as it is
    if (journal() && journal()->isOpen())
      journal()->append(rowOf(r));
    else
      storeEntryRows(Bsql_DataBank(), {rowOf(r)});  // a single entry outside a pass
  });
}

void Bsda_CommittChanges() { commit("Bsda_CommittChanges", true, true); }
void Bsda_UnloadProfileEventList() { commit("Bsda_UnloadProfileEventList", true, false); }
void Bsda_UnloadProfileCatList() { commit("Bsda_UnloadProfileCatList", false, true); }

}  // namespace pellary
