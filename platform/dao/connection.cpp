#include "platform/dao/connection.h"

#include <cmath>
#include <limits>

#include "platform/dao/jet_errors.h"
#include "platform/errors.h"

namespace pellary::dao::detail {

namespace {
constexpr size_t kCacheSize = 200;

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }
}  // namespace

sqlite3* Connection::db() const {
  if (!db_) raise(err::DbObjectClosed);
  return db_;
}

void Connection::close() {
  if (!db_) return;
  for (auto& [sql, e] : cache_) sqlite3_finalize(e.stmt);
  cache_.clear();
  ages_.clear();
  sqlite3_close_v2(db_);
  db_ = nullptr;
  transactionDepth = 0;
  ++version_;
}

int Connection::prepare(const std::string& sql, sqlite3_stmt** out) const {
  *out = nullptr;
  return sqlite3_prepare_v2(db(), sql.c_str(), int(sql.size()), out, nullptr);
}

sqlite3_stmt* Connection::cached(const std::string& sql, long syntaxNumber) {
  auto it = cache_.find(sql);
  if (it != cache_.end()) {
    ages_.splice(ages_.begin(), ages_, it->second.age);
    return it->second.stmt;
  }
  sqlite3_stmt* stmt = nullptr;
  const int rc = sqlite3_prepare_v3(db(), sql.c_str(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt);
    fail(rc, syntaxNumber, sql);
  }
  if (cache_.size() >= kCacheSize) {
    // Statements are reset after every use, so the oldest is free to go.
    auto old = cache_.find(ages_.back());
    sqlite3_finalize(old->second.stmt);
    cache_.erase(old);
    ages_.pop_back();
  }
  ages_.push_front(sql);
  cache_.emplace(sql, Entry{stmt, ages_.begin()});
  return stmt;
}

void Connection::run(const std::string& sql) {
  char* msg = nullptr;
  const int rc = sqlite3_exec(db(), sql.c_str(), nullptr, nullptr, &msg);
  sqlite3_free(msg);
  if (rc != SQLITE_OK) fail(rc, err::DbSqlError, sql);
}

void Connection::fail(int rc, long syntaxNumber, std::string_view text) const {
  const int ext = db_ ? sqlite3_extended_errcode(db_) : rc;
  const std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
  const std::string detail = " (" + msg + ")";
  switch (rc & 0xff) {
    case SQLITE_CONSTRAINT:
      if (ext == SQLITE_CONSTRAINT_UNIQUE || ext == SQLITE_CONSTRAINT_PRIMARYKEY) raise(err::DbDuplicateKey);
      if (ext == SQLITE_CONSTRAINT_NOTNULL) {
        const size_t colon = msg.rfind(": ");
        const std::string field = colon == std::string::npos ? msg : msg.substr(colon + 2);
        raise(jet::NullNotAllowed, "You must enter a value in the '" + field + "' field.");
      }
      raise(jet::ValidationRule,
            "One or more values are prohibited by the validation rule set for the table." + detail);
    case SQLITE_BUSY:
    case SQLITE_LOCKED: raise(jet::Locked, "Could not update; currently locked." + detail);
    case SQLITE_READONLY: raise(err::DbNotUpdatable, "Cannot update. Database or object is read-only." + detail);
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: raise(err::DbNotDatabase, "Unrecognized database format '" + path_ + "'.");
    case SQLITE_FULL: raise(jet::DiskFull, "Not enough space on disk.");
    case SQLITE_IOERR: raise(jet::DiskError, "Disk or network error." + detail);
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
      raise(jet::CannotOpenFile,
            "Cannot open the file '" + path_ + "'; you need permission to read and write it." + detail);
    case SQLITE_NOMEM:
    case SQLITE_TOOBIG: raise(err::OutOfMemory);
    case SQLITE_ERROR:
      if (startsWith(msg, "no such table: "))
        raise(jet::NoSuchTable, "The database engine cannot find the input table or query '" + msg.substr(15) + "'.");
      if (startsWith(msg, "no such column: ") || startsWith(msg, "ambiguous column name: ")) {
        if (syntaxNumber == err::DbSyntax)
          raise(jet::UnknownName, "The database engine does not recognize '" + msg.substr(msg.find(": ") + 2) +
                                      "' as a valid field name or expression.");
        raise(jet::TooFewParameters, "Too few parameters. Expected 1." + detail);
      }
      if (syntaxNumber == err::DbSyntax)
        raise(err::DbSyntax, "Syntax error in query expression '" + std::string(text) + "'." + detail);
      raise(err::DbSqlError, "Syntax error in SQL statement." + detail);
    default: break;
  }
  raise(err::DbFailed, "Database engine call failed." + detail);
}

