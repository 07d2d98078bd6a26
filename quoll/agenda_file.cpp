#include "quoll/agenda_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/errors.h"
#include "platform/oledate.h"

namespace pellary::quoll {

namespace {

constexpr uint64_t kFirstRecordField = 18;
constexpr uint64_t kFileHeaderSize = 20;  // the 18 unused bytes and the first-record offset
constexpr uint8_t kStyle = 0x20;
constexpr uint16_t kUntimedStart = 0xFFFF;
constexpr uint16_t kDailyRepeatLength = 9;

uint16_t le16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void put16(std::string& out, uint32_t v) {
  out += char(v & 0xFF);
  out += char((v >> 8) & 0xFF);
}
void put32(std::string& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

[[noreturn]] void writeFailed() { raise(errors::WriteFailed, "The agenda file could not be written"); }

}  // namespace

AgendaFile::~AgendaFile() {
  try {
    CloseFile();
  } catch (...) {
  }
}

int32_t AgendaFile::dayNumber(int32_t day, int32_t month, int32_t year) {
  if (month < 1 || month > 12 || day < 1 || day > 31) return -1;
  const int64_t n = platform::daysFromCivil(year, month, day);
  int y = 0, m = 0, d = 0;
  platform::civilFromDays(n, y, m, d);
  if (y != year || m != month || d != day) return -1;  // the 31st of a shorter month
  if (n < 0 || n > 0xFFFF) return -1;
  return int32_t(n);
}

int AgendaFile::OpenFile(const std::filesystem::path& path) {
  CloseFile();
  openErrno_ = 0;
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    openErrno_ = errno;
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    openErrno_ = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    return -1;
  }
  fd_ = fd;
  size_ = uint64_t(st.st_size);
  resetWalk();
  indexed_ = false;
  try {
    buildIndex();
  } catch (const AppError&) {
    // Read again at the first mark, which then reports the failure.
  }
  return 0;
}

void AgendaFile::CloseFile() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  resetWalk();
  indexed_ = false;
  entries_.clear();
  repeats_.clear();
  bool ok = fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
  ok = (::close(fd) == 0) && ok;
  if (!ok) raise(errors::WriteFailed, "The agenda file could not be closed");
}

void AgendaFile::requireOpen() const {
  if (fd_ < 0) raise(errors::NotOpen, "The agenda file is not open");
}

void AgendaFile::resetWalk() {
  pos_ = 0;
  type_ = 0;
  length_ = 0;
  entry_ = {};
  repeat_ = {};
}

