#include "standins/outlook/local_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <set>

#include "platform/errors.h"
#include "platform/files/removals.h"
#include "platform/files/whole_file.h"
#include "platform/state_file.h"

namespace pellary::standins::outlook {

using namespace pellary::platform;

namespace fs = std::filesystem;

namespace files {

namespace {
constexpr long kCannotWrite = 57;
}  // namespace

DirFd::DirFd(const fs::path& dir) : fd_(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
  if (fd_ < 0) raise(err::PathFileAccess, "Cannot open the folder " + dir.string() + ": " + std::strerror(errno));
}

DirFd::~DirFd() {
  if (fd_ >= 0) ::close(fd_);
}

[[noreturn]] void writeFailed(const fs::path& what, int e) {
  raise(kCannotWrite, "Cannot write " + what.string() + ": " + std::strerror(e));
}

// What identifies one written state of a file: a change by anyone gives
// another inode (a replaced file) or another size or time.
std::string versionOf(const struct stat& st) {
  // "<inode>:<size>:<seconds>.<nanoseconds>", inode and size in hex.
  std::string out;
  out.reserve(64);
  char digits[24];  // the longest 64-bit number, in decimal, with its sign
  const auto put = [&](auto value, int base) {
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value, base).ptr);
  };
  put(static_cast<unsigned long long>(st.st_ino), 16);
  out += ':';
  put(static_cast<unsigned long long>(st.st_size), 16);
  out += ':';
  put(static_cast<long long>(st.st_mtim.tv_sec), 10);
  out += '.';
  const size_t nsStart = out.size();
  put(static_cast<long>(st.st_mtim.tv_nsec), 10);
  if (out.size() - nsStart < 9) out.insert(nsStart, 9 - (out.size() - nsStart), '0');
  return out;
}

std::string statVersion(int dirfd, const std::string& name) {
  struct stat st {};
  if (::fstatat(dirfd, name.c_str(), &st, 0) != 0) return {};
  return versionOf(st);
}

// The whole of a file in dir with its version; false when it cannot be read.
bool readAt(int dirfd, const std::string& name, std::string& text, std::string& version) {
  // Never waits on what it opened (a FIFO's writer, a device), and reads only
  // a regular file of bounded size: anything else is passed over, said once.
  int fd = ::openat(dirfd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMostItemBytes;
  if (!ok)
    logNote("Outlook store", "passed over " + clipped(name, 80) + ": not a regular file of at most " +
                                 std::to_string(kMostItemBytes) + " bytes");
  text.clear();
  char buf[16384];
  while (ok) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    text.append(buf, size_t(n));
    if (text.size() > size_t(kMostItemBytes)) ok = false;  // grew while read
  }
  ::close(fd);
  if (ok) version = versionOf(st);
  return ok;
}

// Writes the whole text and takes the written file's version; false on failure (errno set).
namespace {
bool writeAndStat(int fd, const std::string& text, bool durable, struct stat& st) {
  return platform::files::writeAll(fd, text) && (!durable || ::fsync(fd) == 0) && ::fstat(fd, &st) == 0;
}

}  // namespace

