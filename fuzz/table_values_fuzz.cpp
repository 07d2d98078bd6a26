// Fuzzes the value reader of the table files and the events file: any bytes
// are either read into records or refused with a numbered error, never a
// crash; what is read keeps the promises the loaders rely on (no ID below 0,
// no control byte in a text, the row count matching the values).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/errors.h"
#include "update/cue/cue_tables.h"

using namespace pellary;
using namespace pellary::cue;

namespace {

void checkText(const std::string& text) {
  for (unsigned char c : text)
    if ((c < 0x20 && c != '\t') || c == 0x7F) std::abort();
}

void table(const TableLayout& layout, const std::string& bytes) {
  try {
    TableRows rows = parseTable(layout, bytes);
    size_t numbers = 0, texts = 0;
    for (const ColumnSpec& c : layout.columns) (c.type == ValueType::String ? texts : numbers)++;
    if (rows.numbers.size() != rows.count * numbers || rows.texts.size() != rows.count * texts) std::abort();
    for (size_t r = 0; r < rows.count; ++r)
      for (size_t c = 0; c < layout.columns.size(); ++c) {
        Variant v = rows.value(r, c);
        if (layout.columns[c].type == ValueType::String)
          checkText(v.toString());
        else if (isIdColumn(layout.columns[c].column) && v.toLong() < 0)
          std::abort();
      }
  } catch (const AppError& e) {
    if (e.number() == 0 || e.description().find(std::string(layout.file)) == std::string::npos) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const TableLayout* l : {&primaryLayout(), &secondaryLayout(), &tertiaryLayout(), &eventCatLayout(),
                               &reTemplateLayout(), &reStructureLayout(), &productLayout()})
    table(*l, bytes);
  try {
    for (const EventRecord& r : parseEvents(bytes)) {
      if (r.eventId < 0) std::abort();
      for (const std::string* t : {&r.title, &r.memo, &r.memoLong, &r.url, &r.telCountry, &r.telPrefix, &r.tel})
        checkText(*t);
    }
  } catch (const AppError& e) {
    if (e.number() == 0 || e.description().find("events.kest") == std::string::npos) std::abort();
  }
  return 0;
}
