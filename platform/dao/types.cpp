#include "platform/dao/types.h"

#include <cctype>
#include <string>

#include "platform/paths.h"

namespace pellary::dao {

ColumnType columnTypeFromDeclared(std::string_view declared) {
  // The first word decides; "TEXT(50)" and "DOUBLE PRECISION" are their first word.
  size_t n = 0;
  while (n < declared.size() && (std::isalnum(static_cast<unsigned char>(declared[n])) || declared[n] == '_')) ++n;
  const std::string word = paths::toUpperAscii(declared.substr(0, n));
  struct Entry {
    const char* name;
    ColumnType type;
  };
  static const Entry table[] = {
      {"SHORT", ColumnType::Integer},   {"SMALLINT", ColumnType::Integer}, {"INTEGER2", ColumnType::Integer},
      {"LONG", ColumnType::Long},       {"INTEGER", ColumnType::Long},     {"INT", ColumnType::Long},
      {"INTEGER4", ColumnType::Long},   {"SINGLE", ColumnType::Single},    {"DOUBLE", ColumnType::Double},
      {"FLOAT", ColumnType::Double},    {"REAL", ColumnType::Double},      {"NUMBER", ColumnType::Double},
      {"DATETIME", ColumnType::Date},   {"DATE", ColumnType::Date},        {"TIME", ColumnType::Date},
      {"TEXT", ColumnType::Text},       {"CHAR", ColumnType::Text},        {"VARCHAR", ColumnType::Text},
      {"STRING", ColumnType::Text},     {"MEMO", ColumnType::Memo},        {"LONGTEXT", ColumnType::Memo},
      {"LONGCHAR", ColumnType::Memo},   {"NOTE", ColumnType::Memo},        {"BIT", ColumnType::Boolean},
      {"BOOLEAN", ColumnType::Boolean}, {"YESNO", ColumnType::Boolean},    {"LOGICAL", ColumnType::Boolean},
  };
  for (const Entry& e : table)
    if (word == e.name) return e.type;
  return ColumnType::Untyped;
}

std::string_view declaredTypeName(ColumnType type) {
  switch (type) {
    case ColumnType::Integer: return "SHORT";
    case ColumnType::Long: return "LONG";
    case ColumnType::Single: return "SINGLE";
    case ColumnType::Double: return "DOUBLE";
    case ColumnType::Date: return "DATETIME";
    case ColumnType::Text: return "TEXT";
    case ColumnType::Memo: return "LONGTEXT";
    case ColumnType::Boolean: return "BIT";
    case ColumnType::Untyped: break;
  }
  return "";
}

}  // namespace pellary::dao
