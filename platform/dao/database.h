// The databank file: a SQLite database reached the way the program reached its
// Jet databank. Every SQL text, table name, filter and criteria is adapted from
// Jet's dialect first (platform/dao/sql_adapt.h); errors carry Jet's numbers.
//
// Handles are shared: copies refer to one connection, which stays open until
// close() or until the last handle and the last recordset go. Recordsets of a
// closed database raise 3420.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/dao/recordset.h"

namespace pellary::dao {

namespace detail {
class Connection;
}

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

}  // namespace pellary::dao
