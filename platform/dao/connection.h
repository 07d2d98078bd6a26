// Inside the databank layer: the open SQLite connection shared by a database
// and its recordsets, its statement cache, error mapping and value binding.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/dao/types.h"
#include "platform/variant.h"

namespace pellary::dao::detail {

class Connection {
 public:
  Connection(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
  ~Connection() { close(); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool isOpen() const { return db_ != nullptr; }
  // The handle; raises 3420 once the database is closed.
  sqlite3* db() const;
  const std::string& path() const { return path_; }
  void close();

  // A statement kept prepared for the layer's own repeated texts.
  sqlite3_stmt* cached(const std::string& sql, long syntaxNumber);
  // Prepares a one-off statement; 0 on success, else the SQLite code (nothing raised).
  int prepare(const std::string& sql, sqlite3_stmt** out) const;
  // Runs statements that return no rows the layer needs (transaction control).
  void run(const std::string& sql);

  // Raises the databank error for a failed SQLite call; syntaxNumber is used
  // for syntax errors (3131 for statements, 3075 for filters and criteria).
  [[noreturn]] void fail(int rc, long syntaxNumber, std::string_view text) const;

  // Grows whenever this connection may have changed rows, so that recordsets
  // know their copies of row values are stale.
  uint64_t dataVersion() const { return version_; }
  void touched() { ++version_; }

  int transactionDepth = 0;

 private:
  struct Entry {
    sqlite3_stmt* stmt;
    std::list<std::string>::iterator age;
  };
  sqlite3* db_;
  std::string path_;
  uint64_t version_ = 1;
  std::unordered_map<std::string, Entry> cache_;
  std::list<std::string> ages_;  // most recently used first
};

// Resets a statement when the scope ends, so that no read stays open.
class StatementScope {
 public:
  explicit StatementScope(sqlite3_stmt* s) : s_(s) {}
  ~StatementScope() {
    if (s_) sqlite3_reset(s_);
  }
  StatementScope(const StatementScope&) = delete;
  StatementScope& operator=(const StatementScope&) = delete;

 private:
  sqlite3_stmt* s_;
};

void bindValue(sqlite3_stmt* stmt, int index, const Variant& value);
// A column of the current result row as a value of the column's type.
Variant columnValue(sqlite3_stmt* stmt, int column, ColumnType type);
// A value converted for storing in a column (3421 when it does not convert, 3349 out of range).
Variant toColumnType(const Variant& value, ColumnType type);

}  // namespace pellary::dao::detail
