#include "platform/dao/recordset.h"

#include <sqlite3.h>

#include <algorithm>

#include "platform/dao/jet_errors.h"
#include "platform/dao/recordset_impl.h"
#include "platform/paths.h"
#include "platform/text/trim.h"

namespace pellary::dao {

namespace detail {

namespace {

using paths::equalsIgnoreCase;

// Values copied at open stay below this size; larger sets read by rowid.
constexpr size_t kCopyBudgetBytes = size_t(64) << 20;
constexpr size_t kCriteriaKept = 8;
constexpr size_t kWindowRows = 256;
constexpr long kInvalidBookmark = 3159;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

class StatementOwner {
 public:
  explicit StatementOwner(sqlite3_stmt* s) : s_(s) {}
  ~StatementOwner() { sqlite3_finalize(s_); }
  StatementOwner(const StatementOwner&) = delete;
  StatementOwner& operator=(const StatementOwner&) = delete;

 private:
  sqlite3_stmt* s_;
};

std::string keyName(size_t k) { return "__dao_key" + std::to_string(k); }

std::string stripTrailing(std::string s) {
  while (!s.empty() && (s.back() == ';' || s.back() == ' ' || s.back() == '\n' || s.back() == '\r' || s.back() == '\t'))
    s.pop_back();
  return s;
}

// "[Primary]" or "\"Primary\"" as the bare name.
std::string_view unquote(std::string_view text) {
  const std::string_view s = platform::text::trimSpaces(text);
  if (s.size() >= 2 && ((s.front() == '[' && s.back() == ']') || (s.front() == '"' && s.back() == '"')))
    return s.substr(1, s.size() - 2);
  return s;
}

size_t valueBytes(const Variant& v) {
  return sizeof(Variant) + (v.type() == Variant::Type::String ? v.toString().size() : 0);
}

}  // namespace

size_t NoCaseHash::operator()(std::string_view s) const {
  size_t h = 1469598103934665603ull;
  for (char c : s) h = (h ^ static_cast<unsigned char>(lower(c))) * 1099511628211ull;
  return h;
}

bool NoCaseEqual::operator()(std::string_view a, std::string_view b) const { return equalsIgnoreCase(a, b); }

// ---- opening ---------------------------------------------------------------

std::shared_ptr<RecordsetImpl> RecordsetImpl::open(std::shared_ptr<Connection> conn, std::string_view source) {
  Source src;
  if (auto table = sql::tableNameSource(source))
    src.sql = "SELECT * FROM " + sql::quoteIdentifier(*table);
  else
    src.sql = stripTrailing(sql::adaptStatement(source));
  return std::make_shared<RecordsetImpl>(std::move(conn), std::move(src));
}

RecordsetImpl::RecordsetImpl(std::shared_ptr<Connection> conn, Source src)
    : conn_(std::move(conn)), src_(std::move(src)) {
  checkOpen();
  tokens_ = sql::tokenize(src_.sql);
  shape_ = sql::analyzeSelect(tokens_);
  run();
}

void RecordsetImpl::run() {
  Connection& c = *conn_;
  clearRows();
  std::vector<sql::TableRef> keyTables;
  std::string keyed;
  if (!src_.keyedSql.empty()) {
    keyed = src_.keyedSql;
    keyTables = src_.keyTables;
  } else if (shape_.rowBased) {
    // A table met twice (a self join) cannot tell its two rows apart by name.
    std::vector<std::string> extra;
    for (const sql::TableRef& t : shape_.tables) {
      int seen = 0;
      for (const sql::TableRef& u : shape_.tables) seen += equalsIgnoreCase(u.table, t.table);
      if (seen != 1) continue;
      extra.push_back(t.refText() + ".rowid AS " + sql::quoteIdentifier(keyName(keyTables.size())));
      keyTables.push_back(t);
    }
    if (!extra.empty()) keyed = sql::withExtraColumns(tokens_, shape_, extra);
  }

  sqlite3_stmt* stmt = nullptr;
  keyedSql_.clear();
  if (!keyed.empty()) {
    // Views and tables without rowids refuse the appended columns: the set is then read-only.
    const int rc = c.prepare(keyed, &stmt);
    if (rc == SQLITE_OK && stmt) {
      keyedSql_ = keyed;
    } else {
      sqlite3_finalize(stmt);
      stmt = nullptr;
      if (rc != SQLITE_ERROR) c.fail(rc, src_.syntaxNumber, src_.sql);  // locked, damaged...
    }
  }
  if (!stmt) {
    keyTables.clear();
    const int rc = c.prepare(src_.sql, &stmt);
    if (rc != SQLITE_OK) {
      sqlite3_finalize(stmt);
      c.fail(rc, src_.syntaxNumber, src_.sql);
    }
    if (!stmt) raise(jet::InvalidOperation, "Invalid operation: the record source is empty.");
  }
  StatementOwner owner(stmt);
  const int total = sqlite3_column_count(stmt);
  const int keys = int(keyTables.size());
  if (total <= keys) raise(jet::InvalidOperation, "Invalid operation: the statement returns no rows.");
  for (int k = 0; k < keys; ++k) {
    const char* name = sqlite3_column_name(stmt, total - keys + k);
    if (!name || keyName(size_t(k)) != name) raise(err::Internal, "Row keys of the recordset are misplaced.");
  }
  const int count = total - keys;
  buildColumns(stmt, count, keyTables);

  clearRows();
  bool copying = copiedCount_ > 0;
  size_t copiedBytes = 0;
  int rc;
  try {
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      for (int k = 0; k < keys; ++k) {
        const int col = count + k;
        rowKeys_.push_back(sqlite3_column_type(stmt, col) == SQLITE_NULL ? kNoRow : sqlite3_column_int64(stmt, col));
      }
      for (int i = 0; i < count; ++i)
        if (cols_[size_t(i)].keyTable < 0) fixed_.push_back(columnValue(stmt, i, cols_[size_t(i)].type));
      if (copying) {
        for (int i = 0; i < count; ++i) {
          if (cols_[size_t(i)].keyTable < 0) continue;
          copies_.push_back(columnValue(stmt, i, cols_[size_t(i)].type));
          copiedBytes += valueBytes(copies_.back());
        }
        ++copiedRows_;
        if (copiedBytes > kCopyBudgetBytes) copying = false;
      }
      ++rows_;
    }
    if (rc != SQLITE_DONE) c.fail(rc, src_.syntaxNumber, src_.sql);
  } catch (...) {
    clearRows();  // an empty set rather than half of one
    throw;
  }
  copiesVersion_ = c.dataVersion();
  criteria_.clear();
  window_ = Window{};
  window_.version = c.dataVersion();
  window_.size = 8;
  deleted_.assign(rows_, 0);
  liveRows_ = long(rows_);
  curRow_ = -1;
  mode_ = Recordset::EditMode::None;
  lastModified_ = -1;
  noMatch_ = false;
  if (rows_ > 0) {
    pos_ = 0;
    bof_ = eof_ = false;
  } else {
    pos_ = -1;
    bof_ = eof_ = true;
  }
}

void RecordsetImpl::clearRows() {
  rows_ = 0;
  liveRows_ = 0;
  rowKeys_.clear();
  fixed_.clear();
  copies_.clear();
  copiedRows_ = 0;
  deleted_.clear();
  window_ = Window{};
  pos_ = -1;
  bof_ = eof_ = true;
  curRow_ = -1;
  mode_ = Recordset::EditMode::None;
}

void RecordsetImpl::buildColumns(sqlite3_stmt* stmt, int count, const std::vector<sql::TableRef>& keyTables) {
  cols_.clear();
  tables_.clear();
  byName_.clear();
  defaults_.assign(size_t(count), std::nullopt);
  pending_.assign(size_t(count), Variant());
  isSet_.assign(size_t(count), 0);
  writeSql_.clear();
  fixedCount_ = copiedCount_ = 0;
  for (const sql::TableRef& t : keyTables) tables_.push_back(BaseTable{t, {}, {}, {}});
  for (int i = 0; i < count; ++i) {
    Column col;
    const char* name = sqlite3_column_name(stmt, i);
    const char* table = sqlite3_column_table_name(stmt, i);
    const char* origin = sqlite3_column_origin_name(stmt, i);
    const char* decl = sqlite3_column_decltype(stmt, i);
    col.name = name ? name : "";
    col.table = table ? table : "";
    col.origin = origin ? origin : "";
    col.type = columnTypeFromDeclared(decl ? decl : "");
    if (table && origin) {
      for (size_t k = 0; k < tables_.size(); ++k) {
        if (equalsIgnoreCase(tables_[k].ref.table, col.table)) {
          col.keyTable = int(k);
          tables_[k].columns.push_back(i);
          break;
        }
      }
    }
    col.slot = col.keyTable < 0 ? fixedCount_++ : copiedCount_++;
    byName_.emplace(col.name, i);  // the first of two equal names wins
    cols_.push_back(std::move(col));
  }
  for (BaseTable& t : tables_) {
    if (t.columns.empty()) continue;
    std::string names;
    for (size_t j = 0; j < t.columns.size(); ++j) {
      if (j) names += ", ";
      names += sql::quoteIdentifier(cols_[size_t(t.columns[j])].origin);
    }
    const std::string from = " FROM " + sql::quoteIdentifier(t.ref.table);
    t.rowSql = "SELECT " + names + from + " WHERE rowid = ?1";
    t.blockSql = "SELECT rowid, " + names + from + " WHERE rowid IN (";
    for (size_t j = 1; j <= kWindowRows; ++j) t.blockSql += (j > 1 ? ", ?" : "?") + std::to_string(j);
    t.blockSql += ")";
  }
}

void RecordsetImpl::checkOpen() const {
  if (!isOpen()) raise(err::DbObjectClosed);
}

void RecordsetImpl::close() {
  closed_ = true;
  rowKeys_.clear();
  rowKeys_.shrink_to_fit();
  fixed_.clear();
  fixed_.shrink_to_fit();
  copies_.clear();
  copies_.shrink_to_fit();
  deleted_.clear();
  cur_.clear();
  rows_ = 0;
}

// ---- rows ------------------------------------------------------------------

bool RecordsetImpl::loadRow(size_t row, std::vector<Variant>& out) {
  if (deleted_[row]) return false;
  const uint64_t version = conn_->dataVersion();
  out.resize(cols_.size());
  if (copiedRows_ && copiesVersion_ != version) {
    // Something was written since the copies were taken.
    copies_.clear();
    copies_.shrink_to_fit();
    copiedRows_ = 0;
  }
  for (size_t i = 0; i < cols_.size(); ++i)
    if (cols_[i].keyTable < 0) out[i] = fixed_[row * size_t(fixedCount_) + size_t(cols_[i].slot)];
  const Variant* values;
  if (row < copiedRows_) {
    values = copies_.data() + row * size_t(copiedCount_);
  } else {
    if (window_.version != version || row < window_.first || row >= window_.first + window_.count) fillWindow(row);
    if (!window_.present[row - window_.first]) {
      markDeleted(row);
      return false;
    }
    values = window_.values.data() + (row - window_.first) * size_t(copiedCount_);
  }
  for (size_t i = 0; i < cols_.size(); ++i)
    if (cols_[i].keyTable >= 0) out[i] = values[cols_[i].slot];
  return true;
}

void RecordsetImpl::fillWindow(size_t row) {
  Connection& c = *conn_;
  const uint64_t version = c.dataVersion();
  // A read-only walk fetches ever larger blocks; after a write, single rows.
  const size_t size = window_.version == version ? std::min(std::max<size_t>(window_.size * 2, 1), kWindowRows) : 1;
  size_t first = row;
  if (window_.count && window_.version == version && row < window_.first) first = row + 1 >= size ? row + 1 - size : 0;
  const size_t count = std::min(size, rows_ - first);
  window_.first = first;
  window_.count = count;
  window_.size = size;
  window_.version = version;
  window_.values.assign(count * size_t(copiedCount_), Variant::null());
  window_.present.assign(count, 1);
  for (size_t k = 0; k < tables_.size(); ++k) {
    const BaseTable& t = tables_[k];
    if (t.columns.empty()) continue;
    auto store = [&](size_t w, sqlite3_stmt* stmt, int offset) {
      Variant* v = window_.values.data() + w * size_t(copiedCount_);
      for (size_t j = 0; j < t.columns.size(); ++j) {
        const Column& col = cols_[size_t(t.columns[j])];
        v[col.slot] = columnValue(stmt, int(j) + offset, col.type);
      }
    };
    if (count == 1) {
      const int64_t rowid = key(first, int(k));
      if (rowid == kNoRow) continue;  // the missing side of an outer join: Nulls
      sqlite3_stmt* stmt = c.cached(t.rowSql, err::DbSqlError);
      StatementScope scope(stmt);
      sqlite3_bind_int64(stmt, 1, rowid);
      const int rc = sqlite3_step(stmt);
      if (rc == SQLITE_ROW)
        store(0, stmt, 0);
      else if (rc == SQLITE_DONE)
        window_.present[0] = 0;
      else
        c.fail(rc, err::DbSqlError, t.rowSql);
      continue;
    }
    sqlite3_stmt* stmt = c.cached(t.blockSql, err::DbSqlError);
    StatementScope scope(stmt);
    sqlite3_clear_bindings(stmt);
    for (size_t w = 0; w < count; ++w) {
      const int64_t rowid = key(first + w, int(k));
      if (rowid != kNoRow) sqlite3_bind_int64(stmt, int(w + 1), rowid);
    }
    // Rows come back in rowid order; several window rows may share one (a join).
    std::unordered_map<int64_t, size_t> at;
    for (size_t w = 0; w < count; ++w) at.emplace(key(first + w, int(k)), w);
    std::vector<uint8_t> seen(count, 0);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      const int64_t rowid = sqlite3_column_int64(stmt, 0);
      auto it = at.find(rowid);
      if (it == at.end()) continue;
      store(it->second, stmt, 1);
      seen[it->second] = 1;
    }
    if (rc != SQLITE_DONE) c.fail(rc, err::DbSqlError, t.blockSql);
    for (size_t w = 0; w < count; ++w) {
      const int64_t rowid = key(first + w, int(k));
      if (rowid == kNoRow) continue;
      const size_t src = at[rowid];
      if (!seen[src]) {
        window_.present[w] = 0;
      } else if (src != w) {
        for (int col : t.columns) {
          const int slot = cols_[size_t(col)].slot;
          window_.values[w * size_t(copiedCount_) + size_t(slot)] =
              window_.values[src * size_t(copiedCount_) + size_t(slot)];
        }
      }
    }
  }
}

