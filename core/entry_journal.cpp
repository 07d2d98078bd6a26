#include "core/entry_journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>
#include <vector>

#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/files/whole_file.h"
#include "platform/state_file.h"

namespace pellary {

namespace fs = std::filesystem;

namespace {

constexpr long kCannotWrite = 57;
constexpr const char* kMarker = "-entries-";

// Numbers in the shortest text that reads back the same, whatever the locale.
template <class T>
void putNumber(std::string& out, T v) {
  char b[40];
  out += '\t';
  out.append(b, std::to_chars(b, b + sizeof b, v).ptr);
}

template <class T>
T numberOf(const std::string& s) {
  T v{};
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

// The fields of one whole line; false when it is not one.
bool splitLine(std::string_view line, std::vector<std::string>& fields) {
  fields = platform::standins::split(std::string(line));
  for (std::string& f : fields) f = platform::standins::unescape(f);
  if (fields.size() == 3 && fields[0] == "M") return true;
  return fields.size() == 10 && (fields[0] == "E" || fields[0] == "P");
}

EntryJournal::Row rowOf(std::vector<std::string>& f) {
  EntryJournal::Row r;
  r.profileID = numberOf<int16_t>(f[1]);
  r.eventID = numberOf<int32_t>(f[2]);
  r.status = numberOf<int16_t>(f[3]);
  r.version = numberOf<int16_t>(f[4]);
  r.catID = numberOf<int32_t>(f[5]);
  r.auxDate = numberOf<double>(f[6]);
  r.dateUsed = numberOf<double>(f[7]);
  r.platMisc = std::move(f[8]);
  r.pubHol = std::move(f[9]);
  return r;
}

// The rows that stand: every plain row, and the marked rows whose target's
// file changed after their mark (the change they were written for landed).
std::vector<EntryJournal::Row> readRows(const std::string& text) {
  std::vector<EntryJournal::Row> rows;
  std::vector<std::string> f;
  std::map<std::string, std::string> now;  // each target file's state, looked at once
  bool landed = false;
  for (size_t from = 0; from < text.size();) {
    const size_t nl = text.find('\n', from);
    // A line cut short by the end of the run is its last; nothing after it counts.
    if (nl == std::string::npos || !splitLine(std::string_view(text).substr(from, nl - from), f)) break;
    from = nl + 1;
    if (f[0] == "M") {
      auto it = now.find(f[1]);
      if (it == now.end()) it = now.emplace(f[1], fileMark(f[1])).first;
      landed = it->second != f[2];
      continue;
    }
    if (f[0] == "P" && !landed) continue;
    rows.push_back(rowOf(f));
  }
  return rows;
}

void syncFolder(const fs::path& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Removes a journal whose rows the databank now holds, for good: one that
// came back after a crash would put old rows over newer ones.
void removeJournal(const fs::path& path) {
  if (::unlink(path.c_str()) == 0) syncFolder(path.parent_path());
}

}  // namespace

void storeEntryRows(dao::Database& db, const std::vector<EntryJournal::Row>& rows) {
  if (rows.empty()) return;
  dao::inTransaction(db, [&] {
    dao::Statement remove =
        db.prepare("DELETE FROM \"ProfileEventList\" WHERE \"ProfileID\" = ?1 AND \"EventID\" = ?2");
    dao::Statement insert = db.prepare(
        "INSERT INTO \"ProfileEventList\" (\"AddStatus\", \"ProfileID\", \"AuxDate\", \"DateUsed\", \"Status\", "
        "\"Version\", \"CatID\", \"PlatMisc\", \"EventID\", \"PubHol\") VALUES (0, ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    for (const EntryJournal::Row& r : rows) {
      remove.bindInt(1, r.profileID).bindInt(2, r.eventID).run();
      if (r.status == 0) continue;
      insert.bindInt(1, r.profileID)
          .bindDouble(2, r.auxDate)
          .bindDouble(3, r.dateUsed)
          .bindInt(4, r.status)
          .bindInt(5, r.version)
          .bindInt(6, r.catID)
          .bindText(7, r.platMisc)
          .bindInt(8, r.eventID)
          .bindText(9, r.pubHol)
          .run();
    }
  });
}

std::unique_ptr<EntryJournal> EntryJournal::create(const fs::path& databank) {
  static std::atomic<unsigned> counter{0};
  const fs::path path = databank.string() + kMarker + std::to_string(::getpid()) + "-" + std::to_string(++counter);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) raise(kCannotWrite, "Cannot write " + path.string() + ": " + std::strerror(errno));
  // Held while the pass runs, so that another program folds it only once the pass is over.
  while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
  return std::unique_ptr<EntryJournal>(new EntryJournal(path, fd));
}

EntryJournal::~EntryJournal() {
  if (fd_ >= 0) ::close(fd_);
}

namespace {
std::string lineOf(const char* kind, const EntryJournal::Row& r) {
  std::string line = kind;
  line.reserve(160);
  putNumber(line, r.profileID);
  putNumber(line, r.eventID);
  putNumber(line, r.status);
  putNumber(line, r.version);
  putNumber(line, r.catID);
  putNumber(line, r.auxDate);
  putNumber(line, r.dateUsed);
  for (const std::string* text : {&r.platMisc, &r.pubHol}) line += '\t' + platform::standins::escape(*text);
  line += '\n';
  return line;
}
}  // namespace

void EntryJournal::write(const std::string& text) {
  if (fd_ < 0) raise(kCannotWrite, "Cannot write " + path_.string());
  if (!platform::files::writeAll(fd_, text)) {
    const int e = errno;
    // A row cut short would hide every row after it: back to the last whole one.
    while (::ftruncate(fd_, off_t(size_)) != 0 && errno == EINTR) {
    }
    raise(kCannotWrite, "Cannot write " + path_.string() + ": " + std::strerror(e));
  }
  size_ += static_cast<long long>(text.size());
}

void EntryJournal::append(const Row& r) { write(lineOf("E", r)); }

void EntryJournal::appendMarked(const fs::path& target, const std::vector<Row>& rows) {
  std::string text = "M\t" + platform::standins::escape(target.string()) + "\t" + fileMark(target) + "\n";
  for (const Row& r : rows) text += lineOf("P", r);
  write(text);
}

std::string fileMark(const fs::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return "absent";
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size);
}

void EntryJournal::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void EntryJournal::discard() {
  removeJournal(path_);
  close();
}

namespace {

// The journals beside the databank, oldest first.
std::vector<fs::path> journalsBeside(const fs::path& databank) {
  const std::string prefix = databank.filename().string() + kMarker;
  std::vector<std::pair<fs::file_time_type, fs::path>> found;
  std::error_code ec;
  for (fs::directory_iterator it(databank.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().filename().string().rfind(prefix, 0) != 0) continue;
    std::error_code e2;
    found.emplace_back(fs::last_write_time(it->path(), e2), it->path());
  }
  std::sort(found.begin(), found.end());
  std::vector<fs::path> out;
  for (auto& f : found) out.push_back(std::move(f.second));
  return out;
}

// Runs body(rows) with the journal at path locked, unless a running pass holds it.
template <class Body>
void withFreeJournal(const fs::path& path, Body&& body) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  // A pass still running holds its journal; its commit will take it.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return;
  }
  try {
    std::optional<std::string> text = platform::files::readWholeFile(path);
    body(text ? readRows(*text) : std::vector<EntryJournal::Row>{});
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
}

}  // namespace

std::vector<EntryJournal::Row> pendingEntryRows(const fs::path& databank) {
  std::vector<EntryJournal::Row> all;
  for (const fs::path& path : journalsBeside(databank))
    withFreeJournal(path, [&](std::vector<EntryJournal::Row> rows) {
      for (auto& r : rows) all.push_back(std::move(r));
    });
  return all;
}

void foldEntryJournals(dao::Database& db) {
  for (const fs::path& path : journalsBeside(db.path()))
    withFreeJournal(path, [&](const std::vector<EntryJournal::Row>& rows) {
      storeEntryRows(db, rows);
      removeJournal(path);
    });
}

}  // namespace pellary