// Writes name in dir whole before it gets its name, so that a reader sees the
// old file or the new one, never a part. Create refuses an existing file;
// Replace, given the version read, refuses one that changed since. Returns
// the new file's version, or empty when refused. durable flushes the file
// and the folder, as the settings tree does.
std::string putFile(int dirfd, const std::string& name, const std::string& text, Put mode, const std::string& expected,
                    bool durable, const fs::path& dir, const std::string& file) {
  // Named in messages only, so made only for one.
  auto writeFailedHere = [&](int e) { writeFailed(dir / file, e); };
  struct stat st {};
  if (mode == Put::Create) {
    // A file without a name until it is whole: linking it in refuses an existing name.
    int fd = ::openat(dirfd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (fd >= 0) {
      if (!writeAndStat(fd, text, durable, st)) {
        int e = errno;
        ::close(fd);
        writeFailedHere(e);
      }
      int linked = ::linkat(fd, "", dirfd, name.c_str(), AT_EMPTY_PATH);
      if (linked != 0 && errno != EEXIST) {  // without the privilege for that, through /proc
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        linked = ::linkat(AT_FDCWD, self.c_str(), dirfd, name.c_str(), AT_SYMLINK_FOLLOW);
      }
      int e = errno;
      ::close(fd);
      if (linked != 0 && e == EEXIST) return {};
      if (linked != 0) writeFailedHere(e);
      if (durable) ::fsync(dirfd);
      return versionOf(st);
    }
  }
  // A temporary file beside it, renamed over it.
  static uint64_t counter = 0;
  const std::string temp = "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(++counter) + ".tmp";
  int fd = ::openat(dirfd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) writeFailedHere(errno);
  auto discard = [&] { ::unlinkat(dirfd, temp.c_str(), 0); };
  if (!writeAndStat(fd, text, durable, st)) {
    int e = errno;
    ::close(fd);
    discard();
    writeFailedHere(e);
  }
  if (::close(fd) != 0) {
    int e = errno;
    discard();
    writeFailedHere(e);
  }
  int e = 0;
  if (mode == Put::Create) {
    // A hard link, like the rename that refuses to replace, keeps an existing file.
    e = ::linkat(dirfd, temp.c_str(), dirfd, name.c_str(), 0) == 0 ? 0 : errno;
    discard();
  } else if (statVersion(dirfd, name) != expected) {
    e = EEXIST;
    discard();
  } else if (::renameat(dirfd, temp.c_str(), dirfd, name.c_str()) != 0) {
    e = errno;
    discard();
  }
  if (e == EEXIST) return {};
  if (e != 0) writeFailedHere(e);
  if (durable) ::fsync(dirfd);
  return versionOf(st);
}

// A name for a folder's directory or an item's file: no path separator, no
// control character, not hidden.
std::string safeName(const std::string& s) {
  std::string out;
  for (char c : s) {
    const unsigned char u = static_cast<unsigned char>(c);
    out += (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) ? '_' : c;
  }
  if (out.empty() || out[0] == '.') out = "_" + out;
  if (out.size() > 200) out.resize(200);
  return out;
}

bool isItemFile(const char* name) {
  size_t n = std::strlen(name);
  return name[0] != '.' && n > 4 && std::strcmp(name + n - 4, ".ics") == 0;
}

namespace {
constexpr const char* kGone = ".gone";

// The hidden name a removed item waits under until it is unlinked.
std::string goneName(const std::string& name) { return "." + name + kGone; }

bool isGone(const char* name) {
  size_t n = std::strlen(name), k = std::strlen(kGone);
  return name[0] == '.' && n > k && std::strcmp(name + n - k, kGone) == 0;
}
}  // namespace

}  // namespace files

std::string fileNameFor(const std::string& uid) {
  bool plain = !uid.empty() && uid.size() <= 200 && uid[0] != '.';
  for (char c : uid)
    plain = plain && ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
                      c == '_' || c == '.' || c == '@');
  if (plain) return uid + ".ics";
  // Any other UID gets a name of its own; the UID inside the file still counts.
  return files::safeName(uid) + "-" + std::to_string(std::hash<std::string>{}(uid)) + ".ics";
}

namespace {

using namespace files;

class LocalFiles : public ItemFiles {
 public:
  explicit LocalFiles(const fs::path& dir) : path_(dir), dir_(dir) {
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ >= 0)
      ::inotify_add_watch(inotify_, dir.c_str(), IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE);
  }
  ~LocalFiles() override {
    if (inotify_ >= 0) ::close(inotify_);
  }