void RecordsetImpl::wrote() {
  conn_->touched();
  // The copies are stale now; a set opened to append to a large table need not keep them.
  copies_.clear();
  copies_.shrink_to_fit();
  copiedRows_ = 0;
}

void RecordsetImpl::markDeleted(size_t row) {
  if (deleted_[row]) return;
  deleted_[row] = 1;
  --liveRows_;
  if (curRow_ == int64_t(row)) curRow_ = -1;
}

const std::vector<Variant>& RecordsetImpl::current() {
  if (bof_ || eof_) raise(err::DbNoCurrentRecord);
  if (deleted_[size_t(pos_)]) raise(err::DbRecordDeleted);
  if (curRow_ != pos_ || curVersion_ != conn_->dataVersion()) {
    curRow_ = -1;
    if (!loadRow(size_t(pos_), cur_)) raise(err::DbRecordDeleted);
    curRow_ = pos_;
    curVersion_ = conn_->dataVersion();
  }
  return cur_;
}

int64_t RecordsetImpl::seek(int64_t start, int direction) {
  for (int64_t r = start; r >= 0 && r < int64_t(rows_); r += direction) {
    if (deleted_[size_t(r)]) continue;
    if (loadRow(size_t(r), cur_)) {
      curRow_ = r;
      curVersion_ = conn_->dataVersion();
      return r;
    }
  }
  curRow_ = -1;
  return -1;
}

