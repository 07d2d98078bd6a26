#include "standins/tessel/connect_engine.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "standins/handheld/handheld.h"

namespace pellary::standins::tessel {

namespace fs = std::filesystem;

namespace {

std::atomic<int> gLiveEngines{0};
std::atomic<int> gLiveObjects{0};

std::mutex gMakerMutex;
EngineMaker& maker() {
  static EngineMaker m = [] { return makeStandInEngine(); };
  return m;
}

// Answers are held for every engine at once, so a test sees requests queue up.
std::mutex gHoldMutex;
std::condition_variable gHoldChanged;
bool gHeld = false;

std::atomic<bool> gDropped{false};

bool deviceLinked() {
  std::error_code ec;
  return !gDropped.load() && fs::is_directory(deviceRoot(), ec);
}

void copyText(char* to, std::string_view from) {
  const size_t n = std::min(from.size(), kTextBytes - 1);
  std::memcpy(to, from.data(), n);
  to[n] = '\0';
}

template <class Interface>
class RefCounted : public Interface {
 public:
  RefCounted() { ++gLiveObjects; }
  virtual ~RefCounted() { --gLiveObjects; }
  HResult QueryInterface(const char* iid, void** out) override {
    if (!out) return kPointer;
    *out = nullptr;
    if (!iid || !paths::equalsIgnoreCase(iid, kUnknownIid)) return kNoInterface;
    AddRef();
    *out = static_cast<Unknown*>(this);
    return kOk;
  }
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    const uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<uint32_t> refs_{1};
};

struct EntryData {
  std::string name;
  bool folder = false;
  uint32_t uids[3] = {0, 0, 0};
};

EntryData describe(const fs::path& p, std::string name) {
  EntryData d;
  d.name = std::move(name);
  std::error_code ec;
  d.folder = fs::is_directory(p, ec);
  if (!d.folder) {
    std::ifstream in(p, std::ios::binary);
    unsigned char b[12];
    if (in.read(reinterpret_cast<char*>(b), 12))
      for (int i = 0; i < 3; ++i)
        d.uids[i] = uint32_t(b[4 * i]) | uint32_t(b[4 * i + 1]) << 8 | uint32_t(b[4 * i + 2]) << 16 |
                    uint32_t(b[4 * i + 3]) << 24;
  }
  return d;
}

class Entry final : public RefCounted<IConnectEntry> {
 public:
  explicit Entry(EntryData d) : data_(std::move(d)) {
    for (int i = 0; i < 3; ++i) record_.setUid(i, data_.uids[i]);
  }
  HResult Record(const EntryRecord** out) override {
    if (!out) return kPointer;
    *out = &record_;
    return kOk;
  }
  HResult Name(char* buffer) override {
    if (!buffer) return kPointer;
    copyText(buffer, data_.name);
    return kOk;
  }
  HResult Attributes(AttributeRecord* out) override {
    if (!out) return kPointer;
    *out = AttributeRecord{};
    out->bits = data_.folder ? kAttrFolder : 0;
    return kOk;
  }

 private:
  EntryData data_;
  EntryRecord record_;
};

class EntryList final : public RefCounted<IConnectEntryList> {
 public:
  explicit EntryList(std::vector<EntryData> entries) : entries_(std::move(entries)) {}
  HResult Next(uint32_t count, IConnectEntry** entry, uint32_t* fetched) override {
    if (!entry || !fetched) return kPointer;
    *entry = nullptr;
    *fetched = 0;
    if (count == 0 || next_ >= entries_.size()) return 1;  // S_FALSE
    *entry = new Entry(entries_[next_++]);
    *fetched = 1;
    return kOk;
  }
  HResult Reset() override {
    next_ = 0;
    return kOk;
  }

 private:
  std::vector<EntryData> entries_;
  size_t next_ = 0;
};

class Drive final : public RefCounted<IConnectDrive> {
 public:
  Drive(char letter, const std::string& volume) {
    record_.letter = letter;
    copyText(record_.volume, volume);
  }
  HResult Record(const DriveRecord** out) override {
    if (!out) return kPointer;
    *out = &record_;
    return kOk;
  }

