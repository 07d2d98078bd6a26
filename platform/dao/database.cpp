#include "platform/dao/database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <system_error>

#include "platform/dao/connection.h"
#include "platform/dao/jet_errors.h"
#include "platform/dao/recordset_impl.h"
#include "platform/dao/sql_adapt.h"
#include "platform/errors.h"
#include "platform/text/collation.h"

namespace pellary::dao {

namespace fs = std::filesystem;

namespace {

constexpr int kBusyTimeoutMs = 5000;

[[noreturn]] void invalidPath(const std::string& p) {
  raise(err::DbCannotOpen, "'" + p + "' is not a valid path. Make sure that the path name is spelled correctly.");
}

// The checks both open and create make on the path itself.
void checkPathForm(const fs::path& path) {
  const std::string p = path.string();
  if (p.empty() || p.back() == '/' || p.back() == '\\') invalidPath(p);
  std::error_code ec;
  if (fs::is_directory(path, ec)) invalidPath(p);
  fs::path parent = path.parent_path();
  if (!parent.empty() && !fs::is_directory(parent, ec)) invalidPath(p);
}

std::shared_ptr<detail::Connection> connect(const fs::path& path) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  auto conn = std::make_shared<detail::Connection>(db, path.string());
  if (rc != SQLITE_OK) conn->fail(rc, err::DbSqlError, {});
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  if (!platform::text::registerNameCollation(db)) conn->fail(SQLITE_ERROR, err::DbSqlError, {});
  // A write-ahead log: a commit costs one append, readers never wait on the
  // writer, and a killed process loses no committed work.
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  return conn;
}

}  // namespace

Database Database::open(const fs::path& path) {
  checkPathForm(path);
  const std::string p = path.string();
  std::error_code ec;
  const auto status = fs::status(path, ec);
  if (!fs::exists(status)) raise(err::DbFileNotFound, "Could not find file '" + p + "'.");
  if (!fs::is_regular_file(status)) invalidPath(p);
  // An empty file would pass as an empty databank; it is a truncated one.
  if (fs::file_size(path, ec) == 0 || ec) raise(err::DbNotDatabase, "Unrecognized database format '" + p + "'.");
  auto conn = connect(path);
  sqlite3_stmt* check = nullptr;
  int rc = conn->prepare("SELECT count(*) FROM sqlite_master", &check);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(check);
    if (rc == SQLITE_ROW) rc = SQLITE_OK;
  }
  sqlite3_finalize(check);
  if (rc != SQLITE_OK) conn->fail(rc, err::DbSqlError, {});
  return Database(std::move(conn));
}

Database Database::create(const fs::path& path) {
  checkPathForm(path);
  const std::string p = path.string();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (errno == EEXIST) raise(jet::DatabaseExists, "Database '" + p + "' already exists.");
    raise(jet::CannotOpenFile, "Cannot create the file '" + p + "'.");
  }
  ::close(fd);
  try {
    auto conn = connect(path);
    conn->run("PRAGMA user_version = 0");  // writes the file header
    return Database(std::move(conn));
  } catch (...) {
    std::error_code ec;
    fs::remove(path, ec);
    throw;
  }
}

detail::Connection& Database::conn() const {
  if (!conn_ || !conn_->isOpen()) raise(err::DbObjectClosed);
  return *conn_;
}

bool Database::isOpen() const { return conn_ && conn_->isOpen(); }

void Database::close() {
  if (conn_) conn_->close();
}

const std::string& Database::path() const { return conn().path(); }

long Database::execute(std::string_view sql) {
  detail::Connection& c = conn();
  const std::string text = sql::adaptStatement(sql);
  long changed = 0;
  const char* tail = text.c_str();
  const char* end = tail + text.size();
  c.touched();
  while (tail < end) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(c.db(), tail, int(end - tail), &stmt, &tail);
    if (rc != SQLITE_OK) c.fail(rc, err::DbSqlError, text);
    if (!stmt) continue;  // blanks or a lone ";"
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
      try {
        c.fail(rc, err::DbSqlError, text);
      } catch (...) {
        sqlite3_finalize(stmt);
        throw;
      }
    }
    changed += sqlite3_changes(c.db());
    sqlite3_finalize(stmt);
  }
  c.touched();
  return changed;
}

Recordset Database::openRecordset(std::string_view source) {
  conn();
  return Recordset(detail::RecordsetImpl::open(conn_, source));
}

void Database::beginTrans() {
  detail::Connection& c = conn();
  // The write lock is taken up front, where the busy timeout applies: a
  // deferred transaction that reads and then writes is refused at once when
  // another connection holds the lock.
  c.run(c.transactionDepth == 0 ? "BEGIN IMMEDIATE" : "SAVEPOINT dao_" + std::to_string(c.transactionDepth));
  ++c.transactionDepth;
}