void RecordsetImpl::discardEdit() { mode_ = Recordset::EditMode::None; }

long RecordsetImpl::recordCount() const {
  checkOpen();
  return liveRows_;
}

bool RecordsetImpl::eof() const {
  checkOpen();
  return eof_;
}

bool RecordsetImpl::bof() const {
  checkOpen();
  return bof_;
}

void RecordsetImpl::moveFirst() {
  checkOpen();
  discardEdit();
  const int64_t r = liveRows_ > 0 ? seek(0, 1) : -1;
  if (r < 0) {
    pos_ = -1;
    bof_ = eof_ = true;
    raise(err::DbNoCurrentRecord);
  }
  pos_ = r;
  bof_ = eof_ = false;
}

void RecordsetImpl::moveLast() {
  checkOpen();
  discardEdit();
  const int64_t r = liveRows_ > 0 ? seek(int64_t(rows_) - 1, -1) : -1;
  if (r < 0) {
    pos_ = -1;
    bof_ = eof_ = true;
    raise(err::DbNoCurrentRecord);
  }
  pos_ = r;
  bof_ = eof_ = false;
}

void RecordsetImpl::moveNext() {
  checkOpen();
  discardEdit();
  if (eof_) raise(err::DbNoCurrentRecord);
  const int64_t r = seek(bof_ ? 0 : pos_ + 1, 1);
  if (r < 0) {
    pos_ = int64_t(rows_);
    eof_ = true;
    bof_ = liveRows_ == 0;
  } else {
    pos_ = r;
    bof_ = eof_ = false;
  }
}