bool AgendaFile::readAt(uint64_t offset, void* buf, size_t n) const {
  if (offset > size_ || n > size_ - offset) return false;
  auto* p = static_cast<char*>(buf);
  while (n > 0) {
    const ssize_t got = pread(fd_, p, n, off_t(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    offset += uint64_t(got);
    n -= size_t(got);
  }
  return true;
}

bool AgendaFile::headerAt(uint64_t offset, Header& h) const {
  unsigned char b[2];
  if (offset > std::numeric_limits<uint32_t>::max() || !readAt(offset, b, 2)) return false;
  const uint16_t v = le16(b);
  h.offset = uint32_t(offset);
  h.type = v >> 12;
  h.length = v & 0x0FFF;
  // A record that runs past the end of the file is where the walk stops.
  return h.length <= size_ - offset - 2;
}

uint32_t AgendaFile::firstRecord() const {
  unsigned char b[2];
  if (!readAt(kFirstRecordField, b, 2)) return 0;
  const uint32_t first = le16(b);
  if (first < kFileHeaderSize || first + 2 > size_) return 0;
  return first;
}

void AgendaFile::readEntry(const Header& h) {
  unsigned char b[0x1000];
  if (!readAt(uint64_t(h.offset) + 2, b, h.length)) return;
  Entry e = parseEntry(h.type, b, h.length);
  if (e.hasDate) entry_ = std::move(e);
}

AgendaFile::Entry AgendaFile::parseEntry(int type, const unsigned char* b, uint16_t length) {
  const bool timed = type == Timed;
  const size_t fixed = timed ? 10 : 8;
  if (length < fixed) return {};
  Entry e;
  e.day = le16(b);
  e.start = le16(b + 2);
  e.flags = b[4];
  size_t i = 6;
  if (timed) {
    e.duration = le16(b + 6);
    i = 8;
  }
  const size_t textLength = b[i + 1];
  if (i + 2 + textLength > length) return {};  // the text would run into the next record
  e.text.assign(reinterpret_cast<const char*>(b + i + 2), textLength);
  e.hasMemo = (e.flags & 0x10) == 0;
  e.hasRepeat = (e.flags & 0x01) == 0;
  const size_t memoBlock = i + 2 + textLength;
  if (e.hasMemo && memoBlock + 22 <= length) {
    const size_t blockSize = le16(b + memoBlock);
    if (blockSize >= 16 && memoBlock + 22 + (blockSize - 16) <= length) {
      e.memo.assign(reinterpret_cast<const char*>(b + memoBlock + 16), blockSize - 16);
      for (char& c : e.memo)
        if (c == '\0') c = '\r';
    }
  }
  e.hasDate = true;
  return e;
}

void AgendaFile::buildIndex() {
  entries_.clear();
  repeats_.clear();
  std::string data(size_, '\0');
  if (!readAt(0, data.data(), data.size())) writeFailed();
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  // The same walk as ReadNextEntry and findRepeat, over the bytes in memory.
  // headerAt, reading from memory.
  auto header = [&](uint64_t offset, Header& h) {
    if (offset > std::numeric_limits<uint32_t>::max() || offset + 2 > size_) return false;
    const uint16_t v = le16(bytes + offset);
    h.offset = uint32_t(offset);
    h.type = v >> 12;
    h.length = v & 0x0FFF;
    return h.length <= size_ - offset - 2;
  };
  Header h;
  for (uint64_t off = firstRecord(); off != 0 && header(off, h); off += uint64_t(h.length) + 2) {
    const unsigned char* body = bytes + off + 2;
    if (h.type == Timed || h.type == Untimed) {
      Entry e = parseEntry(h.type, body, h.length);
      if (e.hasDate) indexEntry(e.day, std::move(e.text), {h.offset, h.length, e.hasRepeat});
    } else if (h.type == Repeat && h.length >= kDailyRepeatLength) {
      indexRepeat(le32(body + h.length - 4), {h.offset, h.length, false});
    }
  }
  indexed_ = true;
  indexedEnd_ = size_;
}

void AgendaFile::checkIndex() {
  struct stat st {};
  if (fstat(fd_, &st) != 0) writeFailed();
  // Another program wrote to the file since it was indexed: read it again.
  if (uint64_t(st.st_size) != indexedEnd_) {
    size_ = uint64_t(st.st_size);
    indexed_ = false;
  }
}

void AgendaFile::indexEntry(uint16_t day, std::string text, const Located& at) {
  entries_[{day, std::move(text)}].push_back(at);
}

void AgendaFile::indexRepeat(uint32_t owner, const Located& at) { repeats_[owner].push_back(at); }

void AgendaFile::findRepeat(uint32_t entryOffset) {
  repeat_ = {};
  Header h;
  for (uint64_t off = firstRecord(); off != 0 && headerAt(off, h); off += uint64_t(h.length) + 2) {
    // Kind, interval, end day and entry kind come first, the owner's offset last.
    if (h.type != Repeat || h.length < kDailyRepeatLength) continue;
    unsigned char b[0x1000];
    if (!readAt(off + 2, b, h.length)) return;
    if (le32(b + h.length - 4) != entryOffset) continue;
    RepeatInfo r;
    r.found = true;
    r.kind = b[0];
    r.interval = b[1] + 1;
    r.endDay = le16(b + 2);
    r.entryKind = b[4];
    const size_t extra = r.kind == 1 ? 2 : r.kind == 2 ? 4 : r.kind == 3 ? 5 : 0;
    if (5 + extra + 4 <= h.length) r.kindBytes.assign(reinterpret_cast<const char*>(b + 5), extra);
    r.offset = uint32_t(off);
    r.length = h.length;
    repeat_ = std::move(r);
    return;
  }
}

int AgendaFile::ReadNextEntry() {
  requireOpen();
  const uint64_t next = pos_ == 0 ? firstRecord() : uint64_t(pos_) + length_ + 2;
  Header h;
  if (next == 0 || !headerAt(next, h)) return -1;
  pos_ = h.offset;
  type_ = h.type;
  length_ = h.length;
  entry_ = {};
  repeat_ = {};
  if (type_ == Timed || type_ == Untimed) {
    readEntry(h);
    if (entry_.hasDate && entry_.hasRepeat) findRepeat(pos_);
  }
  return 0;
}

void AgendaFile::writeAt(uint64_t offset, const void* buf, size_t n) {
  const auto* p = static_cast<const char*>(buf);
  while (n > 0) {
    const ssize_t put = pwrite(fd_, p, n, off_t(offset));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) writeFailed();
    p += put;
    offset += uint64_t(put);
    n -= size_t(put);
  }
}

int AgendaFile::MarkAsDeleted(int32_t day, int32_t month, int32_t year, std::string_view text) {
  requireOpen();
  const int32_t target = dayNumber(day, month, year);
  resetWalk();
  if (target < 0) return -1;
  checkIndex();
  if (!indexed_) buildIndex();
  const std::string_view wanted = text.substr(0, std::min(text.size(), kMaxText));
  auto found = entries_.find({uint16_t(target), std::string(wanted)});
  if (found == entries_.end() || found->second.empty()) return -1;
  const Located entry = found->second.front();
  // Type 0 with the length kept: later walks still step over both records.
  // An entry whose repeat record is missing is marked alone.
  auto repeat = entry.hasRepeat ? repeats_.find(entry.offset) : repeats_.end();
  if (repeat != repeats_.end() && !repeat->second.empty()) {
    const Located r = repeat->second.front();
    unsigned char b[2] = {uint8_t(r.length & 0xFF), uint8_t(r.length >> 8)};
    writeAt(r.offset, b, 2);
    repeat->second.erase(repeat->second.begin());
  }
  unsigned char b[2] = {uint8_t(entry.length & 0xFF), uint8_t(entry.length >> 8)};
  writeAt(entry.offset, b, 2);
  found->second.erase(found->second.begin());
  if (found->second.empty()) entries_.erase(found);
  return 0;
}

void AgendaFile::append(int type, uint16_t day, uint16_t start, const uint16_t* duration, std::string_view text,
                        std::string_view memo, int32_t hasRepeat, int32_t repeatDays) {
  // The file's real end: another program may have appended since it was opened.
  struct stat st {};
  if (fstat(fd_, &st) != 0) writeFailed();
  size_ = uint64_t(st.st_size);
  text = text.substr(0, std::min(text.size(), kMaxText));
  memo = memo.substr(0, std::min(memo.size(), kMaxMemo));
  const bool withMemo = !memo.empty();
  const bool withRepeat = hasRepeat != kNoRepeat && repeatDays >= 0;
  const uint8_t flags = uint8_t(0x0A | (withMemo ? 0 : 0x10) | (withRepeat ? 0 : 0x01));
  const size_t length = text.size() + 8 + (duration ? 2 : 0) + (withMemo ? memo.size() + 22 : 0);

  std::string out;
  put16(out, uint32_t(type) * 4096 + uint32_t(length));
  put16(out, day);
  put16(out, start);
  out += char(flags);
  out += char(kStyle);
  if (duration) put16(out, *duration);
  out += char(0);
  out += char(text.size());
  out += text;
  if (withMemo) {
    const auto n = uint32_t(memo.size());
    put16(out, n + 16);
    put16(out, 0x4000 + n + 10);
    put16(out, 6);
    put16(out, 0);
    out.append("\x19\x22\x00\x00\x08\x00\x00\x00", 8);
    for (char c : memo) out += (c == '\r') ? '\0' : c;
    put16(out, n + 1);
    put16(out, 0x5442);
    put16(out, 0x4E4E);
  }
  if (size_ + out.size() + 2 + kDailyRepeatLength > std::numeric_limits<uint32_t>::max()) writeFailed();
  // The end moved under the index: another program wrote to the file.
  if (indexed_ && size_ != indexedEnd_) indexed_ = false;
  const auto entryOffset = uint32_t(size_);
  if (withRepeat) {
    const int64_t end = std::min<int64_t>(int64_t(day) + repeatDays, 0xFFFF);
    put16(out, 0x5000 + kDailyRepeatLength);
    out += char(0);  // daily
    out += char(0);  // every day
    put16(out, uint32_t(end));
    out += char(type);
    put32(out, entryOffset);
  }
  try {
    writeAt(size_, out.data(), out.size());
  } catch (...) {
    // A half-written record would swallow whatever is appended after it.
    if (ftruncate(fd_, off_t(size_)) != 0) {
    }
    throw;
  }
  size_ += out.size();
  if (indexed_) {
    indexEntry(day, std::string(text), {entryOffset, uint16_t(length), withRepeat});
    if (withRepeat) indexRepeat(entryOffset, {uint32_t(entryOffset + 2 + length), kDailyRepeatLength, false});
    indexedEnd_ = size_;
  }
}

void AgendaFile::AppendEntry(int32_t day, int32_t month, int32_t year, int32_t startHour, int32_t startMinute,
                             int32_t endHour, int32_t endMinute, std::string_view text, std::string_view memo,
                             int32_t hasRepeat, int32_t repeatDays) {
  requireOpen();
  const int32_t dn = dayNumber(day, month, year);
  if (dn < 0) raise(err::InvalidCall, "The entry's date cannot be written to the agenda file");
  const int64_t start = int64_t(startHour) * 60 + startMinute;
  int64_t duration = int64_t(endHour) * 60 + endMinute - start;
  if (duration < 0) duration = 0;
  if (start < 0 || start >= kUntimedStart || duration > 0xFFFF)
    raise(err::InvalidCall, "The entry's time cannot be written to the agenda file");
  const auto d = uint16_t(duration);
  append(Timed, uint16_t(dn), uint16_t(start), &d, text, memo, hasRepeat, repeatDays);
}

void AgendaFile::AppendEntry(int32_t day, int32_t month, int32_t year, std::string_view text, std::string_view memo,
                             int32_t hasRepeat, int32_t repeatDays) {
  requireOpen();
  const int32_t dn = dayNumber(day, month, year);
  if (dn < 0) raise(err::InvalidCall, "The entry's date cannot be written to the agenda file");
  append(Untimed, uint16_t(dn), kUntimedStart, nullptr, text, memo, hasRepeat, repeatDays);
}

}  // namespace pellary::quoll
