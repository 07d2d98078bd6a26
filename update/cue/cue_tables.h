// The record layouts of the table files, the events file and "Product.cue",
// and reading a whole file into checked records before anything is written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/variant.h"

namespace pellary::cue {

enum class ValueType : uint8_t { Integer, Long, String };

struct ColumnSpec {
  std::string_view column;
  ValueType type;
  std::string_view alsoColumn = {};  // a second column that gets the same value
};

struct TableLayout {
  std::string_view file;              // in "CUE"
  std::string_view table;             // in the databank
  std::vector<ColumnSpec> columns;    // in file order
  std::vector<std::string_view> key;  // the table's unique key
};

// The six table files of an update packet. The seventh value of a Tertiary
// record goes to both Priorities_Valid and CatSettings: the category lists read
// CatSettings.
const TableLayout& primaryLayout();
const TableLayout& secondaryLayout();
const TableLayout& tertiaryLayout();
const TableLayout& eventCatLayout();
const TableLayout& reTemplateLayout();
const TableLayout& reStructureLayout();
// "Product.cue": one line, the installed product's Products row.
const TableLayout& productLayout();

// The rows of one table file, checked against the layout.
struct TableRows {
  const TableLayout* layout = nullptr;
  size_t count = 0;
  std::vector<int32_t> numbers;    // the number columns, row after row
  std::vector<std::string> texts;  // the string columns, row after row

  // The value of column c of row r, typed for the databank.
  Variant value(size_t row, size_t column) const;

 private:
  friend TableRows parseTable(const TableLayout&, std::string, size_t);
  std::vector<int> slot_;  // per column: index among the numbers or the texts of a row
  size_t numbersPerRow_ = 0, textsPerRow_ = 0;
};

// A column that holds an ID (its name ends in "ID" or "Id"): never negative.
bool isIdColumn(std::string_view column);

class ValueReader;

// Reads a table file record by record, each checked as parseTable checks it;
// the memory it takes does not grow with the file.
class TableRecordReader {
 public:
  TableRecordReader(const TableLayout& layout, ValueReader& in);
  // Moves to the next record; false at the end of the file.
  bool next();
  // The current record's value of column c: numbers and texts apart.
  int32_t number(size_t column) const { return numbers_[column]; }
  const std::string& text(size_t column) const { return texts_[column]; }
  Variant value(size_t column) const;
  size_t records() const { return count_; }

 private:
  const TableLayout& layout_;
  ValueReader& in_;
  std::vector<int32_t> numbers_;
  std::vector<std::string> texts_;
  size_t count_ = 0;
};

// Reads every record of the file's bytes (at most maxRows). A malformed record
// (a value that does not fit its type, a negative ID, a control byte in text)
// raises AppError with the reader's number and a description naming the file,
// the record, its line and the column.
TableRows parseTable(const TableLayout& layout, std::string bytes, size_t maxRows = SIZE_MAX);

// One record of "events.kest".
struct EventRecord {
  int32_t eventId = 0;
  std::string title, memo, memoLong;
  int32_t startDate = 0, endDate = 0, onSale = 0;  // time codes
  std::string url, telCountry, telPrefix, tel;
  int16_t priority = 0, version = 0;
  std::vector<int16_t> actions;
};

inline constexpr std::string_view kEventsFile = "events.kest";
std::vector<EventRecord> parseEvents(std::string bytes);

// Reads "events.kest" record by record, each checked as parseEvents checks it.
class EventRecordReader {
 public:
  explicit EventRecordReader(ValueReader& in) : in_(in) {}
  bool next(EventRecord& record);
  size_t records() const { return count_; }
  // After next() raised: passes over the rest of the bad record's line, so
  // that the next call reads the record after it.
  void skipBadRecord();

 private:
  ValueReader& in_;
  size_t count_ = 0;
};

// "File.cue, record 3 (line 5): " + what, keeping the number.
[[noreturn]] void raiseInRecord(long number, std::string_view file, size_t record, long line, std::string_view what);

}  // namespace pellary::cue