void RecordsetImpl::movePrevious() {
  checkOpen();
  discardEdit();
  if (bof_) raise(err::DbNoCurrentRecord);
  const int64_t r = seek(eof_ ? int64_t(rows_) - 1 : pos_ - 1, -1);
  if (r < 0) {
    pos_ = -1;
    bof_ = true;
    eof_ = liveRows_ == 0;
  } else {
    pos_ = r;
    bof_ = eof_ = false;
  }
}

// ---- fields ----------------------------------------------------------------

int RecordsetImpl::columnIndex(std::string_view name) const {
  checkOpen();
  auto it = byName_.find(name);
  if (it != byName_.end()) return it->second;
  const size_t dot = name.find('.');
  if (dot == std::string_view::npos) return -1;
  const std::string_view qualifier = unquote(name.substr(0, dot));
  const std::string_view column = unquote(name.substr(dot + 1));
  for (size_t i = 0; i < cols_.size(); ++i) {
    const Column& c = cols_[i];
    if (c.table.empty() || !equalsIgnoreCase(c.origin, column)) continue;
    if (equalsIgnoreCase(c.table, qualifier) ||
        (c.keyTable >= 0 && equalsIgnoreCase(tables_[size_t(c.keyTable)].ref.alias, qualifier)))
      return int(i);
  }
  return -1;
}

int RecordsetImpl::fieldCount() const {
  checkOpen();
  return int(cols_.size());
}

const Column& RecordsetImpl::column(int index) const {
  checkOpen();
  if (index < 0 || size_t(index) >= cols_.size()) raise(err::DbItemNotFound);
  return cols_[size_t(index)];
}

