#include "standins/daytimer/daytimer_db.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/refusal.h"
#include "platform/state_file.h"

namespace pellary::standins::daytimer {

using namespace pellary::platform;

namespace au = automation;

namespace {

using platform::standins::escape;
using platform::standins::unescape;

bool likePattern(const std::string& text, const std::string& pattern) {
  const bool prefix = !pattern.empty() && pattern.back() == '*';
  const std::string p = prefix ? pattern.substr(0, pattern.size() - 1) : pattern;
  if (prefix ? text.size() < p.size() : text.size() != p.size()) return false;
  return paths::equalsIgnoreCase(text.substr(0, p.size()), p);
}

const au::InterfaceInfo& info() {
  static const au::InterfaceInfo i{"DayTimerDatabase",
                                   "{C8A2B5B2-937C-11D2-BCAC-0000C54A2CA8}",
                                   "",
                                   {{1,
                                     "setCurrentDB",
                                     {{"path", au::ParamType::String},
                                      {"user", au::ParamType::String},
                                      {"dbPassword", au::ParamType::String},
                                      {"userPassword", au::ParamType::String},
                                      {"result", au::ParamType::Long}},
                                     au::ParamType::Void,
                                     au::InvokeKind::Method,
                                     ""}}};
  return i;
}

}  // namespace

fs::path windowsFolder() { return paths::standinsFolder() / "windows"; }

fs::path databaseFile(std::string_view path) {
  if (path.empty()) return {};
  std::string p(path);
  if (p.size() < 4 || !paths::equalsIgnoreCase(p.substr(p.size() - 4), ".bfl")) p += ".bfl";
  return platform::standins::drivePath("daytimer", p);
}

namespace {

std::string entryLine(const StoredEntry& e) {
  std::ostringstream out;
  out.precision(17);
  out << "entry\t" << escape(e.key) << '\t' << e.start << '\t' << e.end << '\t' << e.number << '\t' << escape(e.text)
      << '\n';
  return out.str();
}

// The live entries; `deleted` counts the entries the file still holds as deleted.
DatabaseContent readContent(const fs::path& file, size_t& deleted) {
  DatabaseContent c;
  std::unordered_map<std::string, size_t> byKey;
  std::vector<bool> gone;
  deleted = 0;
  platform::standins::readStateFile(file, "DAYTIMER 1", "Day-Timer database", [&](const std::vector<std::string>& p) {
    if (p[0] == "nologin" && p.size() == 2) {
      c.noLogin = p[1] == "1";
    } else if (p[0] == "dbpassword" && p.size() == 2) {
      c.dbPassword = unescape(p[1]);
    } else if (p[0] == "user" && p.size() == 3) {
      c.users.emplace_back(unescape(p[1]), unescape(p[2]));
    } else if (p[0] == "entry" && p.size() == 6) {
      c.entries.push_back({unescape(p[1]), std::stod(p[2]), std::stod(p[3]), std::stoi(p[4]), unescape(p[5])});
      byKey[c.entries.back().key] = c.entries.size() - 1;
      gone.push_back(false);
    } else if (p[0] == "deleted" && p.size() == 2) {
      auto it = byKey.find(unescape(p[1]));
      if (it == byKey.end()) return true;
      gone[it->second] = true;
      byKey.erase(it);
      ++deleted;
    } else {
      return false;
    }
    return true;
  });
  if (deleted != 0) platform::standins::dropGone(c.entries, gone);
  return c;
}

}  // namespace

DatabaseContent readDatabase(const fs::path& file) {
  size_t deleted = 0;
  return readContent(file, deleted);
}

void writeDatabase(const fs::path& file, const DatabaseContent& c) {
  std::ostringstream out;
  out.precision(17);
  out << "DAYTIMER 1\nnologin\t" << (c.noLogin ? 1 : 0) << "\ndbpassword\t" << escape(c.dbPassword) << '\n';
  for (const auto& [name, pw] : c.users) out << "user\t" << escape(name) << '\t' << escape(pw) << '\n';
  for (const auto& e : c.entries) out << entryLine(e);
  platform::standins::replaceFile(file, out.str(), "Day-Timer database");
}

void DayTimerEntry::setDates(double start, double end, int32_t& unused) {
  entry_.start = start;
  entry_.end = end;
  unused = 0;
}

void DayTimerEntry::store(std::string& unused) {
  entry_.key = db_->store(entry_);
  unused = entry_.key;
}

std::shared_ptr<DayTimerEntry> DayTimerEntryQuery::item(int32_t index) const {
  if (index < 0 || index >= count()) raise(err::SubscriptOutOfRange, "No such entry in the search");
  auto entry = std::make_shared<DayTimerEntry>(db_);
  entry->entry_ = selected_[size_t(index)];
  return entry;
}

void DayTimerEntryQuery::remove(const std::string& key, int32_t& unused) {
  db_->remove(key);
  std::erase_if(selected_, [&](const StoredEntry& e) { return e.key == key; });
  unused = 0;
}

void DayTimerEntryQuery::select(double date, const std::string& pattern, int32_t& unused) {
  selected_.clear();
  for (const StoredEntry* e : db_->entriesOn(date))
    if (likePattern(e->text, pattern)) selected_.push_back(*e);
  unused = 0;
}

std::string DayTimerDatabaseInfo::userName(int32_t index) const {
  if (index < 0 || index >= userCount()) raise(err::SubscriptOutOfRange, "No such user");
  return content_.users[size_t(index)].first;
}

DayTimerDatabase::DayTimerDatabase() : TypedDispatch(info()) {}

DayTimerDatabase::~DayTimerDatabase() { close(); }

void DayTimerDatabase::close() {
  journal_.close();
  open_ = false;
  entries_.clear();
  gone_.clear();
  byKey_.clear();
  byDay_.clear();
}

int32_t DayTimerDatabase::setCurrentDB(const std::string& path, const std::string& user, const std::string& dbPassword,
                                       const std::string& userPassword) {
  close();
  const fs::path file = databaseFile(path);
  std::error_code ec;
  if (file.empty() || !fs::is_regular_file(file, ec)) return result::InvalidPath;
  if (fs::exists(fs::path(file.string() + ".inuse"), ec)) return result::Busy;
  DatabaseContent c;
  size_t deleted = 0;
  try {
    c = readContent(file, deleted);
  } catch (const AppError&) {
    return result::Unknown;
  }
  if (!c.dbPassword.empty() && c.dbPassword != dbPassword) return result::InvalidDbPassword;
  if (!c.noLogin) {
    auto it = std::find_if(c.users.begin(), c.users.end(),
                           [&](const auto& u) { return paths::equalsIgnoreCase(u.first, user); });
    if (it == c.users.end()) return result::InvalidUser;
    if (it->second != userPassword) return result::InvalidPassword;
  }
  try {
    // A journal grown mostly of deletions is written anew once.
    if (deleted > c.entries.size()) writeDatabase(file, c);
  } catch (const AppError&) {
    return result::Unknown;
  }
  if (!journal_.open(file, "Day-Timer database")) return result::Busy;
  file_ = file;
  nextKey_ = 1;
  for (auto& e : c.entries) {
    nextKey_ = std::max(nextKey_, std::atoi(e.key.c_str()) + 1);
    byKey_[e.key] = entries_.size();
    byDay_[int64_t(std::floor(e.start))].push_back(entries_.size());
    entries_.push_back(std::move(e));
    gone_.push_back(false);
  }
  open_ = true;
  return result::Ok;
}

void DayTimerDatabase::requireOpen() const {
  if (!open_) raise(au::errors::ObjectNotSet, "No Day-Timer database is open");
}

std::string DayTimerDatabase::store(StoredEntry entry) {
  requireOpen();
  platform::standins::takeEntry();
  entry.key = std::to_string(nextKey_);
  journal_.append(entryLine(entry));
  ++nextKey_;
  byKey_[entry.key] = entries_.size();
  byDay_[int64_t(std::floor(entry.start))].push_back(entries_.size());
  entries_.push_back(std::move(entry));
  gone_.push_back(false);
  return entries_.back().key;
}

void DayTimerDatabase::remove(const std::string& key) {
  requireOpen();
  auto it = byKey_.find(key);
  if (it == byKey_.end()) return;
  journal_.append("deleted\t" + escape(key) + "\n");
  gone_[it->second] = true;
  byKey_.erase(it);
}

std::vector<const StoredEntry*> DayTimerDatabase::entriesOn(double date) {
  requireOpen();
  std::vector<const StoredEntry*> out;
  auto it = byDay_.find(int64_t(std::floor(date)));
  if (it == byDay_.end()) return out;
  for (size_t i : it->second)
    if (!gone_[i]) out.push_back(&entries_[i]);
  return out;
}

std::shared_ptr<DayTimerDatabaseInfo> DayTimerDatabase::databaseInfo(const std::string& path) const {
  const fs::path file = databaseFile(path);
  std::error_code ec;
  if (file.empty() || !fs::is_regular_file(file, ec)) return nullptr;
  try {
    return std::make_shared<DayTimerDatabaseInfo>(readDatabase(file));
  } catch (const AppError&) {
    return nullptr;
  }
}

std::shared_ptr<DayTimerEntry> DayTimerDatabase::newEntry() { return std::make_shared<DayTimerEntry>(this); }
std::shared_ptr<DayTimerEntryQuery> DayTimerDatabase::newSearch() { return std::make_shared<DayTimerEntryQuery>(this); }

Variant DayTimerDatabase::invokeMember(const au::MemberInfo&, au::CheckedArgs& a) {
  a.setOut(4, setCurrentDB(a.string(0), a.string(1), a.string(2), a.string(3)));
  return {};
}

void registerDayTimerClass() {
  au::registerBuiltinClass(kDatabaseClass, [] { return std::make_shared<DayTimerDatabase>(); });
}

}  // namespace pellary::standins::daytimer
