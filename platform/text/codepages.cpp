#include "platform/text/codepages.h"

#include <algorithm>
#include <array>
#include <utility>

namespace pellary::platform::text {

namespace {

// Windows-1252, bytes 0x80 to 0x9F; the rest of the upper half is Latin-1.
constexpr std::array<char16_t, 32> k1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

// Code page 850, bytes 0x80 to 0xFF; the lower half is ASCII.
constexpr std::array<char16_t, 128> k850High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,  // B0
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,  // C8
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,  // D0
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,  // D8
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,  // E0
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,  // E8
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,  // F0
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,  // F8
};

// Character -> byte for an upper half, sorted by character for a binary search.
template <size_t N>
struct ReverseTable {
  std::array<std::pair<char16_t, uint8_t>, N> entries{};
  constexpr explicit ReverseTable(const std::array<char16_t, N>& high) {
    for (size_t i = 0; i < N; ++i) entries[i] = {high[i], uint8_t(0x80 + i)};
    std::sort(entries.begin(), entries.end());
  }
  int find(char32_t ch) const {
    if (ch > 0xFFFF) return -1;
    auto it = std::lower_bound(entries.begin(), entries.end(), std::pair<char16_t, uint8_t>{char16_t(ch), 0});
    return (it != entries.end() && it->first == ch) ? it->second : -1;
  }
};

const ReverseTable<32> k1252Reverse{k1252High};
const ReverseTable<128> k850Reverse{k850High};

std::string decode(std::string_view bytes, char32_t (*charOf)(uint8_t)) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char c : bytes) {
    auto b = static_cast<uint8_t>(c);
    if (b < 0x80)
      out += c;
    else
      appendUtf8(out, charOf(b));
  }
  return out;
}

std::string encode(std::string_view utf8, int (*byteOf)(char32_t)) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    int b = byteOf(nextUtf8(utf8, pos));
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

char32_t cp1252Char(uint8_t byte) {
  if (byte >= 0x80 && byte < 0xA0) return k1252High[byte - 0x80];
  return byte;
}

char32_t cp850Char(uint8_t byte) { return byte < 0x80 ? char32_t(byte) : char32_t(k850High[byte - 0x80]); }

int cp1252Byte(char32_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return int(ch);
  return k1252Reverse.find(ch);
}

int cp850Byte(char32_t ch) {
  if (ch < 0x80) return int(ch);
  return k850Reverse.find(ch);
}

std::string cp1252ToUtf8(std::string_view bytes) { return decode(bytes, cp1252Char); }
std::string utf8ToCp1252(std::string_view utf8) { return encode(utf8, cp1252Byte); }
std::string cp850ToUtf8(std::string_view bytes) { return decode(bytes, cp850Char); }
std::string utf8ToCp850(std::string_view utf8) { return encode(utf8, cp850Byte); }

char32_t nextUtf8(std::string_view s, size_t& pos) {
  auto c0 = static_cast<unsigned char>(s[pos]);
  if (c0 < 0x80) {
    ++pos;
    return c0;
  }
  size_t len;
  char32_t ch, min;
  if (c0 >= 0xC2 && c0 <= 0xDF) {
    len = 2, ch = c0 & 0x1F, min = 0x80;
  } else if (c0 >= 0xE0 && c0 <= 0xEF) {
    len = 3, ch = c0 & 0x0F, min = 0x800;
  } else if (c0 >= 0xF0 && c0 <= 0xF4) {
    len = 4, ch = c0 & 0x07, min = 0x10000;
  } else {
    ++pos;
    return kReplacementChar;
  }
  if (pos + len > s.size()) {
    ++pos;
    return kReplacementChar;
  }
  for (size_t i = 1; i < len; ++i) {
    auto c = static_cast<unsigned char>(s[pos + i]);
    if (!isContinuation(c)) {
      ++pos;
      return kReplacementChar;
    }
    ch = (ch << 6) | (c & 0x3F);
  }
  if (ch < min || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF)) {
    ++pos;
    return kReplacementChar;
  }
  pos += len;
  return ch;
}

void appendUtf8(std::string& out, char32_t ch) {
  if (ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF)) ch = kReplacementChar;
  if (ch < 0x80) {
    out += static_cast<char>(ch);
  } else if (ch < 0x800) {
    out += static_cast<char>(0xC0 | (ch >> 6));
    out += static_cast<char>(0x80 | (ch & 0x3F));
  } else if (ch < 0x10000) {
    out += static_cast<char>(0xE0 | (ch >> 12));
    out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (ch & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (ch >> 18));
    out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (ch & 0x3F));
  }
}

bool isValidUtf8(std::string_view s) {
  for (size_t pos = 0; pos < s.size();) {
    size_t before = pos;
    if (nextUtf8(s, pos) == kReplacementChar && pos - before == 1 && static_cast<unsigned char>(s[before]) >= 0x80)
      return false;
  }
  return true;
}

std::string sanitizeUtf8(std::string_view s) {
  if (isValidUtf8(s)) return std::string(s);
  std::string out;
  out.reserve(s.size() + 8);
  for (size_t pos = 0; pos < s.size();) appendUtf8(out, nextUtf8(s, pos));
  return out;
}

size_t utf8Length(std::string_view s) {
  size_t n = 0;
  for (size_t pos = 0; pos < s.size(); ++n) nextUtf8(s, pos);
  return n;
}

}  // namespace pellary::platform::text