Variant RecordsetImpl::read(int index) {
  checkOpen();
  const size_t i = size_t(index);
  if (mode_ == Recordset::EditMode::AddNew) return isSet_[i] ? pending_[i] : defaultValue(index);
  if (mode_ == Recordset::EditMode::Edit && isSet_[i]) return pending_[i];
  return current()[i];
}

bool RecordsetImpl::columnUpdatable(int index) const {
  const Column& c = column(index);
  return c.keyTable >= 0;
}

void RecordsetImpl::write(int index, const Variant& value) {
  checkOpen();
  if (mode_ == Recordset::EditMode::None) raise(err::DbUpdateWithoutEdit);
  const Column& c = cols_[size_t(index)];
  if (c.keyTable < 0 || (mode_ == Recordset::EditMode::Edit && key(size_t(pos_), c.keyTable) == kNoRow))
    raise(err::DbNotUpdatable,
          "Cannot update '" + c.name + "'; the field is not in a table row this recordset can write.");
  pending_[size_t(index)] = toColumnType(value, c.type);
  isSet_[size_t(index)] = 1;
}

Variant RecordsetImpl::defaultValue(int index) {
  std::optional<Variant>& d = defaults_[size_t(index)];
  if (d) return *d;
  d = Variant::null();
  const Column& c = cols_[size_t(index)];
  if (c.keyTable < 0) return *d;
  Connection& conn = *conn_;
  sqlite3_stmt* info =
      conn.cached("SELECT dflt_value FROM pragma_table_info(?1) WHERE name = ?2 COLLATE NOCASE", err::DbSqlError);
  std::string expr;
  {
    StatementScope scope(info);
    sqlite3_bind_text(info, 1, c.table.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(info, 2, c.origin.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(info) == SQLITE_ROW && sqlite3_column_type(info, 0) != SQLITE_NULL)
      expr = reinterpret_cast<const char*>(sqlite3_column_text(info, 0));
  }
  if (expr.empty()) return *d;
  sqlite3_stmt* eval = nullptr;
  if (conn.prepare("SELECT " + expr, &eval) == SQLITE_OK && eval && sqlite3_step(eval) == SQLITE_ROW)
    d = columnValue(eval, 0, c.type);
  sqlite3_finalize(eval);
  return *d;
}

// ---- editing ---------------------------------------------------------------

bool RecordsetImpl::updatable() const {
  checkOpen();
  for (const BaseTable& t : tables_)
    if (!t.columns.empty()) return true;
  return false;
}

void RecordsetImpl::addNew() {
  if (!updatable()) raise(err::DbNotUpdatable);
  mode_ = Recordset::EditMode::AddNew;
  std::fill(isSet_.begin(), isSet_.end(), 0);
}

void RecordsetImpl::edit() {
  if (!updatable()) raise(err::DbNotUpdatable);
  discardEdit();
  current();
  mode_ = Recordset::EditMode::Edit;
  std::fill(isSet_.begin(), isSet_.end(), 0);
}

void RecordsetImpl::cancelUpdate() {
  checkOpen();
  if (mode_ == Recordset::EditMode::None) raise(err::DbUpdateWithoutEdit);
  discardEdit();
}

Recordset::EditMode RecordsetImpl::editMode() const {
  checkOpen();
  return mode_;
}

int RecordsetImpl::writableTable(bool needKey) const {
  // The one table whose columns the set holds (and whose row it knows), or -1.
  int found = -1;
  for (size_t k = 0; k < tables_.size(); ++k) {
    if (tables_[k].columns.empty()) continue;
    if (needKey && key(size_t(pos_), int(k)) == kNoRow) continue;
    if (found >= 0) return -1;
    found = int(k);
  }
  return found;
}

void RecordsetImpl::update() {
  checkOpen();
  if (mode_ == Recordset::EditMode::None) raise(err::DbUpdateWithoutEdit);
  Connection& c = *conn_;
  const bool adding = mode_ == Recordset::EditMode::AddNew;

  // The tables that the buffer's columns belong to.
  std::vector<int> touched;
  for (size_t i = 0; i < cols_.size(); ++i) {
    if (!isSet_[i]) continue;
    const int k = cols_[i].keyTable;
    if (std::find(touched.begin(), touched.end(), k) == touched.end()) touched.push_back(k);
  }
  if (adding) {
    if (touched.empty()) {
      const int only = writableTable(false);
      if (only < 0) raise(err::DbNotUpdatable);
      touched.push_back(only);
    }
    if (touched.size() > 1)
      raise(err::DbNotUpdatable, "Cannot add a row: the values belong to more than one table of the join.");
    const int k = touched[0];
    const BaseTable& t = tables_[size_t(k)];
    std::string shape = "I" + std::to_string(k) + ":";
    for (int col : t.columns) shape += isSet_[size_t(col)] ? '1' : '0';
    std::string& text = writeSql_[shape];
    if (text.empty()) {
      std::string names, params;
      int n = 0;
      for (int col : t.columns) {
        if (!isSet_[size_t(col)]) continue;
        if (n++) names += ", ", params += ", ";
        names += sql::quoteIdentifier(cols_[size_t(col)].origin);
        params += "?" + std::to_string(n);
      }
      text = "INSERT INTO " + sql::quoteIdentifier(t.ref.table) +
             (n ? " (" + names + ") VALUES (" + params + ")" : std::string(" DEFAULT VALUES"));
    }
    sqlite3_stmt* stmt = c.cached(text, err::DbSqlError);
    {
      StatementScope scope(stmt);
      int n = 0;
      for (int col : t.columns)
        if (isSet_[size_t(col)]) bindValue(stmt, ++n, pending_[size_t(col)]);
      const int rc = sqlite3_step(stmt);
      if (rc != SQLITE_DONE) c.fail(rc, err::DbSqlError, text);
    }
    const int64_t rowid = sqlite3_last_insert_rowid(c.db());
    wrote();
    for (size_t j = 0; j < keyCount(); ++j) rowKeys_.push_back(int(j) == k ? rowid : kNoRow);
    for (int i = 0; i < fixedCount_; ++i) fixed_.push_back(Variant::null());
    deleted_.push_back(0);
    lastModified_ = int64_t(rows_);
    ++rows_;
    ++liveRows_;
    if (eof_ && !bof_) pos_ = int64_t(rows_);  // EOF stays after the last row
    mode_ = Recordset::EditMode::None;
    return;
  }

  if (bof_ || eof_) raise(err::DbNoCurrentRecord);
  if (deleted_[size_t(pos_)]) raise(err::DbRecordDeleted);
  if (touched.empty()) {
    mode_ = Recordset::EditMode::None;
    return;
  }
  const bool several = touched.size() > 1;
  if (several) c.run("SAVEPOINT dao_edit");
  try {
    for (int k : touched) {
      const BaseTable& t = tables_[size_t(k)];
      std::string shape = "U" + std::to_string(k) + ":";
      for (int col : t.columns) shape += isSet_[size_t(col)] ? '1' : '0';
      std::string& text = writeSql_[shape];
      if (text.empty()) {
        std::string sets;
        int n = 0;
        for (int col : t.columns) {
          if (!isSet_[size_t(col)]) continue;
          if (n++) sets += ", ";
          sets += sql::quoteIdentifier(cols_[size_t(col)].origin) + " = ?" + std::to_string(n);
        }
        text =
            "UPDATE " + sql::quoteIdentifier(t.ref.table) + " SET " + sets + " WHERE rowid = ?" + std::to_string(n + 1);
      }
      sqlite3_stmt* stmt = c.cached(text, err::DbSqlError);
      StatementScope scope(stmt);
      int n = 0;
      for (int col : t.columns)
        if (isSet_[size_t(col)]) bindValue(stmt, ++n, pending_[size_t(col)]);
      sqlite3_bind_int64(stmt, n + 1, key(size_t(pos_), k));
      const int rc = sqlite3_step(stmt);
      if (rc != SQLITE_DONE) c.fail(rc, err::DbSqlError, text);
      if (sqlite3_changes(c.db()) == 0) {
        markDeleted(size_t(pos_));
        raise(err::DbRecordDeleted);
      }
    }
    if (several) c.run("RELEASE dao_edit");
  } catch (...) {
    if (several && c.isOpen()) {
      sqlite3_exec(c.db(), "ROLLBACK TO dao_edit; RELEASE dao_edit", nullptr, nullptr, nullptr);
    }
    throw;
  }
  wrote();
  lastModified_ = pos_;
  curRow_ = -1;  // read back as stored
  mode_ = Recordset::EditMode::None;
}

void RecordsetImpl::deleteRow() {
  if (!updatable()) raise(err::DbNotUpdatable);
  discardEdit();
  current();
  const int k = writableTable(true);
  if (k < 0) raise(err::DbNotUpdatable, "Cannot delete from a join of several tables.");
  Connection& c = *conn_;
  const std::string text = "DELETE FROM " + sql::quoteIdentifier(tables_[size_t(k)].ref.table) + " WHERE rowid = ?1";
  sqlite3_stmt* stmt = c.cached(text, err::DbSqlError);
  {
    StatementScope scope(stmt);
    sqlite3_bind_int64(stmt, 1, key(size_t(pos_), k));
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE) c.fail(rc, err::DbSqlError, text);
  }
  const bool gone = sqlite3_changes(c.db()) == 0;
  wrote();
  markDeleted(size_t(pos_));
  if (gone) raise(err::DbRecordDeleted);
}

