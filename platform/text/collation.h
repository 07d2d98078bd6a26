// The order of names as a reader expects it, for the databank's queries and
// the program's lists: letters with accents stand beside their base letters
// and letter case is ignored ("Oman", "Österreich", "Zypern"); names that
// differ only in accents are ordered by them, names that differ only in case
// compare equal. Texts are UTF-8; a text that is not valid UTF-8 is ordered by
// its bytes after every valid one rather than failing.
#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace pellary::platform::text {

// Negative, zero or positive as a orders before, with or after b.
int compareNames(std::string_view a, std::string_view b);

// A key whose byte order is the order of compareNames: sorting many names by
// their keys costs one conversion a name instead of one per comparison.
std::string nameSortKey(std::string_view name);

// The SQLite collation of compareNames, registered on every databank
// connection: "ORDER BY PrimaryName COLLATE NAMES".
inline constexpr const char* kNameCollation = "NAMES";
// Registers it on a connection; false when SQLite refuses.
bool registerNameCollation(sqlite3* db);

}  // namespace pellary::platform::text
