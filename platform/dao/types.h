// The declared column types of the databank and what each holds.
//
//   declared type                 field value      stored in SQLite as
//   SHORT (SMALLINT)              Integer (16-bit) INTEGER, range-checked on write (3349)
//   LONG (INTEGER, INT)           Long (32-bit)    INTEGER, range-checked on write (3349)
//   SINGLE                        Single           REAL
//   DOUBLE (FLOAT, REAL, NUMBER)  Double           REAL
//   DATETIME (DATE, TIME)         Date             REAL, the OLE day number (0 = 30 Dec 1899)
//   TEXT (TEXT(n), CHAR, VARCHAR) String           TEXT, COLLATE NOCASE
//   MEMO (LONGTEXT)               String           TEXT, COLLATE NOCASE
//   BIT (BOOLEAN, YESNO, LOGICAL) Boolean          INTEGER -1 (True) or 0 (False)
//   anything else / none          as stored        as given
//
// Jet table definitions run as written: the SQL adaptation gives every TEXT and
// MEMO column COLLATE NOCASE when its definition names no collation, and writes
// MEMO as LONGTEXT so that SQLite gives the column text affinity (a declared
// "MEMO" alone would turn a memo "0123" into the number 123).
// A Null of any column stays Null; writing a value converts it to the column's
// type (a string "12" into a LONG column stores 12; text that is no number
// raises 3421).
#pragma once

#include <cstdint>
#include <string_view>

namespace pellary::dao {

enum class ColumnType : uint8_t { Untyped, Integer, Long, Single, Double, Date, Text, Memo, Boolean };

// The column type of a declared type ("TEXT(50)", "short", "LONGTEXT"...).
ColumnType columnTypeFromDeclared(std::string_view declared);
// The declared type the schema writes for a column type ("" for Untyped).
std::string_view declaredTypeName(ColumnType type);
inline bool isTextType(ColumnType t) { return t == ColumnType::Text || t == ColumnType::Memo; }

}  // namespace pellary::dao