 private:
  DriveRecord record_;
};

// ---- the device folder ----

// The file or folder a device path names; nothing when it does not exist or
// the path would leave the device.
std::optional<fs::path> resolveDevicePath(std::string_view path) {
  fs::path p = handheld::existingDevicePath(path);
  if (p.empty()) return std::nullopt;
  return p;
}

std::optional<fs::path> driveFolder(char letter) {
  fs::path p = handheld::driveFolder(letter);
  if (p.empty()) return std::nullopt;
  return p;
}

std::string lowered(std::string_view s) { return paths::toLowerAscii(s); }

// Tells when the device folder appears or goes: inotify on the folder that
// holds it, so a device plugged in or pulled out while a dialog is open is
// noticed at once; a slow look every second covers what inotify cannot see
// (the parent itself missing, or removed and made again).
class DeviceWatch {
 public:
  explicit DeviceWatch(std::function<void(bool)> changed)
      : changed_(std::move(changed)), device_(deviceRoot()), linked_(handheld::linked()) {
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    notifyFd_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    thread_ = std::thread([this] { run(); });
  }
  ~DeviceWatch() {
    const uint64_t one = 1;
    if (stopFd_ >= 0) {
      [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
    }
    stop_ = true;
    thread_.join();
    if (notifyFd_ >= 0) ::close(notifyFd_);
    if (stopFd_ >= 0) ::close(stopFd_);
  }
  DeviceWatch(const DeviceWatch&) = delete;
  DeviceWatch& operator=(const DeviceWatch&) = delete;

 private:
  void run() {
    constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                                 IN_ONLYDIR;
    int watch = -1;
    while (!stop_) {
      if (notifyFd_ >= 0 && watch < 0) watch = inotify_add_watch(notifyFd_, device_.parent_path().c_str(), kEvents);
      pollfd fds[2] = {{stopFd_, POLLIN, 0}, {notifyFd_, POLLIN, 0}};
      const int ready = ::poll(fds, notifyFd_ >= 0 ? 2 : 1, watch >= 0 ? 1000 : 250);
      if (stop_ || (ready > 0 && (fds[0].revents & POLLIN))) return;
      if (ready > 0 && (fds[1].revents & POLLIN)) {
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = ::read(notifyFd_, buffer, sizeof buffer)) > 0)
          for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            // The parent went: watch it again once it is back.
            if (e->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
              if (watch >= 0) inotify_rm_watch(notifyFd_, watch);
              watch = -1;
            }
            at += ssize_t(sizeof(inotify_event) + e->len);
          }
      }
      std::error_code ec;
      const bool now = fs::is_directory(device_, ec);
      if (now != linked_) {
        linked_ = now;
        changed_(now);
      }
    }
  }

  std::function<void(bool)> changed_;
  fs::path device_;
  bool linked_;
  int stopFd_ = -1;
  int notifyFd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// ---- the engine ----

class Engine;
std::mutex gEnginesMutex;
std::set<Engine*> gEngines;

class Engine final : public IConnectEngine {
 public:
  Engine() {
    ++gLiveEngines;
    worker_ = std::thread([this] { run(); });
    watch_ = std::make_unique<DeviceWatch>([this](bool up) { linkChanged(up); });
    std::lock_guard lock(gEnginesMutex);
    gEngines.insert(this);
  }
  ~Engine() {
    watch_.reset();
    {
      std::lock_guard lock(gEnginesMutex);
      gEngines.erase(this);
    }
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    {
      // A held worker must still be able to leave.
      std::lock_guard lock(gHoldMutex);
    }
    gHoldChanged.notify_all();
    worker_.join();
    if (sink_) sink_->Release();
    --gLiveEngines;
  }

  HResult QueryInterface(const char* iid, void** out) override {
    if (!out) return kPointer;
    *out = nullptr;
    if (!iid || !(paths::equalsIgnoreCase(iid, kEngineIid) || paths::equalsIgnoreCase(iid, kUnknownIid)))
      return kNoInterface;
    AddRef();
    *out = static_cast<IConnectEngine*>(this);
    return kOk;
  }
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    const uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HResult Advise(IConnectEngineSink* sink) override {
    if (!sink) return kPointer;
    sink->AddRef();
    IConnectEngineSink* old = nullptr;
    {
      std::lock_guard lock(mutex_);
      old = sink_;
      sink_ = sink;
    }
    if (old) old->Release();
    post([](IConnectEngineSink* s) { s->OnStarted(0); });
    return kOk;
  }

  HResult Connect(int32_t) override {
    post([this](IConnectEngineSink* s) {
      wantsLink_ = true;
      if (deviceLinked() && !linkUp_) {
        linkUp_ = true;
        s->OnLinkUp(0);
      }
    });
    return kOk;
  }

