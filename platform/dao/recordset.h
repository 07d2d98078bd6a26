// An updatable cursor over a table or a SELECT, as the program's dynasets
// behave: the rows are fixed when it opens (or requeries), their values are
// read afresh from the tables, rows added through it join its end, and rows
// deleted anywhere read as deleted (3167).
//
// Handles are shared: copies of a Recordset or Field refer to the same cursor.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/dao/types.h"
#include "platform/variant.h"

namespace pellary::dao {

namespace detail {
class RecordsetImpl;
}

// One column of a recordset's current row.
class Field {
 public:
  Field(const Field&) = default;
  // The value of the current row (of the edit buffer while editing).
  Variant value() const;
  operator Variant() const { return value(); }
  bool isNull() const { return value().isNull(); }
  // Writes the edit buffer (after addNew or edit), converted to the column type.
  void setValue(const Variant& v);
  Field& operator=(const Variant& v) {
    setValue(v);
    return *this;
  }
  // Assigns the other field's value, as the Basic statement rs1!A = rs2!B does
  // (a field given its own value keeps it).
  Field& operator=(const Field& other) {  // NOLINT(bugprone-unhandled-self-assignment)
    setValue(other.value());
    return *this;
  }
  const std::string& name() const;
  ColumnType type() const;
  // The column comes from one row of a table that the recordset can write.
  bool updatable() const;

 private:
  friend class Recordset;
  Field(std::shared_ptr<detail::RecordsetImpl> rs, int index) : rs_(std::move(rs)), index_(index) {}
  std::shared_ptr<detail::RecordsetImpl> rs_;
  int index_;
};

class Recordset {
 public:
  enum class EditMode { None, Edit, AddNew };
  using Bookmark = int64_t;

  Recordset() = default;  // not set: every use raises 3420
  bool isOpen() const;
  void close();

  // Rows in the set, less those deleted through it.
  long recordCount() const;
  bool eof() const;
  bool bof() const;
  // MoveFirst and MoveLast on an empty set, MoveNext at EOF and MovePrevious at BOF raise 3021.
  void moveFirst();
  void moveLast();
  void moveNext();
  void movePrevious();

  // Fields by name without regard to case; "Table.Column" picks a column that
  // a join returns twice. An unknown name raises 3265.
  Field fields(std::string_view name) const;
  Field operator[](std::string_view name) const { return fields(name); }
  Field field(int index) const;
  int fieldCount() const;
  std::string fieldName(int index) const;

  void addNew();
  void edit();
  // Saves the edit buffer. After addNew only the columns that were set are
  // written, so column defaults apply; the new row joins the end of the set and
  // the current row stays where it was. A failure (3022 on a duplicate key)
  // keeps the buffer: cancelUpdate, a move or another addNew discards it.
  void update();
  void cancelUpdate();
  EditMode editMode() const;
  // Deletes the current row; it stays current and reads as deleted (3167) until a move.
  void deleteRow();
  // Runs the query again; positioned on the first row.
  void requery();
  // The set can add, edit and delete rows: its columns come from tables whose
  // rows it can name. Otherwise addNew, edit and deleteRow raise 3027.
  bool updatable() const;

  // The filter openRecordset() applies: a WHERE condition over the set's columns.
  void setFilter(std::string_view expr);
  const std::string& filter() const;
  // A new recordset over the rows of this one's query that match the filter.
  Recordset openRecordset() const;

  // Searches the set's rows in order for one matching the criteria (a WHERE
  // condition over the columns); on a match it becomes current, otherwise the
  // current row stays and noMatch() is true. Returns !noMatch().
  bool findFirst(std::string_view criteria);
  bool findLast(std::string_view criteria);
  bool findNext(std::string_view criteria);
  bool findPrevious(std::string_view criteria);
  bool noMatch() const;

  Bookmark bookmark() const;        // 3021 without a current row
  void setBookmark(Bookmark mark);  // 3159 for a mark of no row
  Bookmark lastModified() const;    // the row last added or edited; 3021 when none

  // The SQLite text the set runs (after adaptation).
  const std::string& sql() const;

 private:
  friend class Database;
  explicit Recordset(std::shared_ptr<detail::RecordsetImpl> impl) : impl_(std::move(impl)) {}
  detail::RecordsetImpl& impl() const;
  std::shared_ptr<detail::RecordsetImpl> impl_;
};

}  // namespace pellary::dao
