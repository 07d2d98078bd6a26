#include "platform/settings/settings_tree.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <system_error>

#include "platform/errors.h"
#include "platform/files/whole_file.h"
#include "platform/paths.h"
#include "platform/settings/settings_file.h"

namespace pellary::platform::settings {

namespace {

struct RootNames {
  Root root;
  std::string_view full;
  std::string_view brief;
  int32_t handle;
};
constexpr RootNames kRootNames[] = {
    {Root::ClassesRoot, "HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
    {Root::CurrentUser, "HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {Root::LocalMachine, "HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
};

[[noreturn]] void writeFailed(const fs::path& file, std::string_view what, int error) {
  raise(err::SettingsWriteFailed, "The settings file " + file.string() + " could not be written (" + std::string(what) +
                                      (error ? ": " + std::string(std::strerror(error)) : std::string()) + ")");
}

// What tells one version of a file from another without reading it.
struct FileIdentity {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};
  timespec ctime{};

  static FileIdentity of(const struct stat& st) {
    return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  }
  bool operator==(const FileIdentity& o) const {
    if (exists != o.exists) return false;
    if (!exists) return true;
    return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

// The last version of one root's file that this process read.
struct CachedRoot {
  fs::path file;
  bool loaded = false;
  FileIdentity identity;
  std::optional<std::string> bytes;  // nothing while the file is missing
  std::unique_ptr<Key> top;
  std::optional<AppError> damage;
};

struct Store {
  std::mutex mutex;
  CachedRoot roots[3];
  BeforeReplaceHook beforeReplace;
};

Store& store() {
  static Store s;
  return s;
}

CachedRoot& cached(Root root) { return store().roots[int(root)]; }

std::string fileName(Root root) { return std::string(rootName(root)) + ".reg"; }
std::string tempPrefix(Root root) { return fileName(root) + ".tmp."; }

// Timestamps come from a coarse clock, and a freed inode number may be given to
// the next file, so a file changed within the last moments may look unchanged
// by its identity alone; such a file is read again and compared.
bool recentlyChanged(const FileIdentity& id) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return id.exists && (now.tv_sec - id.ctime.tv_sec) < 3;
}

bool readAll(int fd, std::string& out) {
  out.clear();
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    out.append(buf, size_t(n));
  }
}

void parseInto(CachedRoot& c, Root root) {
  c.damage.reset();
  c.top.reset();
  try {
    c.top = parseSettings(*c.bytes, root, c.file);
  } catch (const AppError& e) {
    c.damage = e;
  }
}

// Brings the cached root up to the file as it is now; raises when it is damaged.
Key& current(Root root) {
  CachedRoot& c = cached(root);
  fs::path file = rootFile(root);
  if (c.file != file) {
    c = CachedRoot{};
    c.file = file;
  }

  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT && errno != ENOTDIR) {
      int e = errno;
      c.loaded = false;
      raise(err::SettingsDamaged, "The settings file " + file.string() + " cannot be read: " + std::strerror(e));
    }
    // A missing file is an empty root.
    c.identity = FileIdentity{};
    c.bytes.reset();
    c.damage.reset();
    c.top = std::make_unique<Key>();
    c.loaded = true;
    return *c.top;
  }

  struct stat st {};
  std::string bytes;
  bool ok = ::fstat(fd, &st) == 0;
  FileIdentity now = ok ? FileIdentity::of(st) : FileIdentity{};
  bool fresh = ok && c.loaded && c.bytes && c.identity == now && !recentlyChanged(now);
  if (ok && !fresh) ok = readAll(fd, bytes);
  int readError = errno;
  ::close(fd);
  if (!ok) {
    c.loaded = false;
    raise(err::SettingsDamaged, "The settings file " + file.string() + " cannot be read: " + std::strerror(readError));
  }
  if (!fresh) {
    c.identity = now;
    if (!c.loaded || !c.bytes || bytes != *c.bytes || (!c.top && !c.damage)) {
      c.bytes = std::move(bytes);
      parseInto(c, root);
    }
    c.loaded = true;
  }
  if (c.damage) throw *c.damage;
  return *c.top;
}

Key* findKey(Key& top, std::string_view path) {
  Key* k = &top;
  for (const std::string& part : splitKeyPath(path)) {
    k = k->subkey(part);
    if (!k) return nullptr;
  }
  return k;
}

Key& makeKey(Key& top, std::string_view path, const fs::path& file) {
  std::vector<std::string> parts = splitKeyPath(path);
  for (const std::string& part : parts)
    if (!validKeyName(part)) writeFailed(file, "a key name holds a control character", 0);
  Key* k = &top;
  for (const std::string& part : parts) k = &k->ensureSubkey(part);
  return *k;
}

class FileLock {
 public:
  explicit FileLock(const fs::path& lockFile, const fs::path& file) {
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) writeFailed(file, "the lock file cannot be opened", errno);
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd_);
      writeFailed(file, "the lock cannot be taken", e);
    }
  }
  ~FileLock() { ::close(fd_); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

void removeLeftovers(const fs::path& folder, Root root) {
  std::error_code ec;
  std::string prefix = tempPrefix(root);
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.compare(0, prefix.size(), prefix) == 0) {
      std::error_code ignored;
      fs::remove(it->path(), ignored);
    }
  }
}

