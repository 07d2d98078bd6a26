// A Series 3 Agenda file opened for update: appends timed and untimed entries
// (with an optional memo and daily repeat) at its end, walks its records, and
// marks an entry and its repeat record deleted by clearing the type in their
// record headers. No other byte of an existing record is ever written.
//
// Layout: u16 at offset 18 = offset of the first record; records back to back,
// each a u16 header (type in the top four bits, body length in the low twelve)
// and its body. All integers little-endian.
//
// Texts handed in are already bytes of the file's code page. Texts longer than
// a record holds are cut to 255 bytes (entry text) and 3,602 bytes (memo), the
// same way when appending and when looking an entry up to mark it.
//
// Damaged files are read defensively: a record that runs past the end of the
// file ends the walk, an entry whose fields do not fit its body is stepped over
// like an unknown record, a repeat record too short to hold its owner offset
// belongs to nothing, and records never start inside the 20-byte file header.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pellary::quoll {

namespace errors {
inline constexpr long NotOpen = 52;      // Bad file name or number
inline constexpr long WriteFailed = 57;  // Device I/O error
}  // namespace errors

class AgendaFile {
 public:
  static constexpr int32_t kNoRepeat = -1;
  static constexpr size_t kMaxText = 255;
  static constexpr size_t kMaxMemo = 3602;

  enum RecordType : int { Deleted = 0, Timed = 1, Untimed = 2, Repeat = 5 };

  // What the walk last read.
  struct Entry {
    bool hasDate = false;  // an entry record (timed or untimed) that read whole
    uint16_t day = 0;      // days since 1 Jan 1970
    uint16_t start = 0;    // minutes after midnight; 0xFFFF untimed
    uint16_t duration = 0;
    uint8_t flags = 0;
    std::string text;
    bool hasMemo = false;    // the flags say a memo block follows
    std::string memo;        // its text, NUL read back as carriage return
    bool hasRepeat = false;  // the flags ask for a repeat record
  };
  struct RepeatInfo {
    bool found = false;
    uint8_t kind = 0;
    int interval = 1;  // the stored value + 1
    uint16_t endDay = 0;
    uint8_t entryKind = 0;
    std::string kindBytes;
    uint32_t offset = 0;  // of its record header
    uint16_t length = 0;  // its body length
  };

  AgendaFile() = default;
  ~AgendaFile();  // closes the file, ignoring errors
  AgendaFile(const AgendaFile&) = delete;
  AgendaFile& operator=(const AgendaFile&) = delete;

  // Opens an existing file for update (never creates one): 0, or -1 with
  // openError() set to the system's error number. Resets the walk. An open
  // file is closed first.
  int OpenFile(const std::filesystem::path& path);
  bool isOpen() const { return fd_ >= 0; }
  int openError() const { return openErrno_; }

  // Append, timed and untimed. An empty memo means none. hasRepeat kNoRepeat
  // means no repeat record; any other value a daily repeat ending repeatDays
  // after the entry's day (a negative count writes none). Raises AppError:
  // 52 when not open, 5 for a date that is not a real day from 1 Jan 1970 to
  // the format's last day or a time the record cannot hold, 57 when the write
  // fails (the file is cut back to its former length).
  void AppendEntry(int32_t day, int32_t month, int32_t year, int32_t startHour, int32_t startMinute, int32_t endHour,
                   int32_t endMinute, std::string_view text, std::string_view memo, int32_t hasRepeat,
                   int32_t repeatDays);
  void AppendEntry(int32_t day, int32_t month, int32_t year, std::string_view text, std::string_view memo,
                   int32_t hasRepeat, int32_t repeatDays);

  // Steps to the next record: 0 when one was read, -1 at the end. Raises 52 when
  // not open.
  int ReadNextEntry();
  // Marks the first entry with that date and exactly that text (and its repeat
  // record) deleted: 0, or -1 when none matched (nothing written). Raises 52
  // when not open, 57 when the write fails. It looks the entry up in an index
  // that OpenFile reads from the file once and appends and marks keep
  // current, so a write pass does not walk the file per entry. The walk
  // starts afresh afterwards.
  int MarkAsDeleted(int32_t day, int32_t month, int32_t year, std::string_view text);
  // Closes the file; what was written reaches the disk here. Raises 57 when
  // that fails. Nothing happens when the file is not open.
  void CloseFile();

  // The walk position (0 before the first record), its type and body length.
  uint32_t position() const { return pos_; }
  int recordType() const { return type_; }
  uint16_t recordLength() const { return length_; }
  const Entry& entry() const { return entry_; }
  const RepeatInfo& repeat() const { return repeat_; }

  // Days since 1 Jan 1970 of a real date the format can hold; -1 otherwise.
  static int32_t dayNumber(int32_t day, int32_t month, int32_t year);

 private:
  struct Header {
    uint32_t offset = 0;
    int type = 0;
    uint16_t length = 0;
  };
  bool readAt(uint64_t offset, void* buf, size_t n) const;
  bool headerAt(uint64_t offset, Header& h) const;
  uint32_t firstRecord() const;
  uint64_t nextOffset(uint64_t current, uint16_t length) const;
  void readEntry(const Header& h);
  void findRepeat(uint32_t entryOffset);
  void writeAt(uint64_t offset, const void* buf, size_t n);
  void append(int type, uint16_t day, uint16_t start, const uint16_t* duration, std::string_view text,
              std::string_view memo, int32_t hasRepeat, int32_t repeatDays);
  void requireOpen() const;
  void resetWalk();
  // The entries by day and text and the repeat records by owner, in file order.
  struct Located {
    uint32_t offset = 0;
    uint16_t length = 0;
    bool hasRepeat = false;
  };
  void buildIndex();
  // Drops the index when the file's size is not the one it was built for.
  void checkIndex();
  void indexEntry(uint16_t day, std::string text, const Located& at);
  void indexRepeat(uint32_t owner, const Located& at);
  static Entry parseEntry(int type, const unsigned char* body, uint16_t length);

  int fd_ = -1;
  int openErrno_ = 0;
  uint64_t size_ = 0;
  uint32_t pos_ = 0;
  int type_ = 0;
  uint16_t length_ = 0;
  Entry entry_;
  RepeatInfo repeat_;
  bool indexed_ = false;
  uint64_t indexedEnd_ = 0;  // the file's size the index covers
  std::map<std::pair<uint16_t, std::string>, std::vector<Located>> entries_;
  std::unordered_map<uint32_t, std::vector<Located>> repeats_;
};

}  // namespace pellary::quoll
