// The single-byte code pages of the program's files, and UTF-8 handling.
//
// Inside the program every string is UTF-8. Table files, the events file and
// INI files are Windows-1252; some handheld files are code page 850. Decoding
// never fails: every byte of both code pages has a character (the five bytes
// that Windows-1252 leaves undefined decode to the C1 control of the same
// number, as Windows does, so all 256 bytes round-trip). Encoding a character
// that the code page lacks gives '?'. Invalid UTF-8 input is never an error:
// each bad byte counts as U+FFFD.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pellary::platform::text {

inline constexpr char32_t kReplacementChar = 0xFFFD;

// The character of a byte.
char32_t cp1252Char(uint8_t byte);
char32_t cp850Char(uint8_t byte);
// The byte of a character; -1 when the code page lacks it.
int cp1252Byte(char32_t ch);
int cp850Byte(char32_t ch);

std::string cp1252ToUtf8(std::string_view bytes);
std::string utf8ToCp1252(std::string_view utf8);
std::string cp850ToUtf8(std::string_view bytes);
std::string utf8ToCp850(std::string_view utf8);

// Reads one character at pos and moves pos past it. A malformed sequence
// (bad lead byte, missing continuation, overlong form, surrogate, beyond
// U+10FFFF) yields U+FFFD and moves past one byte only.
char32_t nextUtf8(std::string_view utf8, size_t& pos);
// Appends the UTF-8 form of ch; a surrogate or a value beyond U+10FFFF is
// written as U+FFFD.
void appendUtf8(std::string& out, char32_t ch);

bool isValidUtf8(std::string_view s);
// s with every malformed sequence replaced by U+FFFD; valid text is unchanged.
std::string sanitizeUtf8(std::string_view s);
// The number of characters (malformed bytes count one each).
size_t utf8Length(std::string_view s);

}  // namespace pellary::platform::text
