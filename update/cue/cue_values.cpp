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

ValueReader::ValueReader(std::istream& in) : in_(&in) {}

bool ValueReader::fill(size_t n) {
  if (!in_) return false;
  constexpr size_t kBlock = 1 << 16;
  // What was read goes; the window keeps only what is still ahead.
  if (pos_ > 0) {
    bytes_.erase(0, pos_);
    pos_ = 0;
  }
  while (bytes_.size() < n && *in_) {
    const size_t old = bytes_.size();
    bytes_.resize(old + kBlock);
    in_->read(bytes_.data() + old, std::streamsize(kBlock));
    bytes_.resize(old + size_t(in_->gcount()));
  }
  if (in_->bad()) raise(err::PathFileAccess, "Path/File access error while reading");
  return bytes_.size() >= n;
}

bool ValueReader::nextRecord() {
  while (have(1)) {
    char c = at(0);
    if (isBlank(c)) {
      ++pos_;
    } else if (c == '\n') {
      ++pos_;
      ++line_;
    } else if (c == '\r') {
      ++pos_;
      if (have(1) && at(0) == '\n') ++pos_;
      ++line_;
    } else {
      return true;
    }
  }
  return false;
}

void ValueReader::endOfValue() {
  // Consumes the comma or the line end (CR LF, CR or LF) that ends a value.
  if (!have(1)) return;
  char c = at(0);
  if (c == ',') {
    ++pos_;
  } else if (c == '\r') {
    ++pos_;
    if (have(1) && at(0) == '\n') ++pos_;
    ++line_;
  } else if (c == '\n') {
    ++pos_;
    ++line_;
  }
}

void ValueReader::tooLong() const {
  raise(err::TooLarge,
        "A value longer than " + std::to_string(kMostValueBytes) + " bytes (line " + std::to_string(line_) + ")");
}

void ValueReader::skipPastLine(long line) {
  while (line_ <= line && have(1)) {
    const char c = at(0);
    ++pos_;
    if (c == '\n') {
      ++line_;
    } else if (c == '\r') {
      if (have(1) && at(0) == '\n') ++pos_;
      ++line_;
    }
  }
}

std::string_view ValueReader::rawValue(bool& quoted) {
  while (have(1) && isBlank(at(0))) ++pos_;
  valueLine_ = line_;
  if (!have(1)) raise(kInputPastEnd, "Input past end of file");
  quoted = at(0) == '"';
  size_t start = 0, end = 0, next = 0;  // offsets from pos_
  if (quoted) {
    start = 1;
    size_t k = 1;
    for (;; ++k) {
      if (k > kMostValueBytes) tooLong();
      // A quoted value stays on its line: an open quote would swallow records.
      if (!have(k + 1)) raise(err::TypeMismatch, "Quoted value not closed on its line");
      const char c = at(k);
      if (c == '"') break;
      if (isLineEnd(c)) raise(err::TypeMismatch, "Quoted value not closed on its line");
    }
    end = k;
    next = k + 1;
    while (have(next + 1) && isBlank(at(next))) ++next;
    if (have(next + 1) && at(next) != ',' && !isLineEnd(at(next)))
      raise(err::TypeMismatch, "Text after the closing quote of a value");
  } else {
    size_t k = 0;
    while (have(k + 1) && at(k) != ',' && !isLineEnd(at(k)))
      if (++k > kMostValueBytes) tooLong();
    end = k;
    while (end > start && isBlank(at(end - 1))) --end;
    next = k;
  }
  // The value is kept apart: the read that follows may move the window.
  value_.assign(bytes_, pos_ + start, end - start);
  pos_ += next;
  endOfValue();
  return value_;
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
  if (i == raw.size())
    raise(err::TypeMismatch, "Not a number: \"" + clipped(raw) + "\" (line " + std::to_string(at) + ")");
  int64_t value = 0;
  bool tooBig = false;
  for (; i < raw.size(); ++i) {
    char c = raw[i];
    if (c < '0' || c > '9')
      raise(err::TypeMismatch, "Not a number: \"" + clipped(raw) + "\" (line " + std::to_string(at) + ")");
    if (!tooBig) {
      value = value * 10 + (c - '0');
      if (value > (int64_t(1) << 40)) tooBig = true;
    }
  }
  if (negative) value = -value;
  if (tooBig || value < low || value > high)
    raise(err::Overflow, "Overflow: " + clipped(raw) + " (line " + std::to_string(at) + ")");
  return value;
}

int16_t ValueReader::readInteger() { return int16_t(readNumber(INT16_MIN, INT16_MAX)); }
int32_t ValueReader::readLong() { return int32_t(readNumber(INT32_MIN, INT32_MAX)); }

double oleFromTimeCode(int32_t seconds) {
  // Plain arithmetic on the civil calendar; the local time zone plays no part.
  return platform::oleFromUnixSeconds(seconds);
}

}  // namespace pellary::cue
