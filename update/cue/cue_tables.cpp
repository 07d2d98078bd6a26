#include "update/cue/cue_tables.h"

#include "platform/errors.h"
#include "update/cue/cue_values.h"

namespace pellary::cue {

namespace {
using VT = ValueType;
}

const TableLayout& primaryLayout() {
  static const TableLayout l{
      "Primary.cue",
      "Primary",
      {{"ProductID", VT::Integer}, {"PID", VT::Long}, {"PrimaryName", VT::String}, {"Status", VT::Integer}},
      {"ProductID", "PID"}};
  return l;
}

const TableLayout& secondaryLayout() {
  static const TableLayout l{"Secondary.cue",
                             "Secondary",
                             {{"ProductID", VT::Integer},
                              {"PID", VT::Integer},
                              {"SID", VT::Integer},
                              {"SecondaryName", VT::String},
                              {"Status", VT::Integer}},
                             {"ProductID", "PID", "SID"}};
  return l;
}

const TableLayout& tertiaryLayout() {
  static const TableLayout l{"Tertiary.cue",
                             "Tertiary",
                             {{"ProductID", VT::Integer},
                              {"PID", VT::Integer},
                              {"SID", VT::Integer},
                              {"TID", VT::Integer},
                              {"CatID", VT::Long},
                              {"TertiaryName", VT::String},
                              {"Priorities_Valid", VT::Integer, "CatSettings"},
                              {"Status", VT::Integer}},
                             {"ProductID", "PID", "SID", "TID"}};
  return l;
}

const TableLayout& eventCatLayout() {
  static const TableLayout l{"EVENTCAT.cue",
                             "EventCat",
                             {{"CatID", VT::Long}, {"EventID", VT::Long}, {"Status", VT::Integer}},
                             {"CatID", "EventID"}};
  return l;
}

const TableLayout& reTemplateLayout() {
  static const TableLayout l{"RETEMPLATE.cue",
                             "RETemplate",
                             {{"Product_Id", VT::Integer},
                              {"Template_Id", VT::Long},
                              {"Name", VT::String},
                              {"Status", VT::Integer},
                              {"Platforms", VT::Integer},
                              {"TimeStamp", VT::Long}},
                             {"Template_Id", "Product_Id"}};
  return l;
}

const TableLayout& reStructureLayout() {
  static const TableLayout l{"RESTRUCTURE.cue",
                             "REStructure",
                             {{"Product_Id", VT::Integer},
                              {"ParentTemplate_Id", VT::Long},
                              {"ChildTemplate_Id", VT::Long},
                              {"Status", VT::Integer},
                              {"TimeStamp", VT::Long}},
                             {"ParentTemplate_Id", "ChildTemplate_Id", "Product_Id"}};
  return l;
}

const TableLayout& productLayout() {
  static const TableLayout l{"Product.cue",
                             "Products",
                             {{"ProgProductID", VT::Integer},
                              {"ProductID", VT::Integer},
                              {"ProductName", VT::String},
                              {"Status", VT::Integer},
                              {"Viewers", VT::Integer},
                              {"GenDates", VT::Integer}},
                             {"ProductID"}};
  return l;
}

void raiseInRecord(long number, std::string_view file, size_t record, long line, std::string_view what) {
  raise(number, std::string(file) + ", record " + std::to_string(record) + " (line " + std::to_string(line) +
                    "): " + std::string(what));
}

Variant TableRows::value(size_t row, size_t column) const {
  const ColumnSpec& c = layout->columns[column];
  int s = slot_[column];
  switch (c.type) {
    case ValueType::Integer: return Variant(int16_t(numbers[row * numbersPerRow_ + size_t(s)]));
    case ValueType::Long: return Variant(int32_t(numbers[row * numbersPerRow_ + size_t(s)]));
    case ValueType::String: return Variant(texts[row * textsPerRow_ + size_t(s)]);
  }
  return Variant();
}

bool isIdColumn(std::string_view column) {
  return column.size() >= 2 && (column.back() == 'D' || column.back() == 'd') &&
         (column[column.size() - 2] == 'I' || column[column.size() - 2] == 'i');
}

namespace {
int32_t checkedId(int32_t value) {
  if (value < 0) raise(err::InvalidCall, "An ID may not be negative: " + std::to_string(value));
  return value;
}
}  // namespace

TableRecordReader::TableRecordReader(const TableLayout& layout, ValueReader& in)
    : layout_(layout), in_(in), numbers_(layout.columns.size()), texts_(layout.columns.size()) {}

bool TableRecordReader::next() {
  if (!in_.nextRecord()) return false;
  const long line = in_.line();
  size_t col = 0;
  try {
    for (; col < layout_.columns.size(); ++col) {
      const ColumnSpec& c = layout_.columns[col];
      switch (c.type) {
        case ValueType::Integer: numbers_[col] = in_.readInteger(); break;
        case ValueType::Long: numbers_[col] = in_.readLong(); break;
        case ValueType::String: texts_[col] = in_.readString(); break;
      }
      if (c.type != ValueType::String && isIdColumn(c.column)) checkedId(numbers_[col]);
    }
  } catch (const AppError& e) {
    std::string what =
        "value " + std::to_string(col + 1) + " (" + std::string(layout_.columns[col].column) + "): " + e.description();
    raiseInRecord(e.number(), layout_.file, count_ + 1, line, what);
  }
  ++count_;
  return true;
}

Variant TableRecordReader::value(size_t column) const {
  switch (layout_.columns[column].type) {
    case ValueType::Integer: return Variant(int16_t(numbers_[column]));
    case ValueType::Long: return Variant(numbers_[column]);
    case ValueType::String: return Variant(texts_[column]);
  }
  return Variant();
}

TableRows parseTable(const TableLayout& layout, std::string bytes, size_t maxRows) {
  TableRows rows;
  rows.layout = &layout;
  for (const ColumnSpec& c : layout.columns) {
    if (c.type == ValueType::String)
      rows.slot_.push_back(int(rows.textsPerRow_++));
    else
      rows.slot_.push_back(int(rows.numbersPerRow_++));
  }
  ValueReader in(std::move(bytes));
  TableRecordReader reader(layout, in);
  while (rows.count < maxRows && reader.next()) {
    for (size_t c = 0; c < layout.columns.size(); ++c) {
      if (layout.columns[c].type == ValueType::String)
        rows.texts.push_back(reader.text(c));
      else
        rows.numbers.push_back(reader.number(c));
    }
    ++rows.count;
  }
  return rows;
}

bool EventRecordReader::next(EventRecord& r) {
  static const char* const names[] = {"EventID", "Title",    "Memo",    "MemoLong",    "StartDate",
                                      "EndDate", "OnSale",   "URL",     "TelCountry",  "TelPrefix",
                                      "Tel",     "Priority", "Version", "action count"};
  if (!in_.nextRecord()) return false;
  const long line = in_.line();
  int at = 0;
  r.actions.clear();
  try {
    r.eventId = checkedId(in_.readLong()), ++at;
    r.title = in_.readString(), ++at;
    r.memo = in_.readString(), ++at;
    r.memoLong = in_.readString(), ++at;
    r.startDate = in_.readLong(), ++at;
    r.endDate = in_.readLong(), ++at;
    r.onSale = in_.readLong(), ++at;
    r.url = in_.readString(), ++at;
    r.telCountry = in_.readString(), ++at;
    r.telPrefix = in_.readString(), ++at;
    r.tel = in_.readString(), ++at;
    r.priority = in_.readInteger(), ++at;
    r.version = in_.readInteger(), ++at;
    int16_t n = in_.readInteger();
    if (n < 0) raise(err::InvalidCall, "Negative action count " + std::to_string(n));
    ++at;
    for (int i = 0; i < n; ++i) r.actions.push_back(in_.readInteger());
  } catch (const AppError& e) {
    std::string what = (at < 14 ? "value " + std::to_string(at + 1) + " (" + names[at] + ")"
                                : std::string("action code ") + std::to_string(r.actions.size() + 1)) +
                       ": " + e.description();
    raiseInRecord(e.number(), kEventsFile, count_ + 1, line, what);
  }
  ++count_;
  return true;
}

void EventRecordReader::skipBadRecord() {
  in_.skipPastLine(in_.lastValueLine());
  ++count_;
}

std::vector<EventRecord> parseEvents(std::string bytes) {
  std::vector<EventRecord> out;
  ValueReader in(std::move(bytes));
  EventRecordReader reader(in);
  EventRecord r;
  while (reader.next(r)) out.push_back(r);
  return out;
}

}  // namespace pellary::cue