// Writes the cached tree of root as the new file, replacing the old at once.
void replaceFile(Root root, CachedRoot& c) {
  const fs::path& file = c.file;
  fs::path folder = file.parent_path();
  std::string text = formatSettings(*c.top, root);

  removeLeftovers(folder, root);
  files::ReplaceOptions options;
  options.tempPrefix = tempPrefix(root);
  options.beforeRename = store().beforeReplace;
  options.ownerOnly = true;
  try {
    files::replaceWholeFile(file, text, options);
  } catch (const files::ReplaceFailed& f) {
    writeFailed(file, f.step(), f.error());
  }

  struct stat st {};
  if (::stat(file.c_str(), &st) == 0) {
    c.identity = FileIdentity::of(st);
    c.bytes = std::move(text);
    c.loaded = true;
  } else {
    c.loaded = false;
  }
}

// Runs change on the root's keys under the lock; when it reports a change, the
// file is replaced. On any failure the cache is dropped, so the next call reads
// the file as it stands.
template <class F>
auto changeRoot(Root root, F&& change) {
  std::lock_guard guard(store().mutex);
  fs::path file = rootFile(root);
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  if (ec) writeFailed(file, "creating the settings folder", ec.value());
  FileLock lock(file.parent_path() / (std::string(rootName(root)) + ".lock"), file);
  CachedRoot& c = cached(root);
  try {
    Key& top = current(root);
    auto result = change(top);
    if (result) replaceFile(root, c);
    return result;
  } catch (...) {
    c.loaded = false;
    c.top.reset();
    throw;
  }
}

template <class F>
auto readRoot(Root root, F&& look) {
  std::lock_guard guard(store().mutex);
  return look(current(root));
}

}  // namespace

std::optional<Root> rootFromHandle(int32_t handle) {
  for (const auto& r : kRootNames)
    if (r.handle == handle) return r.root;
  return std::nullopt;
}

std::optional<Root> rootFromName(std::string_view name) {
  for (const auto& r : kRootNames)
    if (paths::equalsIgnoreCase(name, r.full) || paths::equalsIgnoreCase(name, r.brief)) return r.root;
  return std::nullopt;
}

std::string_view rootName(Root root) {
  for (const auto& r : kRootNames)
    if (r.root == root) return r.full;
  return "HKEY_UNKNOWN";
}

std::optional<std::pair<Root, std::string>> splitRootedKey(std::string_view fullKey) {
  while (!fullKey.empty() && fullKey.front() == '\\') fullKey.remove_prefix(1);
  size_t sep = fullKey.find('\\');
  std::optional<Root> root = rootFromName(fullKey.substr(0, sep));
  if (!root) return std::nullopt;
  return std::make_pair(*root, sep == std::string_view::npos ? std::string() : std::string(fullKey.substr(sep + 1)));
}

fs::path rootFile(Root root) { return paths::settingsFolder() / fileName(root); }

std::optional<std::string> readValue(Root root, std::string_view key, std::string_view name) {
  return readRoot(root, [&](Key& top) -> std::optional<std::string> {
    Key* k = findKey(top, key);
    const std::string* v = k ? k->value(name) : nullptr;
    if (!v) return std::nullopt;
    return *v;
  });
}

void writeValue(Root root, std::string_view key, std::string_view name, std::string_view data) {
  changeRoot(root, [&](Key& top) {
    bool keyExisted = findKey(top, key) != nullptr;
    Key& k = makeKey(top, key, cached(root).file);
    const std::string* old = k.value(name);
    bool changed = !keyExisted || !old || *old != data;
    k.setValue(name, data);
    return changed;
  });
}

bool deleteValue(Root root, std::string_view key, std::string_view name) {
  return changeRoot(root, [&](Key& top) {
    Key* k = findKey(top, key);
    return k != nullptr && k->removeValue(name);
  });
}

bool keyExists(Root root, std::string_view key) {
  return readRoot(root, [&](Key& top) { return findKey(top, key) != nullptr; });
}

void createKey(Root root, std::string_view key) {
  changeRoot(root, [&](Key& top) {
    bool existed = findKey(top, key) != nullptr;
    makeKey(top, key, cached(root).file);
    return !existed;
  });
}

bool deleteKey(Root root, std::string_view key) {
  std::vector<std::string> parts = splitKeyPath(key);
  if (parts.empty()) return false;
  return changeRoot(root, [&](Key& top) {
    Key* parent = &top;
    for (size_t i = 0; i + 1 < parts.size() && parent; ++i) parent = parent->subkey(parts[i]);
    return parent != nullptr && parent->removeSubkey(parts.back());
  });
}

std::vector<std::string> listSubkeys(Root root, std::string_view key) {
  return readRoot(root, [&](Key& top) {
    std::vector<std::string> names;
    if (Key* k = findKey(top, key))
      for (const Key* sub : k->subkeys()) names.push_back(sub->name());
    return names;
  });
}

std::vector<Value> listValues(Root root, std::string_view key) {
  return readRoot(root, [&](Key& top) {
    Key* k = findKey(top, key);
    return k ? k->values() : std::vector<Value>{};
  });
}

void setBeforeReplaceHook(BeforeReplaceHook hook) {
  std::lock_guard guard(store().mutex);
  store().beforeReplace = std::move(hook);
}

}  // namespace pellary::platform::settings