void bindValue(sqlite3_stmt* stmt, int index, const Variant& v) {
  switch (v.type()) {
    case Variant::Type::Empty:
    case Variant::Type::Null: sqlite3_bind_null(stmt, index); break;
    case Variant::Type::Integer:
    case Variant::Type::Long:
    case Variant::Type::Boolean: sqlite3_bind_int64(stmt, index, v.toLong()); break;
    case Variant::Type::Single:
    case Variant::Type::Double:
    case Variant::Type::Date: sqlite3_bind_double(stmt, index, v.toDouble()); break;
    case Variant::Type::String: {
      const std::string s = v.toString();
      sqlite3_bind_text(stmt, index, s.data(), int(s.size()), SQLITE_TRANSIENT);
      break;
    }
    case Variant::Type::Object: raise(err::DbTypeConversion);
  }
}

namespace {

Variant naturalValue(sqlite3_stmt* stmt, int col) {
  switch (sqlite3_column_type(stmt, col)) {
    case SQLITE_INTEGER: {
      const sqlite3_int64 v = sqlite3_column_int64(stmt, col);
      if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
        return Variant(int32_t(v));
      return Variant(double(v));
    }
    case SQLITE_FLOAT: return Variant(sqlite3_column_double(stmt, col));
    case SQLITE_NULL: return Variant::null();
    default: {
      const unsigned char* t = sqlite3_column_text(stmt, col);
      return Variant(std::string(reinterpret_cast<const char*>(t ? t : reinterpret_cast<const unsigned char*>("")),
                                 size_t(sqlite3_column_bytes(stmt, col))));
    }
  }
}

bool isNumberStorage(int t) { return t == SQLITE_INTEGER || t == SQLITE_FLOAT; }

}  // namespace

Variant columnValue(sqlite3_stmt* stmt, int col, ColumnType type) {
  const int storage = sqlite3_column_type(stmt, col);
  if (storage == SQLITE_NULL) return Variant::null();
  switch (type) {
    case ColumnType::Integer:
    case ColumnType::Long:
      if (storage == SQLITE_INTEGER) {
        const sqlite3_int64 v = sqlite3_column_int64(stmt, col);
        if (type == ColumnType::Integer && v >= -32768 && v <= 32767) return Variant(int16_t(v));
        if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
          return Variant(int32_t(v));
        return Variant(double(v));
      }
      break;
    case ColumnType::Single:
      if (isNumberStorage(storage)) return Variant(float(sqlite3_column_double(stmt, col)));
      break;
    case ColumnType::Double:
      if (isNumberStorage(storage)) return Variant(sqlite3_column_double(stmt, col));
      break;
    case ColumnType::Date:
      if (isNumberStorage(storage)) return Variant::date(sqlite3_column_double(stmt, col));
      break;
    case ColumnType::Boolean:
      if (isNumberStorage(storage)) return Variant(sqlite3_column_double(stmt, col) != 0);
      break;
    case ColumnType::Text:
    case ColumnType::Memo:
      if (storage != SQLITE_TEXT) return Variant(naturalValue(stmt, col).toString());
      break;
    case ColumnType::Untyped: break;
  }
  return naturalValue(stmt, col);
}

Variant toColumnType(const Variant& v, ColumnType type) {
  if (v.isNull() || v.isEmpty()) return Variant::null();
  try {
    switch (type) {
      case ColumnType::Integer: return Variant(v.toInteger());
      case ColumnType::Long: return Variant(v.toLong());
      case ColumnType::Single: {
        const double d = v.toDouble();
        if (std::fabs(d) > std::numeric_limits<float>::max()) raise(err::Overflow);
        return Variant(float(d));
      }
      case ColumnType::Double: return Variant(v.toDouble());
      case ColumnType::Date: return Variant::date(v.toDate());
      case ColumnType::Text:
      case ColumnType::Memo: return Variant(v.toString());
      case ColumnType::Boolean: return Variant(v.toBool());
      case ColumnType::Untyped:
        if (v.isObject()) raise(err::TypeMismatch);
        return v;
    }
  } catch (const AppError& e) {
    if (e.number() == err::Overflow) raise(err::DbNumericOverflow);
    if (e.number() == err::TypeMismatch) raise(err::DbTypeConversion);
    throw;
  }
  return v;
}

}  // namespace pellary::dao::detail