void RecordsetImpl::requery() {
  checkOpen();
  discardEdit();
  run();
}

// ---- filters and finds -----------------------------------------------------

std::shared_ptr<RecordsetImpl> RecordsetImpl::openFiltered() const {
  checkOpen();
  if (filter.empty()) return std::make_shared<RecordsetImpl>(conn_, src_);
  const std::string cond = sql::adaptExpression(filter);
  std::optional<AppError> firstError;
  if (shape_.rowBased) {
    // Into the query's own WHERE clause, where the tables' indexes serve it.
    Source s;
    s.sql = sql::withCondition(tokens_, shape_, cond);
    s.syntaxNumber = err::DbSyntax;
    try {
      return std::make_shared<RecordsetImpl>(conn_, std::move(s));
    } catch (const AppError& e) {
      firstError = e;  // a name two tables share: try it over the result's columns
    }
  }
  Source s;
  s.sql = "SELECT * FROM (" + src_.sql + ") WHERE (" + cond + ")";
  if (!keyedSql_.empty()) {
    s.keyedSql = "SELECT * FROM (" + keyedSql_ + ") WHERE (" + cond + ")";
    for (const BaseTable& t : tables_) s.keyTables.push_back(t.ref);
  }
  s.syntaxNumber = err::DbSyntax;
  try {
    return std::make_shared<RecordsetImpl>(conn_, std::move(s));
  } catch (const AppError&) {
    if (firstError) throw *firstError;
    throw;
  }
}

