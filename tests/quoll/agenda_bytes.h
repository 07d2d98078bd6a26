// Building Series 3 Agenda files byte by byte for the tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace pellary::quoll::testing {

// Bytes from hex text; spaces are ignored ("0E 20 01 00").
inline std::string hex(std::string_view text) {
  std::string out;
  int nibble = -1;
  for (char c : text) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    if (v < 0) continue;
    if (nibble < 0) {
      nibble = v;
    } else {
      out += char(nibble * 16 + v);
      nibble = -1;
    }
  }
  return out;
}

inline std::string u16(uint32_t v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
inline std::string u32(uint32_t v) { return u16(v & 0xFFFF) + u16(v >> 16); }

// The 20-byte file header with the first record at `first`; the 18 leading
// bytes are set to something that is not zero so that a stray write shows.
inline std::string fileHeader(uint32_t first = 20) { return std::string(18, '\x5A') + u16(first); }

// A record: header of type and body length, then the body.
inline std::string record(int type, std::string_view body) {
  return u16(uint32_t(type) * 4096 + uint32_t(body.size())) + std::string(body);
}

// An untimed entry record as a Series 3 writes it (no memo).
inline std::string untimed(uint16_t day, std::string_view text, bool repeat = false) {
  std::string body = u16(day) + u16(0xFFFF) + char(repeat ? 0x1A : 0x1B) + '\x20' + '\0' + char(text.size());
  return record(2, body + std::string(text));
}
inline std::string timed(uint16_t day, uint16_t start, uint16_t duration, std::string_view text, bool repeat = false) {
  std::string body =
      u16(day) + u16(start) + char(repeat ? 0x1A : 0x1B) + '\x20' + u16(duration) + '\0' + char(text.size());
  return record(1, body + std::string(text));
}
// A repeat record of the given kind with kind-specific bytes, owned by the
// entry record at `owner`.
inline std::string repeatRecord(uint8_t kind, uint8_t interval, uint16_t endDay, uint8_t entryKind,
                                std::string_view extra, uint32_t owner) {
  std::string body =
      std::string{char(kind), char(interval)} + u16(endDay) + char(entryKind) + std::string(extra) + u32(owner);
  return record(5, body);
}

}  // namespace pellary::quoll::testing