  HResult RequestDrives(const PathRecord*) override {
    post([this](IConnectEngineSink* s) {
      DriveListRecord rec;
      if (!linkUp_) {
        s->OnDrivesReady(kErrDisconnected, &rec);
        return;
      }
      size_t at = 0;
      for (char letter : handheld::driveLetters()) {
        if (at + 4 > kTextBytes) break;
        rec.bytes[at++] = letter;
        rec.bytes[at++] = ':';
        rec.bytes[at++] = '\0';
      }
      s->OnDrivesReady(0, &rec);
    });
    return kOk;
  }

  HResult RequestDriveInfo(const PathRecord* record, IConnectDrive** drive) override {
    if (!record || !drive) return kPointer;
    const char letter = record->text[0];
    post([this, letter, drive](IConnectEngineSink* s) {
      *drive = nullptr;
      auto folder = linkUp_ ? driveFolder(letter) : std::nullopt;
      if (!folder) {
        s->OnDriveInfoReady(linkUp_ ? kErrNotReady : kErrDisconnected);
        return;
      }
      const char upper = char(std::toupper((unsigned char)letter));
      *drive = new Drive(upper, handheld::volumeName(upper));
      s->OnDriveInfoReady(0);
    });
    return kOk;
  }

  HResult RequestEntry(const PathRecord* record, IConnectEntry** entry) override {
    if (!record || !entry) return kPointer;
    std::string path(record->text, strnlen(record->text, kTextBytes));
    post([this, path, entry](IConnectEngineSink* s) {
      *entry = nullptr;
      if (!linkUp_) {
        s->OnEntryReady(kErrDisconnected);
        return;
      }
      auto p = resolveDevicePath(path);
      if (!p) {
        s->OnEntryReady(kErrNotFound);
        return;
      }
      std::string name = p->filename().string();
      if (path.size() <= 3) name = path.substr(0, 2);  // a drive root
      *entry = new Entry(describe(*p, name));
      s->OnEntryReady(0);
    });
    return kOk;
  }

  HResult RequestListing(const PathRecord* record, IConnectEntryList** listing) override {
    if (!record || !listing) return kPointer;
    std::string text(record->text, strnlen(record->text, kTextBytes));
    post([this, text, listing](IConnectEngineSink* s) {
      *listing = nullptr;
      if (!linkUp_) {
        s->OnListingReady(kErrDisconnected, 0);
        return;
      }
      const size_t cut = text.rfind('\\');
      const std::string folderPath = cut == std::string::npos ? text : text.substr(0, cut);
      const std::string pattern = cut == std::string::npos ? std::string("*.*") : text.substr(cut + 1);
      auto folder = resolveDevicePath(folderPath);
      std::error_code ec;
      if (!folder || !fs::is_directory(*folder, ec)) {
        s->OnListingReady(kErrPathNotFound, 0);
        return;
      }
      std::vector<std::pair<std::string, fs::path>> found;
      for (const auto& e : fs::directory_iterator(*folder, ec)) {
        std::string name = e.path().filename().string();
        if (pattern.empty() || matchWildcard(name, pattern, true)) found.emplace_back(std::move(name), e.path());
      }
      std::sort(found.begin(), found.end(),
                [](const auto& a, const auto& b) { return lowered(a.first) < lowered(b.first); });
      std::vector<EntryData> entries;
      for (auto& [name, p] : found) entries.push_back(describe(p, name));
      const int32_t count = int32_t(entries.size());
      *listing = new EntryList(std::move(entries));
      s->OnListingReady(0, count);
    });
    return kOk;
  }

  HResult RequestValue(int32_t code) override {
    post([this, code](IConnectEngineSink* s) {
      if (!linkUp_) {
        s->OnValueReady(kErrDisconnected, code, 0);
        return;
      }
      int32_t value = code == 2 ? 32 : 0;
      if (code == 2) {
        std::ifstream in(deviceRoot() / "value.txt");
        int32_t v;
        if (in >> v) value = v;
      }
      s->OnValueReady(0, code, value);
    });
    return kOk;
  }