void Database::commitTrans() {
  detail::Connection& c = conn();
  if (c.transactionDepth == 0)
    raise(jet::NoTransaction, "You tried to commit or rollback a transaction without first beginning a transaction.");
  if (sqlite3_get_autocommit(c.db())) {
    // The engine rolled the work back after an error of its own.
    c.transactionDepth = 0;
    c.touched();
    raise(err::DbFailed, "The transaction was rolled back by the database engine and cannot be committed.");
  }
  c.run(c.transactionDepth == 1 ? "COMMIT" : "RELEASE dao_" + std::to_string(c.transactionDepth - 1));
  --c.transactionDepth;
}

void Database::rollback() {
  detail::Connection& c = conn();
  if (c.transactionDepth == 0)
    raise(jet::NoTransaction, "You tried to commit or rollback a transaction without first beginning a transaction.");
  c.touched();
  if (sqlite3_get_autocommit(c.db())) {
    c.transactionDepth = 0;
    return;
  }
  if (c.transactionDepth == 1) {
    c.run("ROLLBACK");
  } else {
    const std::string name = "dao_" + std::to_string(c.transactionDepth - 1);
    c.run("ROLLBACK TO " + name + "; RELEASE " + name);
  }
  --c.transactionDepth;
}

int Database::transactionDepth() const { return conn().transactionDepth; }

struct Statement::Prepared {
  std::shared_ptr<detail::Connection> conn;
  sqlite3_stmt* stmt = nullptr;
  std::string text;
  ~Prepared() {
    if (stmt) sqlite3_finalize(stmt);
  }
};

Statement Database::prepare(std::string_view sqliteText) {
  detail::Connection& c = conn();
  auto p = std::make_shared<Statement::Prepared>();
  p->conn = conn_;
  p->text = std::string(sqliteText);
  const int rc = c.prepare(p->text, &p->stmt);
  if (rc != SQLITE_OK) c.fail(rc, err::DbSqlError, p->text);
  return Statement(std::move(p));
}

std::vector<Database::Row> Database::select(std::string_view sqliteText, const std::vector<Variant>& params) {
  detail::Connection& c = conn();
  const std::string text(sqliteText);
  sqlite3_stmt* stmt = c.cached(text, err::DbSqlError);
  detail::StatementScope scope(stmt);
  sqlite3_clear_bindings(stmt);
  for (size_t i = 0; i < params.size(); ++i) detail::bindValue(stmt, int(i) + 1, params[i]);
  std::vector<Row> rows;
  const int columns = sqlite3_column_count(stmt);
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    Row& row = rows.emplace_back();
    row.reserve(size_t(columns));
    for (int i = 0; i < columns; ++i) {
      switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_NULL: row.push_back(Variant::null()); break;
        case SQLITE_INTEGER: row.emplace_back(sqlite3_column_int64(stmt, i)); break;
        case SQLITE_FLOAT: row.emplace_back(sqlite3_column_double(stmt, i)); break;
        default: {
          const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
          row.emplace_back(std::string(bytes ? bytes : "", size_t(sqlite3_column_bytes(stmt, i))));
        }
      }
    }
  }
  if (rc != SQLITE_DONE) c.fail(rc, err::DbSqlError, text);
  return rows;
}

namespace {
sqlite3_stmt* boundStatement(const std::shared_ptr<Statement::Prepared>& p, int rc) {
  if (rc != SQLITE_OK) p->conn->fail(rc, err::DbSqlError, p->text);
  return p->stmt;
}
}  // namespace

Statement& Statement::bindNull(int index) {
  p_->conn->db();
  boundStatement(p_, sqlite3_bind_null(p_->stmt, index));
  return *this;
}

Statement& Statement::bindInt(int index, int64_t value) {
  p_->conn->db();
  boundStatement(p_, sqlite3_bind_int64(p_->stmt, index, value));
  return *this;
}

Statement& Statement::bindDouble(int index, double value) {
  p_->conn->db();
  boundStatement(p_, sqlite3_bind_double(p_->stmt, index, value));
  return *this;
}

Statement& Statement::bindText(int index, std::string_view text) {
  p_->conn->db();
  boundStatement(p_, sqlite3_bind_text(p_->stmt, index, text.data(), int(text.size()), SQLITE_TRANSIENT));
  return *this;
}

long Statement::run() {
  detail::Connection& c = *p_->conn;
  sqlite3* db = c.db();
  c.touched();
  int rc;
  while ((rc = sqlite3_step(p_->stmt)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) {
    try {
      c.fail(rc, err::DbSqlError, p_->text);
    } catch (...) {
      sqlite3_reset(p_->stmt);
      throw;
    }
  }
  sqlite3_reset(p_->stmt);
  return long(sqlite3_changes(db));
}

}  // namespace pellary::dao
