// The databank file: a SQLite database reached the way the program reached its
// Jet databank. Every SQL text, table name, filter and criteria is adapted from
// Jet's dialect first (platform/dao/sql_adapt.h); errors carry Jet's numbers.
//
// Handles are shared: copies refer to one connection, which stays open until
// close() or until the last handle and the last recordset go. Recordsets of a
// closed database raise 3420.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dao/recordset.h"

namespace pellary::dao {

namespace detail {
class Connection;
}

// A statement in SQLite's own dialect (not adapted from Jet's), prepared once
// and run once per row: the bulk loads' path. Parameters are bound by position
// from 1 and stay bound until bound again; run() steps the statement to its end
// and returns the rows it changed. Errors carry the databank's numbers (3022
// for a duplicate key). The statement is released with its last handle.
class Statement {
 public:
  Statement() = default;
  Statement& bindNull(int index);
  Statement& bindInt(int index, int64_t value);
  Statement& bindDouble(int index, double value);
  Statement& bindText(int index, std::string_view text);
  long run();

  struct Prepared;  // the prepared statement and its connection

 private:
  friend class Database;
  explicit Statement(std::shared_ptr<Prepared> p) : p_(std::move(p)) {}
  std::shared_ptr<Prepared> p_;
};

class Database {
 public:
  Database() = default;  // closed

  // Opens an existing databank read-write; never creates a file. A missing file
  // raises 3024, a folder or a malformed path 3044, a file that is no databank 3343.
  static Database open(const std::filesystem::path& path);
  // Creates a new, empty databank; refuses an existing file (3204).
  static Database create(const std::filesystem::path& path);

  bool isOpen() const;
  void close();
  const std::string& path() const;

  // Runs statements that return no rows (DDL and DML); several may be
  // separated by ";". Returns the number of rows changed.
  long execute(std::string_view sql);
  // A dynaset over a table name or a SELECT text.
  Recordset openRecordset(std::string_view source);
  // A statement for bulk work (see Statement); its text is SQLite's own.
  Statement prepare(std::string_view sqliteText);
  // One row of select(): its columns' values in the order the query names them.
  using Row = std::vector<Variant>;
  // Runs a SELECT in SQLite's own dialect, its parameters bound by position
  // from 1, through a statement the connection keeps prepared: a query run
  // once per row of another costs its binding and its steps, not a parse.
  // Integers come back as Long (Double beyond), text as String, Null as Null.
  std::vector<Row> select(std::string_view sqliteText, const std::vector<Variant>& params = {});

  // Transactions nest: an inner rollback undoes only the inner work.
  void beginTrans();
  void commitTrans();
  void rollback();
  int transactionDepth() const;

 private:
  explicit Database(std::shared_ptr<detail::Connection> conn) : conn_(std::move(conn)) {}
  detail::Connection& conn() const;
  std::shared_ptr<detail::Connection> conn_;
};

// Runs body inside a transaction of its own: all of it is kept, or none (a
// failure rolls back and goes on to the caller).
template <class F>
void inTransaction(Database& db, F&& body) {
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

}  // namespace pellary::dao
