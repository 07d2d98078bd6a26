#include "update/cue/cue_values.h"

#include <cstdio>

#include "platform/errors.h"
#include "platform/oledate.h"
#include "platform/text/codepages.h"

namespace pellary::cue {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
}  // namespace

ValueReader::ValueReader(std::string bytes) : bytes_(std::move(bytes)) {}

bool ValueReader::nextRecord() {
  while (pos_ < bytes_.size()) {
    char c = bytes_[pos_];
    if (isBlank(c)) {
      ++pos_;
    } else if (c == '\n') {
      ++pos_;
      ++line_;
    } else if (c == '\r') {
      ++pos_;
      if (pos_ < bytes_.size() && bytes_[pos_] == '\n') ++pos_;
      ++line_;
    } else {
      return true;
    }
  }
  return false;
}

void ValueReader::endOfValue() {
  // Consumes the comma or the line end (CR LF, CR or LF) that ends a value.
  if (pos_ >= bytes_.size()) return;
  char c = bytes_[pos_];
  if (c == ',') {
    ++pos_;
  } else if (c == '\r') {
    ++pos_;
    if (pos_ < bytes_.size() && bytes_[pos_] == '\n') ++pos_;
    ++line_;
  } else if (c == '\n') {
    ++pos_;
    ++line_;
  }
}

std::string_view ValueReader::rawValue(bool& quoted) {
  while (pos_ < bytes_.size() && isBlank(bytes_[pos_])) ++pos_;
  if (pos_ >= bytes_.size()) raise(kInputPastEnd, "Input past end of file");
  quoted = bytes_[pos_] == '"';
  std::string_view all(bytes_);
  if (quoted) {
    size_t start = ++pos_;
    size_t close = start;
    while (close < bytes_.size() && bytes_[close] != '"') {
      // A quoted value stays on its line: an open quote would swallow records.
      if (isLineEnd(bytes_[close])) raise(err::TypeMismatch, "Quoted value not closed on its line");
      ++close;
    }
    if (close >= bytes_.size()) raise(err::TypeMismatch, "Quoted value not closed on its line");
    pos_ = close + 1;
    while (pos_ < bytes_.size() && isBlank(bytes_[pos_])) ++pos_;
    if (pos_ < bytes_.size() && bytes_[pos_] != ',' && !isLineEnd(bytes_[pos_]))
      raise(err::TypeMismatch, "Text after the closing quote of a value");
    std::string_view v = all.substr(start, close - start);
    endOfValue();
    return v;
  }
  size_t start = pos_;
  while (pos_ < bytes_.size() && bytes_[pos_] != ',' && !isLineEnd(bytes_[pos_])) ++pos_;
  size_t end = pos_;
  while (end > start && isBlank(bytes_[end - 1])) --end;
  std::string_view v = all.substr(start, end - start);
  endOfValue();
  return v;
}

std::string ValueReader::readString() {
  bool quoted = false;
  std::string_view raw = rawValue(quoted);
  // Text holds no control bytes: a NUL would cut it short in every reader.
  for (char c : raw) {
    auto b = static_cast<unsigned char>(c);
    if ((b < 0x20 && b != '\t') || b == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", unsigned(b));
      raise(err::InvalidCall, std::string("Control character ") + hex + " in text");
    }
  }
  return platform::text::cp1252ToUtf8(raw);
}

int64_t ValueReader::readNumber(int64_t low, int64_t high) {
  bool quoted = false;
  long at = line_;
  std::string_view raw = rawValue(quoted);
  if (quoted) {
    while (!raw.empty() && isBlank(raw.front())) raw.remove_prefix(1);
    while (!raw.empty() && isBlank(raw.back())) raw.remove_suffix(1);
  }
  if (raw.empty()) return 0;
  size_t i = 0;
  bool negative = false;
  if (raw[0] == '-' || raw[0] == '+') {
    negative = raw[0] == '-';
    ++i;
  }
  if (i == raw.size()) raise(err::TypeMismatch, "Not a number: \"" + std::string(raw) + "\" (line " + std::to_string(at) + ")");
  int64_t value = 0;
  bool tooBig = false;
  for (; i < raw.size(); ++i) {
    char c = raw[i];
    if (c < '0' || c > '9')
      raise(err::TypeMismatch, "Not a number: \"" + std::string(raw) + "\" (line " + std::to_string(at) + ")");
    if (!tooBig) {
      value = value * 10 + (c - '0');
      if (value > (int64_t(1) << 40)) tooBig = true;
    }
  }
  if (negative) value = -value;
  if (tooBig || value < low || value > high)
    raise(err::Overflow, "Overflow: " + std::string(raw) + " (line " + std::to_string(at) + ")");
  return value;
}

int16_t ValueReader::readInteger() { return int16_t(readNumber(INT16_MIN, INT16_MAX)); }
int32_t ValueReader::readLong() { return int32_t(readNumber(INT32_MIN, INT32_MAX)); }

double oleFromTimeCode(int32_t seconds) {
  // Plain arithmetic on the civil calendar; the local time zone plays no part.
  return platform::oleFromUnixSeconds(seconds);
}

std::string trimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

}  // namespace pellary::cue
