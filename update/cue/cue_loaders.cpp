#include "update/cue/cue_loaders.h"

#include <algorithm>
#include <fstream>
#include <optional>

#include "core/databank.h"
#include "core/idindex.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/text/trim.h"
#include "update/cue/cue_folder.h"
#include "update/cue/cue_values.h"

namespace pellary {

ClientUpdateEngine& Bcue_Engine() {
  static ClientUpdateEngine engine;
  return engine;
}

namespace cue {

namespace {

std::vector<dao::Field> fieldsFor(const dao::Recordset& rs, const TableLayout& layout) {
  std::vector<dao::Field> out;
  for (const ColumnSpec& c : layout.columns) {
    out.push_back(rs.fields(c.column));
    if (!c.alsoColumn.empty()) out.push_back(rs.fields(c.alsoColumn));
  }
  return out;
}

std::string quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

// One INSERT for every record, prepared once: a record whose key exists
// overwrites the file's columns of that row, or is passed over.
std::string insertText(const TableLayout& l, OnDuplicate policy) {
  std::vector<std::string_view> columns;
  for (const ColumnSpec& c : l.columns) {
    columns.push_back(c.column);
    if (!c.alsoColumn.empty()) columns.push_back(c.alsoColumn);
  }
  std::string names, params, keys, sets;
  for (size_t i = 0; i < columns.size(); ++i) {
    names += (i ? "," : "") + quoted(columns[i]);
    params += (i ? ",?" : "?") + std::to_string(i + 1);
    bool key = false;
    for (std::string_view k : l.key) key = key || k == columns[i];
    if (!key) sets += (sets.empty() ? "" : ",") + quoted(columns[i]) + "=excluded." + quoted(columns[i]);
  }
  for (std::string_view k : l.key) keys += (keys.empty() ? "" : ",") + quoted(k);
  std::string text = "INSERT INTO " + quoted(l.table) + " (" + names + ") VALUES (" + params + ") ON CONFLICT";
  if (policy == OnDuplicate::Skip || sets.empty()) return text + " DO NOTHING";
  return text + " (" + keys + ") DO UPDATE SET " + sets;
}

void bindRecord(dao::Statement& st, const TableLayout& l, const TableRecordReader& record) {
  int param = 1;
  for (size_t c = 0; c < l.columns.size(); ++c) {
    const bool text = l.columns[c].type == ValueType::String;
    for (int copies = l.columns[c].alsoColumn.empty() ? 1 : 2; copies > 0; --copies, ++param) {
      if (text)
        st.bindText(param, record.text(c));
      else
        st.bindInt(param, record.number(c));
    }
  }
}

std::ifstream openForLoading(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) raise(err::FileNotFound, "File not found: " + path.string());
  return in;
}

bool isDuplicate(const AppError& e) { return e.number() == err::DbDuplicateKey; }

// The file as it was read must still be the file: a writer that went on
// meanwhile leaves it for the next run, and the transaction rolls back.
void beforeKeeping(const fs::path& path, const FileStamp& stamp) {
  Bcue_Engine().beforeKeeping(path);
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
  {
    // Read and written in one pass inside the transaction: the first bad
    // record rolls every row of the file back.
    std::ifstream file = openForLoading(path);
    ValueReader values(file);
    TableRecordReader record(layout, values);
    dao::inTransaction(db, [&] {
      dao::Statement insert = db.prepare(insertText(layout, policy));
      while (record.next()) {
        bindRecord(insert, layout, record);
        out.changed += insert.run();
      }
      beforeKeeping(path, stamp);
    });
    out.rows = long(record.records());
  }
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
  std::ifstream file = openForLoading(path);
  ValueReader values(file);
  TableRecordReader record(layout, values);
  if (!record.next()) raiseInRecord(kInputPastEnd, layout.file, 1, 1, "Input past end of file");
  file.close();
  out.rows = 1;
  dao::inTransaction(db, [&] {
    dao::Recordset rs = db.openRecordset("SELECT * FROM Products WHERE ProductID = " + record.value(1).toString());
    const bool adding = rs.recordCount() == 0;
    if (adding) {
      rs.addNew();
    } else {
      rs.moveFirst();
      rs.edit();
    }
    std::vector<dao::Field> fields = fieldsFor(rs, layout);
    size_t f = 0;
    for (size_t c = 0; c < layout.columns.size(); ++c) fields[f++].setValue(record.value(c));
    try {
      rs.update();
      ++out.changed;
    } catch (const AppError& e) {
      if (!isDuplicate(e)) throw;
      rs.cancelUpdate();
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
      read.push_back(
          {id, {name.isNull() ? std::string() : name.toString(), pecking.isNull() ? int16_t(0) : pecking.toInteger()}});
      highest = std::max(highest, id);
    }
    std::vector<ActionEntry>& table = Bcue_Engine().Bcue_ActionTable;
    table.assign(size_t(std::max<int32_t>(actions.recordCount() + 1, highest)) + 1, ActionEntry{});
    for (auto& [id, entry] : read) table[size_t(id)] = std::move(entry);
  }
  actions.close();
}

using platform::text::trimSpaces;

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
  {
    // Read and written in one pass inside the transaction: the first bad
    // record (a value, an action code) rolls the whole file back, unless bad
    // records are passed over.
    std::ifstream file = openForLoading(path);
    ValueReader values(file);
    EventRecordReader reader(values);
    dao::inTransaction(db, [&] {
      dao::Statement insert = db.prepare(
          "INSERT INTO \"Event\" (\"EventID\",\"Title\",\"Memo\",\"MemoLong\",\"StartDate\",\"EndDate\","
          "\"OnSale\",\"URL\",\"TelCountry\",\"TelPrefix\",\"Tel\",\"Priority\",\"Version\",\"Action\") "
          "VALUES (?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14)");
      dao::Statement retire =
          db.prepare("UPDATE \"Event\" SET \"Status\" = 0 WHERE \"EventID\" = ?1 AND \"Status\" = 1");
      // Events added by this merge: a later record of the same event retires
      // the earlier one even when the event had no active version before.
      DigitTrieIndex addedHere;
      auto mergeOne = [&](const EventRecord& r) {
        int16_t action = 0;
        try {
          action = actionOf(r.actions, options.unknownActionCounts0);
        } catch (const AppError& e) {
          raiseInRecord(e.number(), kEventsFile, reader.records(), 0, e.description());
        }
        const std::optional<int16_t> active = activeVersion(r.eventId);
        if (active && r.version <= *active) {
          ++out.skipped;
          return;
        }
        if (active || addedHere.get(r.eventId)) out.retired += retire.bindInt(1, r.eventId).run();
        insert.bindInt(1, r.eventId).bindText(2, r.title);
        insert.bindText(3, options.barsToLineBreaks ? barsToCrLf(r.memo) : r.memo);
        insert.bindText(4, options.barsToLineBreaks ? barsToCrLf(r.memoLong) : r.memoLong);
        insert.bindDouble(5, oleFromTimeCode(r.startDate)).bindDouble(6, oleFromTimeCode(r.endDate));
        if (r.onSale != 0)
          insert.bindDouble(7, oleFromTimeCode(r.onSale));
        else
          insert.bindNull(7);
        insert.bindText(8, r.url).bindText(9, trimSpaces(r.telCountry)).bindText(10, trimSpaces(r.telPrefix));
        insert.bindText(11, trimSpaces(r.tel)).bindInt(12, r.priority).bindInt(13, r.version).bindInt(14, action);
        insert.run();
        addedHere.add(r.eventId, 1);
        ++out.added;
      };
      EventRecord r;
      auto passOver = [&](const AppError& e) {
        if (!options.passOverBadRecords) throw;
        if (out.passedOver++ == 0) {
          out.firstFailure = e.description();
          out.firstNumber = e.number();
        }
      };
      for (;;) {
        try {
          if (!reader.next(r)) break;
        } catch (const AppError& e) {
          passOver(e);
          reader.skipBadRecord();
          continue;
        }
        try {
          mergeOne(r);
        } catch (const AppError& e) {
          passOver(e);
        }
      }
      beforeKeeping(path, stamp);
    });
    out.records = long(reader.records());
  }
  finished(path);
  return out;
}

}  // namespace cue

void Bcue_LoadNewPrimary() {
  trapped("Bcue_LoadNewPrimary",
          [] { cue::loadTableFile(Bsql_DataBank(), cue::primaryLayout(), cue::OnDuplicate::Overwrite); });
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
