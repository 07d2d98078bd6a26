#include "standins/palm/palm_desktop.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <system_error>
#include <tuple>

#include "platform/automation/class_registry.h"
#include "platform/automation/dispatch.h"
#include "platform/errors.h"
#include "platform/files/whole_file.h"
#include "platform/paths.h"
#include "platform/refusal.h"
#include "platform/settings/settings_tree.h"
#include "platform/state_file.h"
#include "platform/text/codepages.h"

namespace pellary::standins::palm {

using namespace pellary::platform;

namespace {

using platform::standins::escape;
using platform::standins::unescape;

using automation::CheckedArgs;
using automation::InterfaceInfo;
using automation::InvokeKind;
using automation::MemberInfo;
using automation::ParamType;

// The unescaped fields of a state-file line.
std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> parts = platform::standins::split(line);
  for (std::string& p : parts) p = unescape(p);
  return parts;
}

std::vector<std::string> readLines(const fs::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// Replaced whole, so a reader never sees half a file.
void writeAtomically(const fs::path& file, const std::string& content) {
  platform::standins::aboutToChange(file);
  fs::create_directories(file.parent_path());
  try {
    files::replaceWholeFile(file, content);
  } catch (const files::ReplaceFailed&) {
    raise(err::PathFileAccess);
  }
}

fs::path usersFile() { return desktopFolder() / "users.txt"; }
fs::path hotSyncFile() { return desktopFolder() / "hotsync.state"; }
fs::path toolsFile() { return desktopFolder() / "tools.log"; }
fs::path installFolder(const PalmUser& u) { return userFolder(u) / "Install"; }

void writeUsers(const std::vector<PalmUser>& list) {
  std::string content;
  for (const auto& u : list)
    content +=
        std::to_string(u.id) + "\t" + (u.profile ? "1" : "0") + "\t" + escape(u.folder) + "\t" + escape(u.name) + "\n";
  writeAtomically(usersFile(), content);
}

// A user's folder name: the letters and digits of the name, made unique.
std::string folderNameFor(const std::string& name, const std::vector<PalmUser>& existing) {
  std::string base;
  for (unsigned char c : name)
    if (std::isalnum(c)) base += static_cast<char>(c);
  if (base.empty()) base = "User";
  std::string folder = base;
  for (int n = 2;; ++n) {
    bool clash = std::any_of(existing.begin(), existing.end(),
                             [&](const PalmUser& u) { return paths::equalsIgnoreCase(u.folder, folder); });
    if (!clash) return folder;
    folder = base + std::to_string(n);
  }
}

// --- the controls ------------------------------------------------------------

class UserManager : public automation::TypedDispatch {
 public:
  UserManager() : TypedDispatch(info()) {}
  static const InterfaceInfo& info() {
    static const InterfaceInfo i{
        "IUserManager",
        "{6C1C5A10-3F3E-4E8B-9A51-0D5F2A7C1001}",
        "HotSync users",
        {
            {1, "UserCount", {}, ParamType::Long, InvokeKind::PropertyGet, ""},
            {5, "GetUserIdFromIndex", {{"index", ParamType::Long}}, ParamType::Long, InvokeKind::Method, ""},
        }};
    return i;
  }

 protected:
  Variant invokeMember(const MemberInfo& m, CheckedArgs& a) override {
    auto list = users();
    if (m.id == 1) return static_cast<int32_t>(list.size());
    int32_t index = a.longValue(0);
    if (index < 0 || index >= static_cast<int32_t>(list.size())) raise(err::InvalidCall);
    return list[static_cast<size_t>(index)].id;
  }
};

class UserData : public automation::TypedDispatch {
 public:
  UserData() : TypedDispatch(info()) {}
  static const InterfaceInfo& info() {
    static const InterfaceInfo i{
        "IUserData",
        "{6C1C5A10-3F3E-4E8B-9A51-0D5F2A7C1002}",
        "One HotSync user",
        {
            {1, "Name", {}, ParamType::String, InvokeKind::PropertyGet, ""},
            {2, "UserDirectory", {}, ParamType::String, InvokeKind::PropertyGet, ""},
            {4, "IsProfile", {}, ParamType::Boolean, InvokeKind::PropertyGet, ""},
            {6, "AddFileToInstall", {{"file", ParamType::String}}, ParamType::Long, InvokeKind::Method, ""},
            {14, "SelectUser", {{"userId", ParamType::Long}}, ParamType::Long, InvokeKind::Method, ""},
        }};
    return i;
  }

 protected:
  Variant invokeMember(const MemberInfo& m, CheckedArgs& a) override {
    if (m.id == 14) {
      auto u = findUser(a.longValue(0));
      if (!u) return status::NoSuchUser;
      selected_ = u->id;
      return status::Ok;
    }
    std::optional<PalmUser> u = selected_ ? findUser(*selected_) : std::nullopt;
    switch (m.id) {
      case 1: return u ? u->name : std::string();
      case 2: return u ? u->folder : std::string();
      case 4: return u ? u->profile : false;
      case 6: return u ? queueInstall(u->id, a.string(0)) : status::NoUserSelected;
    }
    return {};
  }

 private:
  std::optional<int32_t> selected_;
};

class HotSyncApi : public automation::TypedDispatch {
 public:
  HotSyncApi() : TypedDispatch(info()) {}
  static const InterfaceInfo& info() {
    static const InterfaceInfo i{
        "IHotSyncApi",
        "{6C1C5A10-3F3E-4E8B-9A51-0D5F2A7C1003}",
        "HotSync manager",
        {
            {15, "StartHotSync", {{"started", ParamType::Boolean}}, ParamType::Long, InvokeKind::Method, ""},
            {16, "ShutdownHotSync", {}, ParamType::Long, InvokeKind::Method, ""},
        }};
    return i;
  }

 protected:
  Variant invokeMember(const MemberInfo& m, CheckedArgs& a) override {
    HotSyncState s = hotSyncState();
    if (m.id == 16) {
      if (!s.running) return status::NotRunning;
      s.running = false;
      ++s.stops;
      setHotSyncState(s);
      return status::Ok;
    }
    bool started = false;
    if (s.restartable) {
      s.running = true;
      ++s.starts;
      started = true;
      setHotSyncState(s);
    }
    a.setOut(0, started);
    return status::Ok;
  }
};

int16_t readInt16(const std::string& data, size_t& pos) {
  if (pos + 2 > data.size()) raise(err::Internal, "Exchange file ends inside a record");
  auto v = static_cast<uint16_t>(static_cast<uint8_t>(data[pos]) | (static_cast<uint8_t>(data[pos + 1]) << 8));
  pos += 2;
  return static_cast<int16_t>(v);
}

std::string readText(const std::string& data, size_t& pos) {
  int16_t n = readInt16(data, pos);
  if (n < 0 || pos + static_cast<size_t>(n) > data.size()) raise(err::Internal, "Bad text length in exchange file");
  std::string bytes = data.substr(pos, static_cast<size_t>(n));
  pos += static_cast<size_t>(n);
  return text::cp1252ToUtf8(bytes);
}

}  // namespace

fs::path desktopFolder() { return paths::standinsFolder() / "PalmDesktop"; }

void installDesktop() {
  fs::create_directories(desktopFolder());
  fs::path hotsync = desktopFolder() / "HotSync.exe";
  if (!fs::exists(hotsync)) std::ofstream(hotsync, std::ios::binary) << "HotSync manager stand-in\n";
  settings::writeValue(settings::Root::CurrentUser, kCoreKey, "Path", desktopFolder().string());
  settings::writeValue(settings::Root::CurrentUser, kCoreKey, "HotSyncPath", hotsync.string());
}

std::vector<PalmUser> users() {
  std::vector<PalmUser> list;
  for (const auto& line : readLines(usersFile())) {
    auto f = splitTabs(line);
    if (f.size() < 4) continue;
    PalmUser u;
    try {
      u.id = static_cast<int32_t>(std::stol(f[0]));
    } catch (...) {
      continue;
    }
    u.profile = f[1] == "1";
    u.folder = f[2];
    u.name = f[3];
    list.push_back(u);
  }
  return list;
}

std::optional<PalmUser> findUser(int32_t id) {
  for (auto& u : users())
    if (u.id == id) return u;
  return std::nullopt;
}

PalmUser addUser(const std::string& name, bool profile, std::optional<int32_t> id) {
  auto list = users();
  PalmUser u;
  if (id) {
    u.id = *id;
  } else {
    u.id = 1;
    for (const auto& e : list) u.id = std::max(u.id, e.id + 1);
  }
  for (const auto& e : list)
    if (e.id == u.id) raise(err::InvalidCall, "A Palm user with this ID exists");
  u.name = name;
  u.profile = profile;
  u.folder = folderNameFor(name, list);
  list.push_back(u);
  fs::create_directories(userFolder(u) / "Datebook");
  writeDatebook(datebookFile(u), {});
  writeUsers(list);
  return u;
}

fs::path userFolder(const PalmUser& user) { return desktopFolder() / user.folder; }
fs::path datebookFile(const PalmUser& user) { return userFolder(user) / "Datebook" / "Datebook.dat"; }

std::vector<std::string> installQueue(int32_t userId) {
  std::vector<std::string> names;
  auto u = findUser(userId);
  std::error_code ec;
  if (!u || !fs::is_directory(installFolder(*u), ec)) return names;
  for (const auto& e : fs::directory_iterator(installFolder(*u))) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

int32_t queueInstall(int32_t userId, const std::string& file) {
  auto u = findUser(userId);
  if (!u) return status::NoSuchUser;
  fs::path source = paths::resolve(file);
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) return status::FileNotFound;
  fs::create_directories(installFolder(*u));
  fs::path target = installFolder(*u) / source.filename();
  bool had = fs::exists(target, ec);
  fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
  if (ec) return status::FileNotFound;
  return had ? status::AlreadyQueued : status::Ok;
}

HotSyncState hotSyncState() {
  HotSyncState s;
  for (const auto& line : readLines(hotSyncFile())) {
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string k = line.substr(0, eq);
    int v = std::atoi(line.c_str() + eq + 1);
    if (k == "running")
      s.running = v != 0;
    else if (k == "restartable")
      s.restartable = v != 0;
    else if (k == "stops")
      s.stops = v;
    else if (k == "starts")
      s.starts = v;
  }
  return s;
}

void setHotSyncState(const HotSyncState& s) {
  std::ostringstream out;
  out << "running=" << (s.running ? 1 : 0) << "\nrestartable=" << (s.restartable ? 1 : 0) << "\nstops=" << s.stops
      << "\nstarts=" << s.starts << "\n";
  writeAtomically(hotSyncFile(), out.str());
}

int32_t recordToolStart(const std::string& program, const std::string& parameters, const std::string& folder) {
  fs::create_directories(desktopFolder());
  {
    std::ofstream out(toolsFile(), std::ios::binary | std::ios::app);
    out << escape(program) << "\t" << escape(parameters) << "\t" << escape(folder) << "\n";
  }
  std::string name = paths::toLowerAscii(paths::resolve(program).filename().string());
  if (name == "restarths.exe") {
    HotSyncState s = hotSyncState();
    s.running = true;
    ++s.starts;
    setHotSyncState(s);
  }
  return 42;
}

std::vector<ToolStart> toolStarts() {
  std::vector<ToolStart> list;
  for (const auto& line : readLines(toolsFile())) {
    auto f = splitTabs(line);
    f.resize(3);
    list.push_back({f[0], f[1], f[2]});
  }
  return list;
}

std::vector<DatebookEntry> readDatebook(const fs::path& file) {
  std::vector<DatebookEntry> entries;
  std::error_code ec;
  if (!fs::exists(file, ec)) return entries;
  auto lines = readLines(file);
  if (lines.empty() || lines[0] != "PalmDatebook 1") raise(err::DbNotDatabase, "Not a Date Book file");
  for (size_t i = 1; i < lines.size(); ++i) {
    auto f = splitTabs(lines[i]);
    if (f.size() != 8) raise(err::DbNotDatabase, "Damaged Date Book entry");
    DatebookEntry e;
    int16_t* nums[] = {&e.startDay, &e.startMonth, &e.startYear, &e.endDay, &e.endMonth, &e.endYear};
    for (int k = 0; k < 6; ++k) *nums[k] = static_cast<int16_t>(std::atoi(f[static_cast<size_t>(k)].c_str()));
    e.title = f[6];
    e.note = f[7];
    entries.push_back(e);
  }
  return entries;
}

void writeDatebook(const fs::path& file, const std::vector<DatebookEntry>& entries) {
  std::string content = "PalmDatebook 1\n";
  for (const auto& e : entries) {
    for (int16_t n : {e.startDay, e.startMonth, e.startYear, e.endDay, e.endMonth, e.endYear})
      content += std::to_string(n) + "\t";
    content += escape(e.title) + "\t" + escape(e.note) + "\n";
  }
  writeAtomically(file, content);
}

int32_t MyOpenConduit(const char* datebookPath, const char* exchangePath) {
  try {
    if (!datebookPath || !exchangePath || !*datebookPath) return -1;
    // The library takes ANSI paths.
    fs::path datebook = paths::resolve(text::cp1252ToUtf8(datebookPath));
    fs::path exchange = paths::resolve(text::cp1252ToUtf8(exchangePath));
    const std::optional<std::string> whole = files::readWholeFile(exchange);
    if (!whole) return -1;
    const std::string& data = *whole;

    // The whole file is read before anything is applied: a damaged file changes nothing.
    struct Rec {
      char action;
      DatebookEntry entry;
    };
    std::vector<Rec> recs;
    size_t pos = 0;
    while (pos < data.size()) {
      Rec r{data[pos++], {}};
      if (r.action != 'a' && r.action != 'd') return -1;
      r.entry.title = readText(data, pos);
      r.entry.note = readText(data, pos);
      readInt16(data, pos);  // reserved, two halves
      readInt16(data, pos);
      int16_t* nums[] = {&r.entry.startDay, &r.entry.startMonth, &r.entry.startYear,
                         &r.entry.endDay,   &r.entry.endMonth,   &r.entry.endYear};
      for (auto* n : nums) *n = readInt16(data, pos);
      recs.push_back(std::move(r));
    }

    auto entries = readDatebook(datebook);
    // The writer's delete records carry the start date only (the end is the
    // zero date), so an entry is found by its title and start day: the first
    // such entry, looked up rather than searched for.
    using Key = std::tuple<std::string, int16_t, int16_t, int16_t>;
    auto key = [](const DatebookEntry& e) { return Key{e.title, e.startYear, e.startMonth, e.startDay}; };
    std::map<Key, std::deque<size_t>> positions;
    for (size_t i = 0; i < entries.size(); ++i) positions[key(entries[i])].push_back(i);
    std::vector<bool> gone(entries.size(), false);
    int32_t applied = 0;
    for (const auto& r : recs) {
      if (r.action == 'a') {
        platform::standins::takeEntry();
        positions[key(r.entry)].push_back(entries.size());
        entries.push_back(r.entry);
        gone.push_back(false);
        ++applied;
        continue;
      }
      auto found = positions.find(key(r.entry));
      if (found != positions.end() && !found->second.empty()) {
        gone[found->second.front()] = true;
        found->second.pop_front();
        ++applied;
      }
    }
    platform::standins::dropGone(entries, gone);
    writeDatebook(datebook, entries);
    return applied;
  } catch (...) {
    return -1;
  }
}

void registerPalmControls() {
  automation::registerBuiltinClass(kUserManagerClass, [] { return std::make_shared<UserManager>(); });
  automation::registerBuiltinClass(kUserDataClass, [] { return std::make_shared<UserData>(); });
  automation::registerBuiltinClass(kHotSyncApiClass, [] { return std::make_shared<HotSyncApi>(); });
}

}  // namespace pellary::standins::palm
