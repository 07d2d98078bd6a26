#include "platform/standins/outlook/outlook_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <unordered_map>

#include "platform/errors.h"
#include "platform/oledate.h"
#include "platform/paths.h"
#include "platform/standins/outlook/ical_item.h"
#include "platform/standins/state_file.h"

namespace pellary::platform::outlook {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFormerIndex = "folders.txt";  // the former layout's folder list
constexpr const char* kIdentityFile = ".outlook-folder";
constexpr const char* kNameFile = "displayname";
constexpr const char* kConverting = ".converting";
// MAPI_E_OBJECT_CHANGED, as Outlook raises when an item changed under it.
constexpr long kObjectChanged = -2147221239;
constexpr long kCannotWrite = 57;

std::string upper(std::string s) { return paths::toUpperAscii(s); }

[[noreturn]] void writeFailed(const fs::path& what, int e) {
  raise(kCannotWrite, "Cannot write " + what.string() + ": " + std::strerror(e));
}

// An open directory, closed with its owner.
class DirFd {
 public:
  DirFd() = default;
  explicit DirFd(const fs::path& dir) : fd_(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0) raise(err::PathFileAccess, "Cannot open the folder " + dir.string() + ": " + std::strerror(errno));
  }
  DirFd(DirFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  DirFd& operator=(DirFd&& o) noexcept {
    std::swap(fd_, o.fd_);
    return *this;
  }
  ~DirFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

// What identifies one written state of a file: a change by anyone gives
// another inode (a replaced file) or another size or time.
std::string versionOf(const struct stat& st) {
  char b[96];
  std::snprintf(b, sizeof b, "%llx:%llx:%lld.%09ld", static_cast<unsigned long long>(st.st_ino),
                static_cast<unsigned long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec),
                st.st_mtim.tv_nsec);
  return b;
}

std::string statVersion(int dirfd, const std::string& name) {
  struct stat st {};
  if (::fstatat(dirfd, name.c_str(), &st, 0) != 0) return {};
  return versionOf(st);
}

// The whole of a file in dir with its version; false when it cannot be read.
bool readAt(int dirfd, const std::string& name, std::string& text, std::string& version) {
  int fd = ::openat(dirfd, name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
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
  }
  ::close(fd);
  if (ok) version = versionOf(st);
  return ok;
}

enum class Put { Create, Replace };

// Writes the whole text and takes the written file's version; false on failure (errno set).
bool writeAndStat(int fd, const std::string& text, bool durable, struct stat& st) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += size_t(n);
  }
  return (!durable || ::fsync(fd) == 0) && ::fstat(fd, &st) == 0;
}

