#include "standins/outlook/outlook_store.h"

#include <fcntl.h>
#include <sys/file.h>
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
#include <string_view>
#include <unordered_map>

#include "platform/errors.h"
#include "platform/files/removals.h"
#include "platform/oledate.h"
#include "platform/paths.h"
#include "platform/state_file.h"
#include "standins/outlook/caldav_files.h"
#include "standins/outlook/ical_item.h"
#include "standins/outlook/item_cache.h"
#include "standins/outlook/local_files.h"

namespace pellary::standins::outlook {

using namespace pellary::platform;

namespace fs = std::filesystem;
using namespace files;

namespace {

constexpr const char* kFormerIndex = "folders.txt";  // the former layout's folder list
constexpr const char* kIdentityFile = ".outlook-folder";
constexpr const char* kNameFile = "displayname";
constexpr const char* kConverting = ".converting";
// MAPI_E_OBJECT_CHANGED, as Outlook raises when an item changed under it.
constexpr long kObjectChanged = -2147221239;

std::string upper(const std::string& s) { return paths::toUpperAscii(s); }

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
    if (putFile(fd.get(), name, text, Put::Replace, old, durable, dir, name).empty()) writeFailed(dir / name, EAGAIN);
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
    std::string subject;  // its key in the subject index
  };
  // An item's file name with its entry; it stays where it is while the file is known.
  using Node = std::pair<const std::string, Entry>;
  // The items of one calendar folder as they stand, with their indexes. The
  // indexes point at the entries and take their keys from them, so that an
  // item is held once.
  struct Items {
    std::unique_ptr<ItemFiles> files;
    std::unordered_map<std::string, Entry> byFile;
    std::unordered_map<std::string_view, Node*> byID;  // keyed by the entry's own ID
    std::map<uint64_t, Node*> order;                   // first seen first
    std::unordered_multimap<std::string_view, Node*> bySubject;
    bool seen = false;        // read once
    fs::path dir;             // a local folder's, where its record of the items is kept
    bool cacheStale = false;  // the items changed since that record was read or written
    int changesUnlooked = 0;  // saves and deletes since the folder's events were last taken in
  };
  static constexpr int kChangesPerLook = 64;

  fs::path root;
  std::vector<std::unique_ptr<Folder>> folders;
  std::map<std::string, Items> items;         // by folder entry ID, once read
  std::unique_ptr<DavAccount> dav;            // when the folders are on a CalDAV server
  std::map<std::string, std::string> hrefOf;  // a server calendar's folder ID to its collection
  uint64_t seq = 0;
  bool unsynced = false;
  bool creating = false;  // a new store's folders, flushed together

