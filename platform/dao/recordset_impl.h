// Inside the databank layer: the state of one recordset.
//
// When it opens, the query runs to its end once. Each result row is kept as
// the rowids of the base tables it came from (the query is run with those
// rowids appended to its select list), plus the values of columns that no
// table row holds (expressions). Values of table columns are copied while
// the copies stay small and nothing has been written since; otherwise they
// are read afresh by rowid, so the set shows rows as they are now and knows
// rows deleted since it opened. No statement stays open between calls.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/dao/connection.h"
#include "platform/dao/recordset.h"
#include "platform/dao/sql_adapt.h"
#include "platform/errors.h"

namespace pellary::dao::detail {

inline constexpr int64_t kNoRow = std::numeric_limits<int64_t>::min();

struct NoCaseHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const;
};
struct NoCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

struct Column {
  std::string name;    // as the result names it
  std::string table;   // table it comes from ("" for an expression)
  std::string origin;  // its name in that table
  ColumnType type = ColumnType::Untyped;
  int keyTable = -1;  // the base table whose rowid the set keeps, or -1
  int slot = -1;      // in the fixed values (keyTable < 0) or the copied values
};

struct BaseTable {
  sql::TableRef ref;
  std::vector<int> columns;  // result columns read from it
  std::string rowSql;        // reads those columns of one row by rowid
  std::string blockSql;      // the same for a block of rowids, with the rowid first
};

class RecordsetImpl {
 public:
  struct Source {
    std::string sql;       // the adapted SELECT
    std::string keyedSql;  // the same with rowids appended, when given by a parent
    std::vector<sql::TableRef> keyTables;
    long syntaxNumber = err::DbSqlError;
  };

  static std::shared_ptr<RecordsetImpl> open(std::shared_ptr<Connection> conn, std::string_view source);
  RecordsetImpl(std::shared_ptr<Connection> conn, Source src);

  bool isOpen() const { return !closed_ && conn_ && conn_->isOpen(); }
  void checkOpen() const;
  void close();

  long recordCount() const;
  bool eof() const;
  bool bof() const;
  void moveFirst();
  void moveLast();
  void moveNext();
  void movePrevious();

  int columnIndex(std::string_view name) const;  // -1 when unknown
  int fieldCount() const;
  const Column& column(int index) const;
  Variant read(int index);
  void write(int index, const Variant& value);
  bool columnUpdatable(int index) const;

  bool updatable() const;
  void addNew();
  void edit();
  void update();
  void cancelUpdate();
  Recordset::EditMode editMode() const;
  void deleteRow();
  void requery();

  std::string filter;
  std::shared_ptr<RecordsetImpl> openFiltered() const;

  enum class Find { First, Last, Next, Previous };
  bool find(std::string_view criteria, Find how);
  bool noMatch() const;

  int64_t bookmark();
  void setBookmark(int64_t mark);
  int64_t lastModified() const;
  const std::string& sql() const;

 private:
  struct Criteria {
    std::string text;  // as given
    std::string sql;   // SELECT (condition) with ?N for the columns
    std::vector<int> columns;
  };

  void run();
  void clearRows();
  void buildColumns(sqlite3_stmt* stmt, int count, const std::vector<sql::TableRef>& keyTables);
  size_t keyCount() const { return tables_.size(); }
  int64_t key(size_t row, int table) const { return rowKeys_[row * keyCount() + size_t(table)]; }
  bool loadRow(size_t row, std::vector<Variant>& out);
  void fillWindow(size_t row);
  const std::vector<Variant>& current();
  int64_t seek(int64_t start, int direction);
  void discardEdit();
  void markDeleted(size_t row);
  void wrote();
  Variant defaultValue(int index);
  const Criteria& compile(std::string_view criteria);
  bool matches(const Criteria& c, const std::vector<Variant>& row);
  int writableTable(bool needKey) const;

  std::shared_ptr<Connection> conn_;
  Source src_;
  std::vector<sql::Token> tokens_;
  sql::SelectShape shape_;
  std::string keyedSql_;  // what ran, rowids appended ("" when the set has no keys)

  std::vector<Column> cols_;
  std::vector<BaseTable> tables_;
  std::unordered_map<std::string, int, NoCaseHash, NoCaseEqual> byName_;
  int fixedCount_ = 0, copiedCount_ = 0;

  size_t rows_ = 0;
  long liveRows_ = 0;
  std::vector<int64_t> rowKeys_;  // rows_ x keyCount()
  std::vector<Variant> fixed_;    // rows_ x fixedCount_
  std::vector<Variant> copies_;   // copiedRows_ x copiedCount_
  size_t copiedRows_ = 0;
  uint64_t copiesVersion_ = 0;
  std::vector<uint8_t> deleted_;
  // Table values of rows around the last one read, fetched together: each
  // statement outside a transaction costs the engine a read lock of its own.
  struct Window {
    size_t first = 0, count = 0;
    uint64_t version = 0;
    size_t size = 0;              // of the last fill; doubles while nothing is written
    std::vector<Variant> values;  // count x copiedCount_
    std::vector<uint8_t> present;
  } window_;

  int64_t pos_ = -1;
  bool bof_ = true, eof_ = true;
  std::vector<Variant> cur_;
  int64_t curRow_ = -1;
  uint64_t curVersion_ = 0;

  Recordset::EditMode mode_ = Recordset::EditMode::None;
  std::vector<Variant> pending_;
  std::vector<uint8_t> isSet_;
  std::vector<std::optional<Variant>> defaults_;
  std::unordered_map<std::string, std::string> writeSql_;  // buffer shape -> INSERT or UPDATE text

  int64_t lastModified_ = -1;
  bool noMatch_ = false;
  bool closed_ = false;
  std::vector<Criteria> criteria_;  // recently compiled
};

}  // namespace pellary::dao::detail
