// The rows of a write pass's entries, kept as each entry lands on a target
// that takes entries one by one: one appended line per entry in a file beside
// the databank, which costs far less than a databank transaction per entry.
// The pass's profile commit supersedes the file; when no commit followed (the
// pass failed, or the program was killed), the next load of the profile folds
// the file's rows into ProfileEventList first.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace pellary {

namespace dao {
class Database;
}

// One journal file, held (locked) by the pass writing it.
class EntryJournal {
 public:
  // A new journal beside the databank file. Raises when it cannot be made.
  static std::unique_ptr<EntryJournal> create(const std::filesystem::path& databank);
  ~EntryJournal();
  EntryJournal(const EntryJournal&) = delete;
  EntryJournal& operator=(const EntryJournal&) = delete;

  struct Row {
    int16_t profileID = 0;
    int32_t eventID = 0;
    int16_t status = 0;  // 0: the event has no row
    int16_t version = 0;
    int32_t catID = 0;
    double auxDate = 0, dateUsed = 0;
    std::string platMisc, pubHol;
  };
  // One row, in one write. Raises when it cannot be written (the file is
  // then as it was).
  void append(const Row& row);
  // The rows that stand once the target's file changes, written (in one
  // write) just before it does, with the file's state at that moment. The
  // next load folds them only when the file is no longer in that state: a
  // run ended before the change landed leaves the profile as the target is.
  void appendMarked(const std::filesystem::path& target, const std::vector<Row>& rows);
  // The pass is over: from now on the next load of the profile may fold it.
  void close();
  bool isOpen() const { return fd_ >= 0; }
  // The rows are in the databank (the profile's commit holds them): the file goes.
  void discard();

 private:
  EntryJournal(std::filesystem::path path, int fd) : path_(std::move(path)), fd_(fd) {}
  void write(const std::string& text);
  std::filesystem::path path_;
  int fd_;
  long long size_ = 0;
};

// A file's state as a marked row notes it: its inode and size, or that it is absent.
std::string fileMark(const std::filesystem::path& file);

// Replaces the rows' events' rows in ProfileEventList, in one transaction.
void storeEntryRows(dao::Database& db, const std::vector<EntryJournal::Row>& rows);

// The rows the next load would fold, oldest journal first; nothing is changed.
std::vector<EntryJournal::Row> pendingEntryRows(const std::filesystem::path& databank);

// Folds the journals beside the databank that no running pass holds into
// ProfileEventList, oldest first, each in one transaction, and removes them.
void foldEntryJournals(dao::Database& db);

}  // namespace pellary