  Folder* find(const std::string& id) {
    if (id.empty()) return nullptr;
    // Asked for on every call, mostly with an ID as the store gave it.
    for (auto& f : folders)
      if (f->entryID == id) return f.get();
    for (auto& f : folders)
      if (paths::equalsIgnoreCase(f->entryID, id)) return f.get();
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

  Folder& addRemote(const std::string& parentID, const DavCalendar& c) {
    auto f = std::make_unique<Folder>();
    // A server calendar is known by its collection, run after run.
    f->entryID = "CALDAV:" + c.href;
    f->parentID = parentID;
    f->name = c.name;
    f->defaultItemType = itemtype::Appointment;
    hrefOf[f->entryID] = c.href;
    folders.push_back(std::move(f));
    return *folders.back();
  }

  // On a server: the account is the top, its calendars the calendar folders
  // (a "Calendar" made when there is none); the other standard folders have
  // nothing to keep.
  void loadServerFolders() {
    auto top = std::make_unique<Folder>();
    top->entryID = "CALDAV";
    top->name = "Personal Folders";
    folders.push_back(std::move(top));
    bool calendar = false;
    for (const DavCalendar& c : dav->calendars()) {
      addRemote("CALDAV", c);
      calendar = calendar || paths::equalsIgnoreCase(c.name, "Calendar");
    }
    if (!calendar) addRemote("CALDAV", {dav->makeCalendar("Calendar"), "Calendar"});
    for (auto [name, type] : {std::pair<const char*, int32_t>{"Contacts", itemtype::Contact},
                              {"Inbox", itemtype::Mail},
                              {"Notes", itemtype::Note},
                              {"Tasks", itemtype::Task}}) {
      auto f = std::make_unique<Folder>();
      f->entryID = std::string("CALDAV-") + name;
      f->parentID = "CALDAV";
      f->name = name;
      f->defaultItemType = type;
      folders.push_back(std::move(f));
    }
  }

  // --- the items of a folder ---

  // Takes an entry out of the indexes (not out of byFile).
  static void dropIndexes(Items& in, Node& node) {
    Entry& e = node.second;
    auto range = in.bySubject.equal_range(e.subject);
    for (auto s = range.first; s != range.second; ++s)
      if (s->second == &node) {
        in.bySubject.erase(s);
        break;
      }
    auto id = in.byID.find(e.item.entryID);
    if (id != in.byID.end() && id->second == &node) {
      in.byID.erase(id);
      // Another program's copy of an item going leaves the item's own file holding its ID.
      auto own = in.byFile.find(fileNameFor(e.item.entryID));
      if (own != in.byFile.end() && &*own != &node && own->second.item.entryID == e.item.entryID)
        in.byID.emplace(own->second.item.entryID, &*own);
    }
    in.order.erase(e.seq);
  }

  void unindex(Items& in, const std::string& file) {
    auto it = in.byFile.find(file);
    if (it == in.byFile.end()) return;
    dropIndexes(in, *it);
    in.byFile.erase(it);
    in.cacheStale = true;
  }

  // The item of this file as it now stands; a file seen before keeps its place in the order.
  void index(Items& in, const std::string& file, Appointment a) {
    auto [it, fresh] = in.byFile.try_emplace(file);
    Node& node = *it;
    Entry& e = node.second;
    if (fresh)
      e.seq = ++seq;
    else
      dropIndexes(in, node);
    e.item = std::move(a);
    e.subject = subjectKey(e.item.subject);
    in.bySubject.emplace(e.subject, &node);
    // The last file read with an ID holds it; the key is that entry's own.
    if (auto [id, added] = in.byID.try_emplace(e.item.entryID, &node); !added) {
      in.byID.erase(id);
      in.byID.emplace(e.item.entryID, &node);
    }
    in.order.emplace(e.seq, &node);
    in.cacheStale = true;
  }

  // Takes in the stored items of these names (a name not read is gone).
  void take(Items& in, const std::vector<std::string>& names) {
    if (names.empty()) return;
    std::map<std::string, StoredItem> read = in.files->read(names);
    for (const std::string& file : names) {
      auto it = read.find(file);
      Appointment a;
      if (it == read.end() || !readItem(it->second.text, a)) {
        unindex(in, file);  // no item of a calendar: left alone, and not offered
        continue;
      }
      a.version = it->second.version;
      if (a.entryID.empty()) a.entryID = file.substr(0, file.size() - 4);
      index(in, file, std::move(a));
    }
  }

  // Brings a folder's index up to what changed in its files since the last look.
  void refresh(Items& in) {
    in.changesUnlooked = 0;
    bool complete = false;
    std::vector<std::pair<std::string, std::string>> changed = in.files->changes(complete);
    std::set<std::string> listed;
    std::vector<std::string> stale;
    for (const auto& [file, version] : changed) {
      listed.insert(file);
      auto it = in.byFile.find(file);
      if (version.empty())
        unindex(in, file);
      else if (it == in.byFile.end() || it->second.item.version != version)
        stale.push_back(file);
    }
    if (complete) {
      std::vector<std::string> gone;
      for (const auto& [file, entry] : in.byFile)
        if (!listed.count(file)) gone.push_back(file);
      for (const std::string& file : gone) unindex(in, file);
    }
    take(in, stale);
  }

  // The folder's items; look first takes in what changed elsewhere, which a
  // save or a delete (conditional on the version seen) does not need.
  Items& itemsOf(const std::string& folderID, bool look = true) {
    Folder* f = find(folderID);
    if (!f) raise(err::InvalidCall, "The folder no longer exists");
    auto it = items.find(f->entryID);
    if (it == items.end()) {
      if (f->defaultItemType != itemtype::Appointment && dav)
        raise(err::InvalidCall, "This folder holds no appointments");
      it = items.emplace(f->entryID, Items{}).first;
      Items& in = it->second;
      in.files = dav ? dav->itemFiles(hrefOf.at(f->entryID)) : localItemFiles(f->dir);
      if (!dav) {
        // What the last run recorded; the first look reads only the files changed since.
        in.dir = f->dir;
        for (auto& [file, item] : readItemCache(f->dir)) index(in, file, std::move(item));
        in.cacheStale = false;
      }
    }
    if (look || !it->second.seen) refresh(it->second);
    it->second.seen = true;
    return it->second;
  }

  // The folder's items for a save or a delete, which needs no fresh look: it
  // is refused where it would undo what it has not seen. A local folder still
  // takes in its events every so many changes, so that its own never fill the
  // kernel's queue; a server is not asked.
  Items& changingItemsOf(const std::string& folderID) {
    Items& in = itemsOf(folderID, false);
    if (!dav && ++in.changesUnlooked >= kChangesPerLook) refresh(in);
    return in;
  }

  // Records what the local folders read or changed hold, for the next run;
  // a record that cannot be written only costs that run a full read.
  void writeItemCaches() {
    for (auto& [id, in] : items) {
      if (in.dir.empty() || !in.seen || !in.cacheStale) continue;
      std::vector<std::pair<std::string, const Appointment*>> list;
      list.reserve(in.order.size());
      for (const auto& [seq, node] : in.order) list.emplace_back(node->first, &node->second.item);
      try {
        writeItemCache(in.dir, list);
        in.cacheStale = false;
      } catch (...) {
      }
    }
  }

  static Node* nodeOf(Items& in, const std::string& entryID) {
    auto id = in.byID.find(entryID);
    return id == in.byID.end() ? nullptr : id->second;
  }
  static const Entry* entryOf(Items& in, const std::string& entryID) {
    const Node* node = nodeOf(in, entryID);
    return node ? &node->second : nullptr;
  }
};

Store::Store(fs::path root) : root_(std::move(root)), impl_(std::make_unique<Impl>()) {
  impl_->root = root_;
  std::error_code ec;
  fs::create_directories(root_, ec);
  if (ec) writeFailed(root_, ec.value());
  if (std::optional<DavConfig> config = readDavConfig(root_)) {
    impl_->dav = std::make_unique<DavAccount>(std::move(*config));
    impl_->loadServerFolders();
    return;
  }
  StoreLock lock(root_);
  if (fs::exists(root_ / kFormerIndex, ec)) convertFormerLayout();
  if (fs::exists(root_ / kConverting, ec)) finishConversion();
  impl_->loadFolders(root_, "");
  if (impl_->folders.empty()) {
    // Made aside and put in place by one rename: a run ended part way leaves
    // no store without its calendar, only a hidden folder made anew next time.
    const fs::path home = root_, stage = root_ / ".new-store";
    fs::remove_all(stage, ec);
    fs::create_directories(stage, ec);
    if (ec) writeFailed(stage, ec.value());
    root_ = stage;
    impl_->creating = true;
    Folder& top = addFolder("", "Personal Folders", itemtype::Mail);
    addFolder(top.entryID, "Calendar", itemtype::Appointment);
    addFolder(top.entryID, "Contacts", itemtype::Contact);
    addFolder(top.entryID, "Inbox", itemtype::Mail);
    addFolder(top.entryID, "Notes", itemtype::Note);
    addFolder(top.entryID, "Tasks", itemtype::Task);
    root_ = home;
    fs::path placed = home / top.dir.filename();
    if (fs::exists(placed, ec)) placed = home / (top.dir.filename().string() + "-" + top.entryID.substr(8, 8));
    {
      DirFd staged(stage);
      ::fsync(staged.get());
    }
    const fs::path made = top.dir;
    fs::rename(made, placed, ec);
    if (ec) writeFailed(placed, ec.value());
    for (auto& f : impl_->folders) {
      const fs::path below = f->dir.lexically_relative(made);
      f->dir = below == "." ? placed : placed / below;
    }
    fs::remove(stage, ec);
    impl_->creating = false;
    impl_->unsynced = true;
    sync();
  }
}

Store::~Store() { impl_->writeItemCaches(); }

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
    std::vector<std::string> parts = platform::standins::split(line);
    if (parts.size() < 5) continue;
    Folder f;
    f.entryID = parts[0];
    f.parentID = parts[1];
    f.defaultItemType = std::atoi(parts[2].c_str());
    f.name = parts[3];
    fs::path parent = dirOf.count(f.parentID) ? dirOf[f.parentID] : stage;
    fs::path dir = parent / safeName(f.name);
    if (fs::exists(dir, ec))
      dir = parent / (safeName(f.name) + "-" + f.entryID.substr(f.entryID.size() > 8 ? f.entryID.size() - 8 : 0));
    dirOf[f.entryID] = dir;
    writeFolderFiles(dir, f, false);
    if (parts[4].empty() || !fs::exists(root_ / parts[4], ec)) continue;
    DirFd fd(dir);
    for (const auto& [uid, text] : splitCalendar(readSmallFile(root_ / parts[4]))) {
      std::string file = fileNameFor(uid);
      for (int n = 2; putFile(fd.get(), file, text, Put::Create, {}, false, dir, file).empty(); ++n)
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
  if (impl_->dav) {
    // A server keeps calendars beside each other, not inside one another.
    if (type != itemtype::Appointment || !parent || parent->entryID != "CALDAV")
      raise(err::InvalidCall, "Only calendars can be added to the account");
    return impl_->addRemote(parent->entryID, {impl_->dav->makeCalendar(name), name});
  }
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
  Impl::Items& in = impl_->changingItemsOf(folderID);
  const bool fresh = item.entryID.empty();
  if (fresh) item.entryID = newUID();
  for (int attempt = 0;; ++attempt) {
    if (attempt > 8) raise(kObjectChanged, "The item keeps changing under another program");
    const Impl::Entry* old = impl_->entryOf(in, item.entryID);
    if (!old) {
      // A new item: its own file, never one that exists.
      const std::string file = fileNameFor(item.entryID);
      std::string version = in.files->create(file, newItemText(item));
      if (version.empty()) {
        if (fresh) {
          item.entryID = newUID();
        } else {
          impl_->take(in, {file});  // made elsewhere meanwhile: saved as a change
          if (!impl_->entryOf(in, item.entryID)) raise(kObjectChanged, "Another item holds the name of this one");
        }
        continue;
      }
      impl_->unsynced = impl_->unsynced || in.files->local();
      item.version = version;
      std::string id = item.entryID;
      impl_->index(in, file, std::move(item));
      if (savedVersion) *savedVersion = version;
      return id;
    }
    const std::string file = Impl::nodeOf(in, item.entryID)->first;
    std::map<std::string, StoredItem> read = in.files->read({file});
    if (!read.count(file)) {
      impl_->unindex(in, file);  // removed meanwhile: saved anew
      continue;
    }
    const std::string& text = read[file].text;
    const std::string& version = read[file].version;
    Appointment stored;
    if (!readItem(text, stored)) raise(kObjectChanged, "The item is no longer a calendar item");
    stored.version = version;
    const Appointment& from = base ? *base : old->item;
    if (from.version != version) {
      // Changed elsewhere since it was read: a property both changed must agree.
      const std::vector<std::string> theirs = differences(stored, from), apart = differences(item, stored);
      for (const std::string& what : differences(item, from))
        if (std::count(theirs.begin(), theirs.end(), what) && std::count(apart.begin(), apart.end(), what))
          raise(kObjectChanged, "The item was changed by another program (" + what + ")");
    }
    if (differences(item, from).empty()) {
      impl_->index(in, file, stored);
      if (savedVersion) *savedVersion = version;
      return item.entryID;
    }
    const std::string changed = changedItemText(text, item, from);
    std::string written = in.files->replace(file, changed, version);
    if (written.empty()) continue;  // changed again meanwhile: merged once more
    impl_->unsynced = impl_->unsynced || in.files->local();
    Appointment now;
    readItem(changed, now);
    now.version = written;
    impl_->index(in, file, std::move(now));
    if (savedVersion) *savedVersion = written;
    return item.entryID;
  }
}

bool Store::deleteItem(const std::string& folderID, const std::string& entryID) {
  Impl::Items& in = impl_->changingItemsOf(folderID);
  for (int attempt = 0; attempt < 8; ++attempt) {
    const Impl::Entry* e = impl_->entryOf(in, entryID);
    if (!e) return false;
    const std::string file = Impl::nodeOf(in, entryID)->first;
    const Appointment seen = e->item;
    if (in.files->remove(file, seen.version)) {
      impl_->unindex(in, file);
      impl_->unsynced = impl_->unsynced || in.files->local();
      return true;
    }
    // Changed elsewhere since it was read: deleted only when it is still the item found.
    impl_->take(in, {file});
    const Impl::Entry* now = impl_->entryOf(in, entryID);
    if (now && !differences(now->item, seen).empty())
      raise(kObjectChanged, "The item was changed by another program since it was found");
  }
  raise(kObjectChanged, "The item keeps changing under another program");
}

std::vector<Appointment> Store::items(const std::string& folderID) {
  Impl::Items& in = impl_->itemsOf(folderID);
  std::vector<Appointment> out;
  out.reserve(in.order.size());
  for (const auto& [seq, node] : in.order) out.push_back(node->second.item);
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
    for (auto it = range.first; it != range.second; ++it) candidates.push_back(&it->second->second);
    std::sort(candidates.begin(), candidates.end(), [](auto* a, auto* b) { return a->seq < b->seq; });
  } else {
    for (const auto& [seq, node] : in.order) candidates.push_back(&node->second);
  }
  std::vector<std::string> out;
  for (const Impl::Entry* e : candidates)
    if (matchesFilter(e->item, filter)) out.push_back(e->item.entryID);
  if (candidates.empty()) parseFilter(filter);  // a bad filter is refused even where nothing matches
  return out;
}

fs::path Store::itemFile(const std::string& folderID, const std::string& entryID) {
  Impl::Items& in = impl_->itemsOf(folderID);
  const Impl::Node* node = Impl::nodeOf(in, entryID);
  return node ? fs::path(in.files->where(node->first)) : fs::path();
}

void Store::sync() {
  impl_->writeItemCaches();
  if (!impl_->unsynced) return;
  platform::files::finishRemovals();
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
    platform::standins::onSyncSaved([] {
      if (current()) current()->sync();
    });
    return true;
  }();
  (void)registered;
  // Asked for on every call the writer makes: the store's root is built again
  // only when the stand-in folder moved.
  static fs::path placedIn;
  const fs::path& standins = paths::standinsFolder();
  auto& s = current();
  if (s && standins.native() == placedIn.native()) return *s;
  fs::path root = standins / "Outlook";
  if (!s || s->root() != root) {
    s = std::make_unique<Store>(root);
    session() = Session{{}, session().onDisplay};
  }
  placedIn = standins;
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

}  // namespace pellary::standins::outlook