  HResult ParsePath(const char* path, int32_t, int32_t, ParseResult* result) override {
    if (!path || !result) return kPointer;
    *result = ParseResult{};
    const std::string_view in(path, strnlen(path, kTextBytes - 1));
    const size_t last = in.rfind('\\');
    const bool hasDrive = in.size() >= 2 && std::isalpha((unsigned char)in[0]) && in[1] == ':';
    if (hasDrive) {
      result->driveLength = 2;
      result->pathLength = uint16_t(last == std::string_view::npos || last < 2 ? 0 : last + 1 - 2);
      copyText(result->text, in);
    } else {
      result->pathLength = uint16_t(last == std::string_view::npos ? 0 : last + 1);
    }
    return kOk;
  }

  HResult MatchWildcard(const char* name, const char* pattern, int32_t foldCase, int32_t* result) override {
    if (!name || !pattern || !result) return kPointer;
    *result = matchWildcard(name, pattern, foldCase != 0) ? 1 : 0;
    return kOk;
  }

  void linkChanged(bool up) {
    post([this, up](IConnectEngineSink* s) {
      if (!up && linkUp_) {
        linkUp_ = false;
        s->OnLinkDown(kErrDisconnected);
      } else if (up && wantsLink_ && !linkUp_ && deviceLinked()) {
        linkUp_ = true;
        s->OnLinkUp(0);
      }
    });
  }

 private:
  using Task = std::function<void(IConnectEngineSink*)>;

  void post(Task task) {
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
  }

  void run() {
    for (;;) {
      Task task;
      IConnectEngineSink* sink = nullptr;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stop_ || !tasks_.empty(); });
        if (stop_) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
        sink = sink_;
      }
      {
        std::unique_lock lock(gHoldMutex);
        gHoldChanged.wait(lock, [this] { return !gHeld || stopping(); });
      }
      if (stopping()) return;
      if (sink) task(sink);
    }
  }

  bool stopping() {
    std::lock_guard lock(mutex_);
    return stop_;
  }

  std::atomic<uint32_t> refs_{1};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  bool stop_ = false;
  IConnectEngineSink* sink_ = nullptr;
  // Touched only by the worker.
  bool wantsLink_ = false;
  bool linkUp_ = false;
  std::thread worker_;
  std::unique_ptr<DeviceWatch> watch_;
};

void notifyEngines(bool up) {
  std::lock_guard lock(gEnginesMutex);
  for (Engine* e : gEngines) e->linkChanged(up);
}

}  // namespace

HResult createConnectEngine(const char* clsid, const char* iid, IConnectEngine** engine) {
  if (!engine) return kPointer;
  *engine = nullptr;
  if (!clsid || !paths::equalsIgnoreCase(clsid, kEngineClsid)) return kClassNotRegistered;
  if (!iid || !(paths::equalsIgnoreCase(iid, kEngineIid) || paths::equalsIgnoreCase(iid, kUnknownIid)))
    return kNoInterface;
  EngineMaker m;
  {
    std::lock_guard lock(gMakerMutex);
    m = maker();
  }
  IConnectEngine* made = m ? m() : nullptr;
  if (!made) return kClassNotRegistered;
  *engine = made;
  return kOk;
}

EngineMaker setEngineMaker(EngineMaker m) {
  std::lock_guard lock(gMakerMutex);
  EngineMaker old = std::move(maker());
  maker() = std::move(m);
  return old;
}

IConnectEngine* makeStandInEngine() { return new Engine(); }

fs::path deviceRoot() { return handheld::deviceFolder(); }

fs::path addDrive(char letter, const std::string& volume) { return handheld::addDrive(letter, volume); }

void setDeviceValue(int32_t value) {
  fs::create_directories(deviceRoot());
  std::ofstream(deviceRoot() / "value.txt", std::ios::trunc) << value << "\n";
}

void dropLink() {
  gDropped = true;
  notifyEngines(false);
}

void restoreLink() {
  gDropped = false;
  notifyEngines(true);
}

void holdAnswers(bool held) {
  {
    std::lock_guard lock(gHoldMutex);
    gHeld = held;
  }
  gHoldChanged.notify_all();
}

int liveEngines() { return gLiveEngines.load(); }
int liveEngineObjects() { return gLiveObjects.load(); }

bool matchWildcard(std::string_view name, std::string_view pattern, bool foldCase) {
  if (pattern == "*.*" || pattern == "*") return true;
  auto same = [foldCase](char a, char b) {
    return foldCase ? std::tolower((unsigned char)a) == std::tolower((unsigned char)b) : a == b;
  };
  size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && same(pattern[p], name[n])))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace pellary::standins::tessel