// Writes name in dir whole before it gets its name, so that a reader sees the
// old file or the new one, never a part. Create refuses an existing file;
// Replace, given the version read, refuses one that changed since. Returns
// the new file's version, or empty when refused. durable flushes the file
// and the folder, as the settings tree does.
std::string putFile(int dirfd, const std::string& name, const std::string& text, Put mode,
                    const std::string& expected, bool durable, const fs::path& shownAs) {
  struct stat st {};
  if (mode == Put::Create) {
    // A file without a name until it is whole: linking it in refuses an existing name.
    int fd = ::openat(dirfd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (fd >= 0) {
      if (!writeAndStat(fd, text, durable, st)) {
        int e = errno;
        ::close(fd);
        writeFailed(shownAs, e);
      }
      int linked = ::linkat(fd, "", dirfd, name.c_str(), AT_EMPTY_PATH);
      if (linked != 0 && errno != EEXIST) {  // without the privilege for that, through /proc
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        linked = ::linkat(AT_FDCWD, self.c_str(), dirfd, name.c_str(), AT_SYMLINK_FOLLOW);
      }
      int e = errno;
      ::close(fd);
      if (linked != 0 && e == EEXIST) return {};
      if (linked != 0) writeFailed(shownAs, e);
      if (durable) ::fsync(dirfd);
      return versionOf(st);
    }
  }
  // A temporary file beside it, renamed over it.
  static uint64_t counter = 0;
  const std::string temp = "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(++counter) + ".tmp";
  int fd = ::openat(dirfd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) writeFailed(shownAs, errno);
  auto discard = [&] { ::unlinkat(dirfd, temp.c_str(), 0); };
  if (!writeAndStat(fd, text, durable, st)) {
    int e = errno;
    ::close(fd);
    discard();
    writeFailed(shownAs, e);
  }
  if (::close(fd) != 0) {
    int e = errno;
    discard();
    writeFailed(shownAs, e);
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
  if (e != 0) writeFailed(shownAs, e);
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

std::string fileNameFor(const std::string& uid) {
  bool plain = !uid.empty() && uid.size() <= 200 && uid[0] != '.';
  for (char c : uid) plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || std::strchr("-_.@", c));
  if (plain) return uid + ".ics";
  // Any other UID gets a name of its own; the UID inside the file still counts.
  return safeName(uid) + "-" + std::to_string(std::hash<std::string>{}(uid)) + ".ics";
}

std::string newFolderID() {
  static std::mt19937_64 gen{std::random_device{}()};
  static uint64_t counter = 0;
  char b[64];
  std::snprintf(b, sizeof b, "00000000%016llX%08llX", static_cast<unsigned long long>(gen()),
                static_cast<unsigned long long>(++counter));
  return b;
}

// Holds the store's lock file while folders are created or converted, so
// that two programs starting at once build one tree.
class StoreLock {
 public:
  explicit StoreLock(const fs::path& root) {
    fd_ = ::open((root / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0)
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~StoreLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  int fd_ = -1;
};

std::string readSmallFile(const fs::path& p) {
  std::string text, version;
  DirFd dir(p.parent_path());
  readAt(dir.get(), p.filename().string(), text, version);
  return text;
}

struct Identity {
  std::string entryID, parentID;
  int32_t type = itemtype::Mail;
};

Identity readIdentity(const fs::path& dir) {
  Identity id;
  std::string text = readSmallFile(dir / kIdentityFile);
  size_t from = 0;
  while (from < text.size()) {
    size_t nl = text.find('\n', from);
    std::string line = text.substr(from, nl == std::string::npos ? std::string::npos : nl - from);
    from = nl == std::string::npos ? text.size() : nl + 1;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "EntryID") id.entryID = value;
    if (key == "ParentID") id.parentID = value;
    if (key == "DefaultItemType") id.type = std::atoi(value.c_str());
  }
  return id;
}

// A folder's directory with its identity and display name; durable flushes them.
void writeFolderFiles(const fs::path& dir, const Folder& f, bool durable) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) writeFailed(dir, ec.value());
  DirFd fd(dir);
  std::string identity = "EntryID=" + f.entryID + "\nParentID=" + f.parentID +
                         "\nDefaultItemType=" + std::to_string(f.defaultItemType) + "\n";
  for (auto [name, text] : {std::pair<const char*, std::string>{kIdentityFile, identity}, {kNameFile, f.name}}) {
    std::string old = statVersion(fd.get(), name);
    if (putFile(fd.get(), name, text, Put::Replace, old, durable, dir / name).empty())
      writeFailed(dir / name, EAGAIN);
  }
  if (!durable) return;
  DirFd parent(dir.parent_path());
  ::fsync(parent.get());
}

std::vector<std::string> subdirectories(const fs::path& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    std::error_code e2;
    if (name[0] != '.' && it->is_directory(e2)) out.push_back(name);
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

// --- filters --------------------------------------------------------------------

namespace {

// "dd/mm/yyyy[ hh:mm[:ss][ AM|PM]]"; false when the text is no such date.
bool parseFilterDate(const std::string& s, double& out) {
  int d = 0, m = 0, y = 0, hh = 0, mm = 0, ss = 0;
  char ampm[3] = {0, 0, 0};
  int n = std::sscanf(s.c_str(), "%d/%d/%d %d:%d:%d", &d, &m, &y, &hh, &mm, &ss);
  if (n < 3) return false;
  if (n == 5) std::sscanf(s.c_str(), "%*d/%*d/%*d %*d:%*d %2s", ampm);
  if (n == 6) std::sscanf(s.c_str(), "%*d/%*d/%*d %*d:%*d:%*d %2s", ampm);
  std::string half = upper(ampm);
  if (half == "AM" && hh == 12) hh = 0;
  if (half == "PM" && hh < 12) hh += 12;
  try {
    out = oleFromCivil(y, m, d, hh, mm, ss);
  } catch (const AppError&) {
    return false;
  }
  return true;
}

struct Condition {
  std::string property;
  std::string value;
};

std::vector<Condition> parseFilter(const std::string& f) {
  std::vector<Condition> out;
  size_t i = 0;
  auto skip = [&] {
    while (i < f.size() && std::isspace(static_cast<unsigned char>(f[i]))) ++i;
  };
  auto bad = [&] { raise(err::InvalidCall, "Cannot parse the condition: " + f); };
  while (true) {
    skip();
    if (i >= f.size() || f[i] != '[') bad();
    size_t close = f.find(']', i);
    if (close == std::string::npos) bad();
    Condition c{upper(f.substr(i + 1, close - i - 1)), {}};
    i = close + 1;
    skip();
    if (i >= f.size() || f[i] != '=') bad();
    ++i;
    skip();
    if (i >= f.size() || f[i] != '"') bad();
    ++i;
    bool closed = false;
    while (i < f.size()) {
      if (f[i] == '"') {
        if (i + 1 < f.size() && f[i + 1] == '"') {
          c.value += '"';
          i += 2;
          continue;
        }
        ++i;
        closed = true;
        break;
      }
      c.value += f[i++];
    }
    if (!closed) bad();
    out.push_back(std::move(c));
    skip();
    if (i >= f.size()) break;
    if (f.size() - i < 3 || upper(f.substr(i, 3)) != "AND") bad();
    i += 3;
  }
  return out;
}

// The subject a filter asks for, the key of the subject index; empty when it names none.
std::string subjectKey(const std::string& subject) { return upper(cleanText(subject, false)); }

bool filterSubject(const std::string& filter, std::string& key) {
  for (const Condition& c : parseFilter(filter))
    if (c.property == "SUBJECT") {
      key = subjectKey(c.value);
      return true;
    }
  return false;
}

bool sameMoment(double a, double b) { return std::fabs(a - b) < 0.5 / 86400.0; }

}  // namespace

bool matchesFilter(const Appointment& a, const std::string& filter) {
  for (const Condition& c : parseFilter(filter)) {
    if (c.property == "SUBJECT") {
      if (!paths::equalsIgnoreCase(cleanText(a.subject, false), cleanText(c.value, false))) return false;
    } else if (c.property == "BODY") {
      if (!paths::equalsIgnoreCase(cleanText(a.body, true), cleanText(c.value, true))) return false;
    } else if (c.property == "CATEGORIES") {
      if (!paths::equalsIgnoreCase(a.categories, c.value)) return false;
    } else if (c.property == "START" || c.property == "END") {
      double when = 0;
      if (!parseFilterDate(c.value, when)) raise(err::TypeMismatch, "Not a date: " + c.value);
      if (!sameMoment(c.property == "START" ? a.start : a.end, when)) return false;
    } else if (c.property == "ALLDAYEVENT") {
      bool want = upper(c.value) == "TRUE" || c.value == "-1" || c.value == "1";
      if (a.allDay != want) return false;
    } else {
      raise(err::InvalidCall, "Unknown property in the condition: " + c.property);
    }
  }
  return true;
}

// --- the store --------------------------------------------------------------------

struct Store::Impl {
  struct Entry {
    Appointment item;
    uint64_t seq = 0;
  };
  // The items of one calendar folder as its files stand, with their indexes.
  struct Items {
    DirFd dir;
    int watch = -1;
    std::unordered_map<std::string, Entry> byFile;
    std::unordered_map<std::string, std::string> fileOfID;
    std::map<uint64_t, std::string> order;  // first seen first
    std::unordered_multimap<std::string, std::string> bySubject;
    std::set<std::string> ownCreates;  // files this store just made, whose one event needs no look
  };

  fs::path root;
  std::vector<std::unique_ptr<Folder>> folders;
  std::map<std::string, Items> items;  // by folder entry ID, once read
  std::unordered_map<int, std::string> folderOfWatch;
  int inotify = -1;
  uint64_t seq = 0;
  bool unsynced = false;
  bool creating = false;  // a new store's folders, flushed together

  ~Impl() {
    if (inotify >= 0) ::close(inotify);
  }

  Folder* find(const std::string& id) {
    for (auto& f : folders)
      if (!id.empty() && paths::equalsIgnoreCase(f->entryID, id)) return f.get();
    return nullptr;
  }

  void loadFolders(const fs::path& dir, const std::string& parentID) {
    for (const std::string& name : subdirectories(dir)) {
      fs::path sub = dir / name;
      std::error_code ec;
      if (!fs::exists(sub / kIdentityFile, ec)) continue;
      Identity id = readIdentity(sub);
      if (id.entryID.empty() || find(id.entryID)) continue;
      auto f = std::make_unique<Folder>();
      f->entryID = id.entryID;
      f->parentID = parentID;  // where the folder lies counts
      f->defaultItemType = id.type;
      f->dir = sub;
      f->name = fs::exists(sub / kNameFile, ec) ? readSmallFile(sub / kNameFile) : name;
      while (!f->name.empty() && (f->name.back() == '\n' || f->name.back() == '\r')) f->name.pop_back();
      std::string self = f->entryID;
      folders.push_back(std::move(f));
      loadFolders(sub, self);
    }
  }

  // --- the items of a folder ---

  void unindex(Items& in, const std::string& file) {
    auto it = in.byFile.find(file);
    if (it == in.byFile.end()) return;
    const Appointment& a = it->second.item;
    auto range = in.bySubject.equal_range(subjectKey(a.subject));
    for (auto s = range.first; s != range.second; ++s)
      if (s->second == file) {
        in.bySubject.erase(s);
        break;
      }
    auto id = in.fileOfID.find(a.entryID);
    if (id != in.fileOfID.end() && id->second == file) in.fileOfID.erase(id);
    in.order.erase(it->second.seq);
    in.byFile.erase(it);
  }

  void index(Items& in, const std::string& file, Appointment a) {
    uint64_t at = 0;
    if (auto it = in.byFile.find(file); it != in.byFile.end()) at = it->second.seq;
    unindex(in, file);
    if (at == 0) at = ++seq;
    in.bySubject.emplace(subjectKey(a.subject), file);
    in.fileOfID[a.entryID] = file;
    in.order.emplace(at, file);
    in.byFile.emplace(file, Entry{std::move(a), at});
  }

  // Brings one file's entry up to date with the file as it stands.
  void reconcile(Items& in, const std::string& file) {
    std::string version = statVersion(in.dir.get(), file);
    auto it = in.byFile.find(file);
    if (version.empty()) {
      unindex(in, file);
      return;
    }
    if (it != in.byFile.end() && it->second.item.version == version) return;
    std::string text;
    Appointment a;
    if (!readAt(in.dir.get(), file, text, version) || !readItem(text, a)) {
      unindex(in, file);  // no item of a calendar: left alone, and not offered
      return;
    }
    a.version = version;
    if (a.entryID.empty()) a.entryID = file.substr(0, file.size() - 4);
    index(in, file, std::move(a));
  }

  void rescan(Items& in) {
    std::set<std::string> present;
    int fd = ::dup(in.dir.get());
    DIR* d = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!d) {
      if (fd >= 0) ::close(fd);
      return;
    }
    ::rewinddir(d);
    while (dirent* e = ::readdir(d))
      if (isItemFile(e->d_name)) present.insert(e->d_name);
    ::closedir(d);
    std::vector<std::string> gone;
    for (const auto& [file, entry] : in.byFile)
      if (!present.count(file)) gone.push_back(file);
    for (const std::string& file : gone) unindex(in, file);
    for (const std::string& file : present) reconcile(in, file);
  }

  // Takes in what happened in the watched folders since the last look.
  void refresh() {
    if (inotify < 0) return;
    std::map<std::string, std::set<std::string>> changed;
    bool overflow = false;
    alignas(inotify_event) char buf[65536];
    for (;;) {
      ssize_t n = ::read(inotify, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      for (char* p = buf; p < buf + n;) {
        auto* ev = reinterpret_cast<inotify_event*>(p);
        p += sizeof(inotify_event) + ev->len;
        if (ev->mask & IN_Q_OVERFLOW) {
          overflow = true;
          continue;
        }
        auto f = folderOfWatch.find(ev->wd);
        if (f == folderOfWatch.end() || ev->len == 0 || !isItemFile(ev->name)) continue;
        if (ev->mask & IN_CREATE) {
          auto in = items.find(f->second);
          if (in != items.end() && in->second.ownCreates.erase(ev->name)) continue;
        }
        changed[f->second].insert(ev->name);
      }
    }
    if (overflow) {
      for (auto& [id, in] : items) rescan(in);
      return;
    }
    for (auto& [id, files] : changed) {
      auto in = items.find(id);
      if (in == items.end()) continue;
      for (const std::string& file : files) reconcile(in->second, file);
    }
  }

  Items& itemsOf(const std::string& folderID) {
    Folder* f = find(folderID);
    if (!f) raise(err::InvalidCall, "The folder no longer exists");
    auto it = items.find(f->entryID);
    if (it != items.end()) {
      refresh();
      return it->second;
    }
    if (inotify < 0) inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    Items& in = items[f->entryID];
    in.dir = DirFd(f->dir);
    // Watched before it is read, so that nothing done meanwhile goes unseen.
    if (inotify >= 0) {
      in.watch = ::inotify_add_watch(inotify, f->dir.c_str(), IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE);
      if (in.watch >= 0) folderOfWatch[in.watch] = f->entryID;
    }
    rescan(in);
    return in;
  }

  const Entry* entryOf(Items& in, const std::string& entryID) {
    auto id = in.fileOfID.find(entryID);
    if (id == in.fileOfID.end()) return nullptr;
    auto it = in.byFile.find(id->second);
    return it == in.byFile.end() ? nullptr : &it->second;
  }
};

Store::Store(fs::path root) : root_(std::move(root)), impl_(std::make_unique<Impl>()) {
  impl_->root = root_;
  std::error_code ec;
  fs::create_directories(root_, ec);
  if (ec) writeFailed(root_, ec.value());
  StoreLock lock(root_);
  if (fs::exists(root_ / kFormerIndex, ec)) convertFormerLayout();
  if (fs::exists(root_ / kConverting, ec)) finishConversion();
  impl_->loadFolders(root_, "");
  if (impl_->folders.empty()) {
    impl_->creating = true;
    Folder& top = addFolder("", "Personal Folders", itemtype::Mail);
    addFolder(top.entryID, "Calendar", itemtype::Appointment);
    addFolder(top.entryID, "Contacts", itemtype::Contact);
    addFolder(top.entryID, "Inbox", itemtype::Mail);
    addFolder(top.entryID, "Notes", itemtype::Note);
    addFolder(top.entryID, "Tasks", itemtype::Task);
    impl_->creating = false;
    impl_->unsynced = true;
    sync();
  }
}

Store::~Store() = default;

// The former layout: a list of folders in "folders.txt" and one calendar file
// per calendar folder. Everything is first built aside and flushed; then the
// list is set aside (the old files stay as they were) and the new folders
// are moved in, which an interrupted start finishes on the next.
void Store::convertFormerLayout() {
  const fs::path stage = root_ / kConverting;
  std::error_code ec;
  fs::remove_all(stage, ec);
  fs::create_directories(stage, ec);
  if (ec) writeFailed(stage, ec.value());
  std::string list = readSmallFile(root_ / kFormerIndex);
  std::map<std::string, fs::path> dirOf;
  size_t from = 0;
  while (from < list.size()) {
    size_t nl = list.find('\n', from);
    std::string line = list.substr(from, nl == std::string::npos ? std::string::npos : nl - from);
    from = nl == std::string::npos ? list.size() : nl + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> parts = standins::split(line);
    if (parts.size() < 5) continue;
    Folder f;
    f.entryID = parts[0];
    f.parentID = parts[1];
    f.defaultItemType = std::atoi(parts[2].c_str());
    f.name = parts[3];
    fs::path parent = dirOf.count(f.parentID) ? dirOf[f.parentID] : stage;
    fs::path dir = parent / safeName(f.name);
    if (fs::exists(dir, ec)) dir = parent / (safeName(f.name) + "-" + f.entryID.substr(f.entryID.size() > 8 ? f.entryID.size() - 8 : 0));
    dirOf[f.entryID] = dir;
    writeFolderFiles(dir, f, false);
    if (parts[4].empty() || !fs::exists(root_ / parts[4], ec)) continue;
    DirFd fd(dir);
    for (const auto& [uid, text] : splitCalendar(readSmallFile(root_ / parts[4]))) {
      std::string file = fileNameFor(uid);
      for (int n = 2; putFile(fd.get(), file, text, Put::Create, {}, false, dir / file).empty(); ++n)
        file = fileNameFor(uid + "-" + std::to_string(n));
    }
  }
  DirFd stageFd(stage);
  if (::syncfs(stageFd.get()) != 0) writeFailed(stage, errno);
  if (::rename((root_ / kFormerIndex).c_str(), (root_ / (std::string(kFormerIndex) + ".former")).c_str()) != 0)
    writeFailed(root_ / kFormerIndex, errno);
}

void Store::finishConversion() {
  const fs::path stage = root_ / kConverting;
  for (const std::string& name : subdirectories(stage)) {
    fs::path to = root_ / name;
    std::error_code ec;
    if (fs::exists(to, ec)) to = root_ / (name + "-converted");
    if (::rename((stage / name).c_str(), to.c_str()) != 0) writeFailed(to, errno);
  }
  std::error_code ec;
  fs::remove_all(stage, ec);
  DirFd rootFd(root_);
  ::fsync(rootFd.get());
}

Folder* Store::find(const std::string& entryID) { return impl_->find(entryID); }

Folder* Store::defaultFolder(int32_t which) {
  const char* name = nullptr;
  switch (which) {
    case defaultfolder::Inbox: name = "Inbox"; break;
    case defaultfolder::Calendar: name = "Calendar"; break;
    case defaultfolder::Contacts: name = "Contacts"; break;
    case defaultfolder::Notes: name = "Notes"; break;
    case defaultfolder::Tasks: name = "Tasks"; break;
    default: return nullptr;
  }
  std::vector<Folder*> tops = children("");
  if (tops.empty()) return nullptr;
  for (Folder* f : children(tops.front()->entryID))
    if (paths::equalsIgnoreCase(f->name, name)) return f;
  return nullptr;
}

std::vector<Folder*> Store::children(const std::string& parentID) {
  std::vector<Folder*> out;
  for (auto& f : impl_->folders)
    if (f->parentID == parentID) out.push_back(f.get());
  return out;
}

std::vector<Folder*> Store::all() {
  std::vector<Folder*> out;
  for (auto& f : impl_->folders) out.push_back(f.get());
  return out;
}

std::string Store::pathOf(const Folder& f) const {
  std::string path = f.name;
  std::string parent = f.parentID;
  for (int guard = 0; !parent.empty() && guard < 64; ++guard) {
    const Folder* p = impl_->find(parent);
    if (!p) break;
    path = p->name + "\\" + path;
    parent = p->parentID;
  }
  return path;
}

Folder& Store::addFolder(const std::string& parentID, const std::string& name, int32_t type) {
  Folder* parent = parentID.empty() ? nullptr : find(parentID);
  if (!parentID.empty() && !parent) raise(err::InvalidCall, "The folder no longer exists");
  auto f = std::make_unique<Folder>();
  f->entryID = newFolderID();
  f->parentID = parent ? parent->entryID : "";
  f->name = name;
  f->defaultItemType = type;
  const fs::path base = parent ? parent->dir : root_;
  f->dir = base / safeName(name);
  std::error_code ec;
  // Two folders of one name (or one another program made) keep apart by the entry ID.
  if (fs::exists(f->dir, ec)) f->dir = base / (safeName(name) + "-" + f->entryID.substr(8, 8));
  writeFolderFiles(f->dir, *f, !impl_->creating);
  impl_->folders.push_back(std::move(f));
  return *impl_->folders.back();
}

std::string Store::saveItem(const std::string& folderID, Appointment item, const Appointment* base,
                            std::string* savedVersion) {
  Impl::Items& in = impl_->itemsOf(folderID);
  const fs::path& dir = find(folderID)->dir;
  const bool fresh = item.entryID.empty();
  if (fresh) item.entryID = newUID();
  for (int attempt = 0;; ++attempt) {
    const Impl::Entry* old = impl_->entryOf(in, item.entryID);
    if (!old) {
      // A new item: its own file, never one that exists.
      const std::string file = fileNameFor(item.entryID);
      std::string version = putFile(in.dir.get(), file, newItemText(item), Put::Create, {}, false, dir / file);
      if (version.empty() && fresh && attempt < 8) {
        item.entryID = newUID();
        continue;
      }
      if (version.empty()) {
        impl_->reconcile(in, file);  // made elsewhere meanwhile: saved as a change
        if (impl_->entryOf(in, item.entryID) && attempt < 8) continue;
        raise(kObjectChanged, "Another program holds an item of this ID");
      }
      impl_->unsynced = true;
      item.version = version;
      if (in.watch >= 0) in.ownCreates.insert(file);
      impl_->index(in, file, item);
      if (savedVersion) *savedVersion = version;
      return item.entryID;
    }
    const std::string file = in.fileOfID[item.entryID];
    std::string text, version;
    if (!readAt(in.dir.get(), file, text, version)) {
      impl_->reconcile(in, file);
      continue;
    }
    Appointment stored;
    if (!readItem(text, stored)) raise(kObjectChanged, "The item is no longer a calendar item");
    const Appointment& from = base ? *base : old->item;
    if (from.version != version) {
      // Changed elsewhere since it was read: a property both changed must agree.
      const std::vector<std::string> theirs = differences(stored, from), apart = differences(item, stored);
      for (const std::string& what : differences(item, from))
        if (std::count(theirs.begin(), theirs.end(), what) && std::count(apart.begin(), apart.end(), what))
          raise(kObjectChanged, "The item was changed by another program (" + what + ")");
    }
    if (differences(item, from).empty()) {
      stored.version = version;
      impl_->index(in, file, stored);
      if (savedVersion) *savedVersion = version;
      return item.entryID;
    }
    const std::string changed = changedItemText(text, item, from);
    std::string written = putFile(in.dir.get(), file, changed, Put::Replace, version, false, dir / file);
    if (written.empty()) {
      if (attempt < 8) continue;
      raise(kObjectChanged, "The item keeps changing under another program");
    }
    impl_->unsynced = true;
    Appointment now;
    readItem(changed, now);
    now.version = written;
    impl_->index(in, file, std::move(now));
    if (savedVersion) *savedVersion = written;
    return item.entryID;
  }
}

bool Store::deleteItem(const std::string& folderID, const std::string& entryID) {
  Impl::Items& in = impl_->itemsOf(folderID);
  auto id = in.fileOfID.find(entryID);
  if (id == in.fileOfID.end()) return false;
  const std::string file = id->second;
  if (::unlinkat(in.dir.get(), file.c_str(), 0) != 0 && errno != ENOENT)
    raise(err::PathFileAccess, "Cannot delete " + (find(folderID)->dir / file).string() + ": " + std::strerror(errno));
  impl_->unindex(in, file);
  impl_->unsynced = true;
  return true;
}

std::vector<Appointment> Store::items(const std::string& folderID) {
  Impl::Items& in = impl_->itemsOf(folderID);
  std::vector<Appointment> out;
  out.reserve(in.order.size());
  for (const auto& [seq, file] : in.order) out.push_back(in.byFile.at(file).item);
  return out;
}

size_t Store::count(const std::string& folderID) { return impl_->itemsOf(folderID).byFile.size(); }

std::optional<Appointment> Store::item(const std::string& folderID, const std::string& entryID) {
  Impl::Items& in = impl_->itemsOf(folderID);
  const Impl::Entry* e = impl_->entryOf(in, entryID);
  if (!e) return std::nullopt;
  return e->item;
}

std::vector<std::string> Store::findItems(const std::string& folderID, const std::string& filter) {
  Impl::Items& in = impl_->itemsOf(folderID);
  std::vector<const Impl::Entry*> candidates;
  std::string key;
  if (filterSubject(filter, key)) {
    auto range = in.bySubject.equal_range(key);
    for (auto it = range.first; it != range.second; ++it) candidates.push_back(&in.byFile.at(it->second));
    std::sort(candidates.begin(), candidates.end(), [](auto* a, auto* b) { return a->seq < b->seq; });
  } else {
    for (const auto& [seq, file] : in.order) candidates.push_back(&in.byFile.at(file));
  }
  std::vector<std::string> out;
  for (const Impl::Entry* e : candidates)
    if (matchesFilter(e->item, filter)) out.push_back(e->item.entryID);
  if (candidates.empty()) parseFilter(filter);  // a bad filter is refused even where nothing matches
  return out;
}

fs::path Store::itemFile(const std::string& folderID, const std::string& entryID) {
  Impl::Items& in = impl_->itemsOf(folderID);
  auto id = in.fileOfID.find(entryID);
  return id == in.fileOfID.end() ? fs::path() : find(folderID)->dir / id->second;
}

void Store::sync() {
  if (!impl_->unsynced) return;
  DirFd fd(root_);
  if (::syncfs(fd.get()) != 0) writeFailed(root_, errno);
  impl_->unsynced = false;
}

namespace {
std::unique_ptr<Store>& current() {
  static std::unique_ptr<Store> s;
  return s;
}
}  // namespace

Store& store() {
  static const bool registered = [] {
    standins::onSyncSaved([] {
      if (current()) current()->sync();
    });
    return true;
  }();
  (void)registered;
  fs::path root = paths::standinsFolder() / "Outlook";
  auto& s = current();
  if (!s || s->root() != root) {
    s = std::make_unique<Store>(root);
    session() = Session{{}, session().onDisplay};
  }
  return *s;
}

Session& session() {
  static Session s;
  return s;
}

void closeStore() {
  current().reset();
  session().activeExplorer.reset();
}

}  // namespace pellary::platform::outlook