const RecordsetImpl::Criteria& RecordsetImpl::compile(std::string_view criteria) {
  for (const Criteria& c : criteria_)
    if (c.text == criteria) return c;
  // Every name of a field becomes a parameter bound to the row's value, so the
  // condition is evaluated by SQLite on its own, text compared without case.
  const std::vector<sql::Token> toks = sql::adaptTokens(criteria, false);
  Criteria c;
  c.text = std::string(criteria);
  std::string expr;
  auto param = [&](int col) {
    size_t n = 0;
    while (n < c.columns.size() && c.columns[n] != col) ++n;
    if (n == c.columns.size()) c.columns.push_back(col);
    return "(?" + std::to_string(n + 1) + " COLLATE NOCASE)";
  };
  auto nextSig = [&](size_t i) {
    ++i;
    while (i < toks.size() && toks[i].kind == sql::TokenKind::Space) ++i;
    return i;
  };
  for (size_t i = 0; i < toks.size(); ++i) {
    const sql::Token& t = toks[i];
    const bool name = t.kind == sql::TokenKind::Quoted ||
                      (t.kind == sql::TokenKind::Word && !paths::equalsIgnoreCase(t.text, "AND") &&
                       !paths::equalsIgnoreCase(t.text, "OR") && !paths::equalsIgnoreCase(t.text, "NOT") &&
                       !paths::equalsIgnoreCase(t.text, "IS") && !paths::equalsIgnoreCase(t.text, "NULL") &&
                       !paths::equalsIgnoreCase(t.text, "IN") && !paths::equalsIgnoreCase(t.text, "LIKE") &&
                       !paths::equalsIgnoreCase(t.text, "BETWEEN"));
    if (!name) {
      expr += t.text;
      continue;
    }
    const size_t j = nextSig(i);
    if (j < toks.size() && toks[j].kind == sql::TokenKind::Punct && toks[j].text == "(") {
      expr += t.text;  // a function
      continue;
    }
    if (j < toks.size() && toks[j].kind == sql::TokenKind::Punct && toks[j].text == ".") {
      const size_t k = nextSig(j);
      if (k < toks.size() && sql::isIdentifier(toks[k])) {
        const int col = columnIndex(sql::identifierName(t) + "." + sql::identifierName(toks[k]));
        if (col >= 0) {
          expr += param(col);
          i = k;
          continue;
        }
      }
    }
    const int col = columnIndex(sql::identifierName(t));
    expr += col >= 0 ? param(col) : t.text;
  }
  c.sql = "SELECT (" + expr + ")";
  conn_->cached(c.sql, err::DbSyntax);  // a malformed condition fails here, before any row
  if (criteria_.size() >= kCriteriaKept) criteria_.erase(criteria_.begin());
  criteria_.push_back(std::move(c));
  return criteria_.back();
}

bool RecordsetImpl::matches(const Criteria& crit, const std::vector<Variant>& row) {
  sqlite3_stmt* stmt = conn_->cached(crit.sql, err::DbSyntax);
  StatementScope scope(stmt);
  for (size_t j = 0; j < crit.columns.size(); ++j) bindValue(stmt, int(j + 1), row[size_t(crit.columns[j])]);
  const int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) conn_->fail(rc, err::DbSyntax, crit.text);
  return sqlite3_column_type(stmt, 0) != SQLITE_NULL && sqlite3_column_double(stmt, 0) != 0;
}

