#include "platform/standins/daytimer/daytimer_db.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/standins/state_file.h"
#include "platform/standins/refusal.h"

namespace pellary::platform::daytimer {

namespace au = automation;

namespace {

using standins::escape;
using standins::unescape;
using standins::split;

constexpr long kBadFileFormat = 321;

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
  return standins::drivePath("daytimer", p);
}

DatabaseContent readDatabase(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) raise(err::FileNotFound, "Day-Timer database not found: " + file.string());
  std::string line;
  if (!std::getline(in, line) || line != "DAYTIMER 1") raise(kBadFileFormat, "Not a Day-Timer database");
  DatabaseContent c;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    auto p = split(line);
    if (p[0] == "nologin" && p.size() == 2) {
      c.noLogin = p[1] == "1";
    } else if (p[0] == "dbpassword" && p.size() == 2) {
      c.dbPassword = unescape(p[1]);
    } else if (p[0] == "user" && p.size() == 3) {
      c.users.emplace_back(unescape(p[1]), unescape(p[2]));
    } else if (p[0] == "entry" && p.size() == 6) {
      c.entries.push_back({unescape(p[1]), std::stod(p[2]), std::stod(p[3]), std::stoi(p[4]), unescape(p[5])});
    } else {
      raise(kBadFileFormat, "Damaged Day-Timer database: " + file.string());
    }
  }
  return c;
}

void writeDatabase(const fs::path& file, const DatabaseContent& c) {
  std::ostringstream out;
  out.precision(17);
  out << "DAYTIMER 1\nnologin\t" << (c.noLogin ? 1 : 0) << "\ndbpassword\t" << escape(c.dbPassword) << '\n';
  for (const auto& [name, pw] : c.users) out << "user\t" << escape(name) << '\t' << escape(pw) << '\n';
  for (const auto& e : c.entries)
    out << "entry\t" << escape(e.key) << '\t' << e.start << '\t' << e.end << '\t' << e.number << '\t'
        << escape(e.text) << '\n';
  standins::replaceFile(file, out.str(), "Day-Timer database");
}

void DayTimerEntry::setDates(double start, double end, int32_t& unused) {
  entry_.start = start;
  entry_.end = end;
  unused = 0;
}

void DayTimerEntry::store(std::string& unused) {
  db_->content();  // raises when no database is open
  standins::takeEntry();
  auto& content = db_->content();
  int32_t next = 1;
  for (const auto& e : content.entries) next = std::max(next, std::atoi(e.key.c_str()) + 1);
  entry_.key = std::to_string(next);
  content.entries.push_back(entry_);
  db_->save();
  unused = entry_.key;
}

std::shared_ptr<DayTimerEntry> DayTimerEntryQuery::item(int32_t index) const {
  if (index < 0 || index >= count()) raise(err::SubscriptOutOfRange, "No such entry in the search");
  auto entry = std::make_shared<DayTimerEntry>(db_);
  entry->entry_ = selected_[size_t(index)];
  return entry;
}

void DayTimerEntryQuery::remove(const std::string& key, int32_t& unused) {
  auto& entries = db_->content().entries;
  std::erase_if(entries, [&](const StoredEntry& e) { return e.key == key; });
  std::erase_if(selected_, [&](const StoredEntry& e) { return e.key == key; });
  db_->save();
  unused = 0;
}

void DayTimerEntryQuery::select(double date, const std::string& pattern, int32_t& unused) {
  selected_.clear();
  for (const auto& e : db_->content().entries)
    if (std::floor(e.start) == std::floor(date) && likePattern(e.text, pattern)) selected_.push_back(e);
  unused = 0;
}

std::string DayTimerDatabaseInfo::userName(int32_t index) const {
  if (index < 0 || index >= userCount()) raise(err::SubscriptOutOfRange, "No such user");
  return content_.users[size_t(index)].first;
}

DayTimerDatabase::DayTimerDatabase() : TypedDispatch(info()) {}

int32_t DayTimerDatabase::setCurrentDB(const std::string& path, const std::string& user,
                                       const std::string& dbPassword, const std::string& userPassword) {
  open_ = false;
  const fs::path file = databaseFile(path);
  std::error_code ec;
  if (file.empty() || !fs::is_regular_file(file, ec)) return result::InvalidPath;
  if (fs::exists(fs::path(file.string() + ".inuse"), ec)) return result::Busy;
  DatabaseContent c;
  try {
    c = readDatabase(file);
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
  file_ = file;
  content_ = std::move(c);
  open_ = true;
  return result::Ok;
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
std::shared_ptr<DayTimerEntryQuery> DayTimerDatabase::newSearch() {
  return std::make_shared<DayTimerEntryQuery>(this);
}

DatabaseContent& DayTimerDatabase::content() {
  if (!open_) raise(au::errors::ObjectNotSet, "No Day-Timer database is open");
  return content_;
}

void DayTimerDatabase::save() { writeDatabase(file_, content()); }

Variant DayTimerDatabase::invokeMember(const au::MemberInfo&, au::CheckedArgs& a) {
  a.setOut(4, setCurrentDB(a.string(0), a.string(1), a.string(2), a.string(3)));
  return {};
}

void registerDayTimerClass() {
  au::registerBuiltinClass(kDatabaseClass, [] { return std::make_shared<DayTimerDatabase>(); });
}

}  // namespace pellary::platform::daytimer
