// Reading the values of table files and the events file: Windows-1252 text,
// values ended by a comma or a line end (the two count alike, so a record may
// span lines), blanks before a value skipped, strings optionally in double
// quotes. Strings come out as UTF-8.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

namespace pellary::cue {

// The runtime's "Input past end of file": a record cut short.
inline constexpr long kInputPastEnd = 62;

// The longest value (and so the longest line) a table file may hold; a longer
// one raises err::TooLarge before it is held whole.
inline constexpr size_t kMostValueBytes = size_t(1) << 20;

class ValueReader {
 public:
  // Reads the bytes given whole.
  explicit ValueReader(std::string bytes);
  // Reads the stream block by block: the memory it takes does not grow with
  // the file.
  explicit ValueReader(std::istream& in);

  // Moves to the next record, passing over blank lines between records.
  // False at the end of the file (only blanks and line ends remain).
  bool nextRecord();
  // Raw end test: no byte left at all.
  bool atEnd() { return !have(1); }

  // Each reads one value and the comma or line end after it. Raises
  // kInputPastEnd at the end of the file, TypeMismatch for text that is no
  // whole number (or text after a closing quote, or a quote left open),
  // Overflow for a number outside the type's range, InvalidCall for a control
  // byte (other than a tab) in text. Empty values read as 0 or "".
  std::string readString();
  int16_t readInteger();
  int32_t readLong();

  // The line (1-based) of the next value to be read.
  long line() const { return line_; }
  // The line the last value read (or failed to read) started on.
  long lastValueLine() const { return valueLine_; }
  // Moves past the end of the given line, when the reader is still on it.
  void skipPastLine(long line);

 private:
  // The value's bytes (valid until the next read) and whether it was quoted.
  std::string_view rawValue(bool& quoted);
  int64_t readNumber(int64_t low, int64_t high);
  [[noreturn]] void tooLong() const;
  void endOfValue();
  // At least n bytes from the read position, when the input holds them.
  bool have(size_t n) { return bytes_.size() - pos_ >= n || fill(n); }
  bool fill(size_t n);
  char at(size_t offset) const { return bytes_[pos_ + offset]; }

  std::string bytes_;  // the window of the input not yet read (and the value just read)
  size_t pos_ = 0;
  std::istream* in_ = nullptr;
  std::string value_;  // the last value, when it had to be kept apart
  long line_ = 1;
  long valueLine_ = 1;
};

// A time code of the events file: seconds added to 1 Jan 1970 00:00:00, with
// no time-zone conversion; the result as an OLE day number.
double oleFromTimeCode(int32_t seconds);

}  // namespace pellary::cue
