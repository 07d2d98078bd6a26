// Reading INI files the way GetPrivateProfileString does:
//
//   ; comment
//   [Section]
//   Key = value
//
// Section and key names match without regard to letter case; the first
// matching section and, inside it, the first matching key win. Spaces and tabs
// around names and values are dropped, and a value enclosed in a matching
// pair of double (or single) quotes loses them. Lines may end in CR LF or LF.
// The file is Windows-1252 text (UTF-8 when it starts with a UTF-8 byte-order
// mark); the value comes back as UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pellary::platform::ini {

// The value of key in section of the file, else defaultValue (with trailing
// blanks dropped). At most bufferSize - 1 characters come back, as a buffer
// of bufferSize characters holds them with the closing NUL. A missing or
// unreadable file, or an empty file name, reads as an empty file. fileName may
// be written with backslashes and in any letter case.
std::string getPrivateProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                                    size_t bufferSize, const std::string& fileName);

// The same over the file's text (already read, undecoded bytes).
std::string profileStringFromText(std::string_view fileBytes, std::string_view section, std::string_view key,
                                  std::string_view defaultValue, size_t bufferSize);

}  // namespace pellary::platform::ini
