#include "update/cue/cue_loaders.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "core/databank.h"
#include "core/idindex.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "update/cue/cue_folder.h"
#include "update/cue/cue_values.h"

namespace pellary {

ClientUpdateEngine& Bcue_Engine() {
  static ClientUpdateEngine engine;
  return engine;
}

namespace cue {

namespace {

// Runs body inside a transaction of its own: all of it is kept, or none.
template <class F>
void inTransaction(dao::Database& db, F&& body) {
  db.beginTrans();
  try {
    body();
    db.commitTrans();
  } catch (...) {
    try {
      db.rollback();
    } catch (...) {
    }
    throw;
  }
}

std::vector<dao::Field> fieldsFor(const dao::Recordset& rs, const TableLayout& layout) {
  std::vector<dao::Field> out;
  for (const ColumnSpec& c : layout.columns) {
    out.push_back(rs.fields(c.column));
    if (!c.alsoColumn.empty()) out.push_back(rs.fields(c.alsoColumn));
  }
  return out;
}

void setRow(std::vector<dao::Field>& fields, const TableRows& rows, size_t row) {
  size_t f = 0;
  for (size_t c = 0; c < rows.layout->columns.size(); ++c) {
    Variant v = rows.value(row, c);
    fields[f++].setValue(v);
    if (!rows.layout->columns[c].alsoColumn.empty()) fields[f++].setValue(v);
  }
}

std::string keyText(const TableRows& rows, size_t row) {
  std::string text;
  const TableLayout& l = *rows.layout;
  for (std::string_view k : l.key) {
    size_t c = 0;
    while (l.columns[c].column != k) ++c;
    if (!text.empty()) text += " AND ";
    text += std::string(k) + " = " + rows.value(row, c).toString();
  }
  return text;
}

bool isDuplicate(const AppError& e) { return e.number() == err::DbDuplicateKey; }

// The file as it was read must still be the file: a writer that went on
// meanwhile leaves it for the next run, and the transaction rolls back.
void beforeKeeping(const fs::path& path, const FileStamp& stamp) {
  if (Bcue_Engine().beforeKeeping) Bcue_Engine().beforeKeeping(path);
  checkUnchanged(path, stamp);
}

FileStamp stampForLoading(const fs::path& path) { return settledStamp(path, Bcue_Engine().settle); }

void finished(const fs::path& path) {
  ClientUpdateEngine& engine = Bcue_Engine();
  if (engine.deferDeletes)
    engine.loadedFiles.push_back(path);
  else
    deleteLoadedFile(path);
}

}  // namespace

void deleteLoadedFiles() {
  std::vector<fs::path> files = std::move(Bcue_Engine().loadedFiles);
  Bcue_Engine().loadedFiles.clear();
  std::string failed;
  for (const fs::path& p : files) {
    try {
      deleteLoadedFile(p);
    } catch (const AppError&) {
      failed = p.string();
    }
  }
  if (!failed.empty()) raise(err::PathFileAccess, "Path/File access error: cannot delete " + failed);
}

void keepLoadedFiles() { Bcue_Engine().loadedFiles.clear(); }

LoadOutcome loadTableFile(dao::Database& db, const TableLayout& layout, OnDuplicate policy) {
  LoadOutcome out;
  fs::path path = findCueFile(layout.file);
  if (path.empty()) return out;
  out.found = true;
  const FileStamp stamp = stampForLoading(path);
  TableRows rows = parseTable(layout, readWholeFile(path));
  out.rows = long(rows.count);
  inTransaction(db, [&] {
    dao::Recordset rs = db.openRecordset(layout.table);
    std::vector<dao::Field> fields = fieldsFor(rs, layout);
    for (size_t r = 0; r < rows.count; ++r) {
      rs.addNew();
      setRow(fields, rows, r);
      try {
        rs.update();
        ++out.added;
        continue;
      } catch (const AppError& e) {
        if (!isDuplicate(e)) throw;
      }
      rs.cancelUpdate();
      ++out.duplicates;
      if (policy == OnDuplicate::Skip) continue;
      dao::Recordset existing =
          db.openRecordset("SELECT * FROM " + std::string(layout.table) + " WHERE " + keyText(rows, r));
      std::vector<dao::Field> target = fieldsFor(existing, layout);
      existing.edit();
      setRow(target, rows, r);
      existing.update();
      existing.close();
    }
    rs.close();
    beforeKeeping(path, stamp);
  });
  finished(path);
  return out;
}

LoadOutcome loadProductFile(dao::Database& db) {
  LoadOutcome out;
  const TableLayout& layout = productLayout();
  fs::path path = findCueFile(layout.file);
  if (path.empty()) return out;
  out.found = true;
  const FileStamp stamp = stampForLoading(path);
  TableRows rows = parseTable(layout, readWholeFile(path), 1);
  if (rows.count == 0) raiseInRecord(kInputPastEnd, layout.file, 1, 1, "Input past end of file");
  out.rows = 1;
  inTransaction(db, [&] {
    dao::Recordset rs =
        db.openRecordset("SELECT * FROM Products WHERE ProductID = " + rows.value(0, 1).toString());
    const bool adding = rs.recordCount() == 0;
    if (adding) {
      rs.addNew();
    } else {
      rs.moveFirst();
      rs.edit();
    }
    std::vector<dao::Field> fields = fieldsFor(rs, layout);
    setRow(fields, rows, 0);
    try {
      rs.update();
      adding ? ++out.added : ++out.duplicates;
    } catch (const AppError& e) {
      if (!isDuplicate(e)) throw;
      rs.cancelUpdate();
      ++out.duplicates;
    }
    rs.close();
    beforeKeeping(path, stamp);
  });
  finished(path);
  return out;
}

int16_t actionOf(const std::vector<int16_t>& codes, bool unknownCounts0) {
  const std::vector<ActionEntry>& table = Bcue_Engine().Bcue_ActionTable;
  int16_t action = 0;
  for (int16_t code : codes) {
    if (code < 0 || size_t(code) >= table.size()) {
      if (unknownCounts0) continue;
      raise(err::SubscriptOutOfRange, "Action code " + std::to_string(code) + " is not in table Action");
    }
    action = std::max(action, table[size_t(code)].PeckingNumber);
  }
  return action;
}

int32_t storedVersion(int16_t version) { return int32_t(version) + kVersionBias; }

std::optional<int16_t> activeVersion(int32_t eventId) {
  int32_t stored = Bsda_GetCUEEventIDIndex(eventId);
  if (stored == 0) return std::nullopt;
  return int16_t(stored - kVersionBias);
}

void loadActiveEventIDs(dao::Database& db) {
  dao::Recordset active = db.openRecordset("SELECT * FROM Event WHERE Status = 1");
  if (active.recordCount() != 0) {
    Bsda_ClearCUEEventIDIndex();
    dao::Field id = active.fields("EventID"), version = active.fields("Version");
    for (active.moveFirst(); !active.eof(); active.moveNext()) {
      // A negative EventID (stored before the files were checked) matches no
      // incoming record; passing it over keeps every later load working.
      Variant key = id.value();
      if (key.isNull() || key.toLong() < 0) continue;
      Variant v = version.value();
      Bsda_AddCUEEventIDIndex(key.toLong(), storedVersion(v.isNull() ? int16_t(0) : v.toInteger()));
    }
  }
  active.close();

  dao::Recordset actions = db.openRecordset("Action");
  if (actions.recordCount() != 0) {
    actions.moveLast();
    actions.moveFirst();
    // Sized past the highest ActionID as well as past the row count, so that
    // numbering with gaps still finds every code.
    std::vector<std::pair<int32_t, ActionEntry>> read;
    int32_t highest = 0;
    for (; !actions.eof(); actions.moveNext()) {
      int32_t id = actions.fields("ActionID").value().toLong();
      if (id < 0) raise(err::SubscriptOutOfRange, "ActionID " + std::to_string(id) + " is negative");
      if (id > 32767) raise(err::SubscriptOutOfRange, "ActionID " + std::to_string(id) + " is out of range");
      Variant name = actions.fields("ActionName").value();
      Variant pecking = actions.fields("PeckingNumber").value();
      read.push_back({id, {name.isNull() ? std::string() : name.toString(), pecking.isNull() ? int16_t(0) : pecking.toInteger()}});
      highest = std::max(highest, id);
    }
    std::vector<ActionEntry>& table = Bcue_Engine().Bcue_ActionTable;
    table.assign(size_t(std::max<int32_t>(actions.recordCount() + 1, highest)) + 1, ActionEntry{});
    for (auto& [id, entry] : read) table[size_t(id)] = std::move(entry);
  }
  actions.close();
}

namespace {
std::string barsToCrLf(const std::string& s) {
  if (s.find('|') == std::string::npos) return s;
  std::string out;
  out.reserve(s.size() + 8);
  for (char c : s) {
    if (c == '|')
      out += "\r\n";
    else
      out += c;
  }
  return out;
}
}  // namespace

MergeOutcome mergeEventsFile(dao::Database& db, const MergeOptions& options) {
  MergeOutcome out;
  fs::path path = findCueFile(kEventsFile);
  if (path.empty()) return out;
  out.found = true;
  const FileStamp stamp = stampForLoading(path);
  std::vector<EventRecord> records = parseEvents(readWholeFile(path));
  out.records = long(records.size());
  // Every action code is checked before anything is written.
  std::vector<int16_t> action(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    try {
      action[i] = actionOf(records[i].actions, options.unknownActionCounts0);
    } catch (const AppError& e) {
      raiseInRecord(e.number(), kEventsFile, i + 1, 0, e.description());
    }
  }
  inTransaction(db, [&] {
    dao::Recordset rs = db.openRecordset("Event");
    dao::Field fEventID = rs.fields("EventID"), fTitle = rs.fields("Title"), fMemo = rs.fields("Memo"),
               fMemoLong = rs.fields("MemoLong"), fStart = rs.fields("StartDate"), fEnd = rs.fields("EndDate"),
               fOnSale = rs.fields("OnSale"), fURL = rs.fields("URL"), fTelCountry = rs.fields("TelCountry"),
               fTelPrefix = rs.fields("TelPrefix"), fTel = rs.fields("Tel"), fPriority = rs.fields("Priority"),
               fVersion = rs.fields("Version"), fAction = rs.fields("Action");
    // Events added by this merge: a later record of the same event retires
    // the earlier one even when the event had no active version before.
    std::unordered_set<int32_t> addedHere;
    for (size_t i = 0; i < records.size(); ++i) {
      const EventRecord& r = records[i];
      const std::optional<int16_t> active = activeVersion(r.eventId);
      if (active && r.version <= *active) {
        ++out.skipped;
        continue;
      }
      if (active || addedHere.count(r.eventId)) {
        dao::Recordset old = db.openRecordset("SELECT * FROM Event WHERE EventID = " + std::to_string(r.eventId) +
                                              " AND Status = 1");
        if (old.recordCount() != 0) {
          dao::Field status = old.fields("Status");
          for (old.moveFirst(); !old.eof(); old.moveNext()) {
            old.edit();
            status.setValue(int16_t(0));
            old.update();
            ++out.retired;
          }
        }
        old.close();
      }
      rs.addNew();
      fEventID.setValue(r.eventId);
      fTitle.setValue(r.title);
      fMemo.setValue(options.barsToLineBreaks ? barsToCrLf(r.memo) : r.memo);
      fMemoLong.setValue(options.barsToLineBreaks ? barsToCrLf(r.memoLong) : r.memoLong);
      fStart.setValue(Variant::date(oleFromTimeCode(r.startDate)));
      fEnd.setValue(Variant::date(oleFromTimeCode(r.endDate)));
      if (r.onSale != 0) fOnSale.setValue(Variant::date(oleFromTimeCode(r.onSale)));
      fURL.setValue(r.url);
      fTelCountry.setValue(trimSpaces(r.telCountry));
      fTelPrefix.setValue(trimSpaces(r.telPrefix));
      fTel.setValue(trimSpaces(r.tel));
      fPriority.setValue(r.priority);
      fVersion.setValue(r.version);
      fAction.setValue(action[i]);
      rs.update();
      addedHere.insert(r.eventId);
      ++out.added;
    }
    rs.close();
    beforeKeeping(path, stamp);
  });
  finished(path);
  return out;
}

}  // namespace cue

void Bcue_LoadNewPrimary() {
  trapped("Bcue_LoadNewPrimary", [] { cue::loadTableFile(Bsql_DataBank(), cue::primaryLayout(), cue::OnDuplicate::Overwrite); });
}
void Bcue_LoadNewSecondary() {
  trapped("Bcue_LoadNewSecondary",
          [] { cue::loadTableFile(Bsql_DataBank(), cue::secondaryLayout(), cue::OnDuplicate::Overwrite); });
}
void Bcue_LoadNewTertiary() {
  trapped("Bcue_LoadNewTertiary",
          [] { cue::loadTableFile(Bsql_DataBank(), cue::tertiaryLayout(), cue::OnDuplicate::Overwrite); });
}
void Bcue_LoadActiveEventIDs() {
  trapped("Bcue_LoadActiveEventIDs", [] { cue::loadActiveEventIDs(Bsql_DataBank()); });
}
void Bcue_LoadNewLinkItems() {
  trapped("Bcue_LoadNewLinkItems",
          [] { cue::loadTableFile(Bsql_DataBank(), cue::eventCatLayout(), cue::OnDuplicate::Overwrite); });
}
void Bcue_MergeInEvents() {
  trapped("Bcue_MergeInEvents", [] { cue::mergeEventsFile(Bsql_DataBank(), {}); });
}
void Bcue_LoadNewRETemplate() {
  trapped("Bcue_LoadNewRETemplate",
          [] { cue::loadTableFile(Bsql_DataBank(), cue::reTemplateLayout(), cue::OnDuplicate::Overwrite); });
}
void Bcue_LoadNewREStructure() {
  trapped("Bcue_LoadNewREStructure",
          [] { cue::loadTableFile(Bsql_DataBank(), cue::reStructureLayout(), cue::OnDuplicate::Overwrite); });
}

}  // namespace pellary