  std::vector<std::pair<std::string, std::string>> changes(bool& complete) override {
    std::set<std::string> names;
    complete = first_ || inotify_ < 0;
    first_ = false;
    alignas(inotify_event) char buf[65536];
    while (inotify_ >= 0) {
      ssize_t n = ::read(inotify_, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      const bool drained = size_t(n) < sizeof buf - sizeof(inotify_event) - NAME_MAX - 1;
      for (char* p = buf; p < buf + n;) {
        auto* ev = reinterpret_cast<inotify_event*>(p);
        p += sizeof(inotify_event) + ev->len;
        if (ev->mask & IN_Q_OVERFLOW) complete = true;
        if (ev->len == 0 || !isItemFile(ev->name)) continue;
        // The one event of a file this store just made needs no look.
        if ((ev->mask & IN_CREATE) && ownCreates_.erase(ev->name)) continue;
        if ((ev->mask & (IN_DELETE | IN_MOVED_FROM)) && ownRemoves_.erase(ev->name)) continue;
        names.insert(ev->name);
      }
      // Room left for another event: the queue held no more (what comes later is read next time).
      if (drained) break;
    }
    if (complete) {
      names.clear();
      ownCreates_.clear();
      ownRemoves_.clear();
      int fd = ::dup(dir_.get());
      DIR* d = fd >= 0 ? ::fdopendir(fd) : nullptr;
      if (d) {
        ::rewinddir(d);
        while (dirent* e = ::readdir(d)) {
          if (isItemFile(e->d_name))
            names.insert(e->d_name);
          else if (isGone(e->d_name))
            platform::files::removeLater(shared(), e->d_name);  // left by a run that ended before unlinking it
        }
        ::closedir(d);
      } else if (fd >= 0) {
        ::close(fd);
      }
    }
    std::vector<std::pair<std::string, std::string>> out;
    out.reserve(names.size());
    for (const std::string& name : names) out.emplace_back(name, statVersion(dir_.get(), name));
    return out;
  }

  std::map<std::string, StoredItem> read(const std::vector<std::string>& names) override {
    std::map<std::string, StoredItem> out;
    for (const std::string& name : names) {
      StoredItem item;
      if (readAt(dir_.get(), name, item.text, item.version)) out.emplace(name, std::move(item));
    }
    return out;
  }

  std::string create(const std::string& name, const std::string& text) override {
    platform::standins::aboutToChange(path_, name);
    std::string v = putFile(dir_.get(), name, text, Put::Create, {}, false, path_, name);
    if (!v.empty() && inotify_ >= 0) ownCreates_.insert(name);
    return v;
  }

  std::string replace(const std::string& name, const std::string& text, const std::string& expected) override {
    platform::standins::aboutToChange(path_, name);
    return putFile(dir_.get(), name, text, Put::Replace, expected, false, path_, name);
  }

  bool remove(const std::string& name, const std::string& expected) override {
    const std::string now = statVersion(dir_.get(), name);
    if (now.empty()) return true;
    if (!expected.empty() && now != expected) return false;
    platform::standins::aboutToChange(path_, name);
    // Out of the folder at once; the unlink itself, which waits on the disk, comes later.
    const std::string gone = goneName(name);
    if (::renameat(dir_.get(), name.c_str(), dir_.get(), gone.c_str()) == 0) {
      ownRemoves_.insert(name);
      platform::files::removeLater(shared(), gone);
    } else if (errno != ENOENT) {
      raise(err::PathFileAccess, "Cannot delete " + (path_ / name).string() + ": " + std::strerror(errno));
    }
    return true;
  }

  std::string where(const std::string& name) const override { return (path_ / name).string(); }
  bool local() const override { return true; }

 private:
  const platform::files::SharedDirFd& shared() {
    if (!shared_) {
      shared_ = platform::files::shareDir(dir_.get());
      if (!shared_)
        raise(err::PathFileAccess, "Cannot open the folder " + path_.string() + ": " + std::strerror(errno));
    }
    return shared_;
  }

  fs::path path_;
  DirFd dir_;
  platform::files::SharedDirFd shared_;  // for removals still queued when this closes
  int inotify_ = -1;
  bool first_ = true;
  std::set<std::string> ownCreates_, ownRemoves_;
};

}  // namespace

std::unique_ptr<ItemFiles> localItemFiles(const fs::path& dir) { return std::make_unique<LocalFiles>(dir); }

}  // namespace pellary::standins::outlook