bool RecordsetImpl::find(std::string_view criteria, Find how) {
  checkOpen();
  discardEdit();
  const Criteria crit = compile(criteria);
  int64_t start = 0;
  int dir = 1;
  switch (how) {
    case Find::First: start = 0, dir = 1; break;
    case Find::Last: start = int64_t(rows_) - 1, dir = -1; break;
    case Find::Next: start = bof_ ? 0 : eof_ ? int64_t(rows_) : pos_ + 1, dir = 1; break;
    case Find::Previous: start = eof_ ? int64_t(rows_) - 1 : bof_ ? -1 : pos_ - 1, dir = -1; break;
  }
  std::vector<Variant> row;
  for (int64_t r = start; r >= 0 && r < int64_t(rows_); r += dir) {
    if (deleted_[size_t(r)] || !loadRow(size_t(r), row)) continue;
    if (matches(crit, row)) {
      pos_ = r;
      bof_ = eof_ = false;
      cur_ = std::move(row);
      curRow_ = r;
      curVersion_ = conn_->dataVersion();
      noMatch_ = false;
      return true;
    }
  }
  noMatch_ = true;
  return false;
}

bool RecordsetImpl::noMatch() const {
  checkOpen();
  return noMatch_;
}

int64_t RecordsetImpl::bookmark() {
  checkOpen();
  current();
  return pos_;
}

void RecordsetImpl::setBookmark(int64_t mark) {
  checkOpen();
  if (mark < 0 || mark >= int64_t(rows_)) raise(kInvalidBookmark, "Not a valid bookmark.");
  discardEdit();
  pos_ = mark;
  bof_ = eof_ = false;
  curRow_ = -1;
  current();
}

int64_t RecordsetImpl::lastModified() const {
  checkOpen();
  if (lastModified_ < 0) raise(err::DbNoCurrentRecord);
  return lastModified_;
}

const std::string& RecordsetImpl::sql() const {
  checkOpen();
  return src_.sql;
}

}  // namespace detail

// ---- handles ---------------------------------------------------------------

Variant Field::value() const { return rs_->read(index_); }
void Field::setValue(const Variant& v) { rs_->write(index_, v); }
const std::string& Field::name() const { return rs_->column(index_).name; }
ColumnType Field::type() const { return rs_->column(index_).type; }
bool Field::updatable() const { return rs_->columnUpdatable(index_); }

detail::RecordsetImpl& Recordset::impl() const {
  if (!impl_) raise(err::DbObjectClosed);
  return *impl_;
}

bool Recordset::isOpen() const { return impl_ && impl_->isOpen(); }
void Recordset::close() {
  if (impl_) impl_->close();
}
long Recordset::recordCount() const { return impl().recordCount(); }
bool Recordset::eof() const { return impl().eof(); }
bool Recordset::bof() const { return impl().bof(); }
void Recordset::moveFirst() { impl().moveFirst(); }
void Recordset::moveLast() { impl().moveLast(); }
void Recordset::moveNext() { impl().moveNext(); }
void Recordset::movePrevious() { impl().movePrevious(); }

Field Recordset::fields(std::string_view name) const {
  const int i = impl().columnIndex(name);
  if (i < 0) raise(err::DbItemNotFound);
  return Field(impl_, i);
}

Field Recordset::field(int index) const {
  impl().column(index);
  return Field(impl_, index);
}

int Recordset::fieldCount() const { return impl().fieldCount(); }
std::string Recordset::fieldName(int index) const { return impl().column(index).name; }
void Recordset::addNew() { impl().addNew(); }
void Recordset::edit() { impl().edit(); }
void Recordset::update() { impl().update(); }
void Recordset::cancelUpdate() { impl().cancelUpdate(); }
Recordset::EditMode Recordset::editMode() const { return impl().editMode(); }
void Recordset::deleteRow() { impl().deleteRow(); }
void Recordset::requery() { impl().requery(); }
bool Recordset::updatable() const { return impl().updatable(); }

void Recordset::setFilter(std::string_view expr) {
  impl().checkOpen();
  impl().filter = std::string(expr);
}
const std::string& Recordset::filter() const {
  impl().checkOpen();
  return impl().filter;
}
Recordset Recordset::openRecordset() const { return Recordset(impl().openFiltered()); }

bool Recordset::findFirst(std::string_view c) { return impl().find(c, detail::RecordsetImpl::Find::First); }
bool Recordset::findLast(std::string_view c) { return impl().find(c, detail::RecordsetImpl::Find::Last); }
bool Recordset::findNext(std::string_view c) { return impl().find(c, detail::RecordsetImpl::Find::Next); }
bool Recordset::findPrevious(std::string_view c) { return impl().find(c, detail::RecordsetImpl::Find::Previous); }
bool Recordset::noMatch() const { return impl().noMatch(); }

Recordset::Bookmark Recordset::bookmark() const { return impl().bookmark(); }
void Recordset::setBookmark(Bookmark mark) { impl().setBookmark(mark); }
Recordset::Bookmark Recordset::lastModified() const { return impl().lastModified(); }
const std::string& Recordset::sql() const { return impl().sql(); }

}  // namespace pellary::dao
