#include "standins/notes/notes_control.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/refusal.h"
#include "platform/state_file.h"
#include "standins/entry_lines.h"

namespace pellary::standins::notes {

using namespace pellary::platform;

namespace au = automation;
using au::InvokeKind;
using au::ParamType;

namespace {

using platform::standins::escape;
using platform::standins::unescape;

constexpr long kBadFileFormat = 321;
constexpr DispId kLogOn = 3;
constexpr DispId kLogOff = 4;
constexpr DispId kStatus = 5;
constexpr DispId kDelete = 6;
constexpr DispId kAdd = 0x60020006;

std::string iso(int y, int m, int d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

void parseIso(const std::string& s, int& y, int& m, int& d) {
  if (std::sscanf(s.c_str(), "%d-%d-%d", &y, &m, &d) != 3) raise(kBadFileFormat, "Damaged Notes date");
}

au::ParamInfo text(const char* n) { return {n, ParamType::String}; }
au::ParamInfo number(const char* n) { return {n, ParamType::Long}; }

const au::InterfaceInfo& info() {
  static const au::InterfaceInfo i{
      "_DKestNts",
      "{8E5B71C2-2F3A-4C55-9D10-7C4B2A90E201}",
      "",
      {{kLogOn, "LogOn", {text("server"), text("file"), text("password")}, ParamType::Void, InvokeKind::Method, ""},
       {kLogOff, "LogOff", {}, ParamType::Void, InvokeKind::Method, ""},
       {kStatus, "Status", {}, ParamType::String, InvokeKind::PropertyGet, ""},
       {kDelete,
        "DeleteEntry",
        {text("title"), number("y"), number("m"), number("d")},
        ParamType::Void,
        InvokeKind::Method,
        ""},
       {kAdd,
        "AddEntry",
        {text("title"), text("note"), number("sy"), number("sm"), number("sd"), number("ey"), number("em"),
         number("ed")},
        ParamType::Void,
        InvokeKind::Method,
        ""}}};
  return i;
}

}  // namespace

fs::path serverFolder(std::string_view server) {
  const fs::path root = paths::standinsFolder() / "notes";
  if (server.empty()) return root / "local";
  return root / "servers" / std::string(server);
}

fs::path databasePath(std::string_view server, std::string_view fileName) {
  return paths::resolve(serverFolder(server), fileName);
}

namespace {

std::string entryLine(const Entry& e) {
  return "entry\t" + iso(e.startYear, e.startMonth, e.startDay) + '\t' + iso(e.endYear, e.endMonth, e.endDay) + '\t' +
         escape(e.title) + '\t' + escape(e.note) + '\n';
}

// Every entry line in order, and which of them are deleted.
Database readAll(const fs::path& file, std::vector<bool>& gone) {
  Database db;
  gone.clear();
  platform::standins::readStateFile(file, "NOTESDB 1", "Notes database", [&](const std::vector<std::string>& p) {
    if (p[0] == "password" && p.size() == 2) {
      db.password = unescape(p[1]);
    } else if (p[0] == "entry" && p.size() == 5) {
      Entry e;
      parseIso(p[1], e.startYear, e.startMonth, e.startDay);
      parseIso(p[2], e.endYear, e.endMonth, e.endDay);
      e.title = unescape(p[3]);
      e.note = unescape(p[4]);
      db.entries.push_back(std::move(e));
      gone.push_back(false);
    } else if (p[0] == "deleted" && p.size() == 2) {
      return markGone(p[1], gone);
    } else {
      return false;
    }
    return true;
  });
  return db;
}

}  // namespace

Database readDatabase(const fs::path& file) { return readLive(file, readAll); }

void writeDatabase(const fs::path& file, const Database& db) {
  std::string out = "NOTESDB 1\npassword\t" + escape(db.password) + '\n';
  for (const auto& e : db.entries) out += entryLine(e);
  platform::standins::replaceFile(file, out, "Notes database");
}

KestNtsCtl::KestNtsCtl() : TypedDispatch(info()) {}

KestNtsCtl::~KestNtsCtl() { logOff(); }

void KestNtsCtl::logOff() {
  journal_.close();
  loggedOn_ = false;
  entries_.clear();
  gone_.clear();
  byDay_.clear();
}

void KestNtsCtl::logOn(const std::string& server, const std::string& file, const std::string& password) {
  logOff();
  std::error_code ec;
  if (!fs::is_directory(serverFolder(server), ec)) {
    status_ = "3$$Server " + server + " is not responding";
    return;
  }
  const fs::path path = databasePath(server, file);
  if (file.empty() || !fs::is_regular_file(path, ec)) {
    status_ = "1$$File does not exist";
    return;
  }
  Database db;
  std::vector<bool> gone;
  try {
    db = readAll(path, gone);
  } catch (const AppError& e) {
    status_ = "1$$" + e.description();
    return;
  }
  if (db.password != password) {
    status_ = "2$$Wrong Password. (Passwords are case sensitive - be sure to use correct upper and lower case.)";
    return;
  }
  const size_t deleted = size_t(std::count(gone.begin(), gone.end(), true));
  try {
    // A journal grown mostly of deletions is written anew once.
    if (deleted > gone.size() - deleted) {
      platform::standins::dropGone(db.entries, gone);
      gone.assign(db.entries.size(), false);
      writeDatabase(path, db);
    }
  } catch (const AppError& e) {
    status_ = "1$$" + e.description();
    return;
  }
  if (!journal_.open(path, "Notes database")) {
    status_ = "1$$Cannot open " + file + " for writing";
    return;
  }
  entries_ = std::move(db.entries);
  gone_ = std::move(gone);
  for (size_t i = 0; i < entries_.size(); ++i)
    byDay_[dayKey(entries_[i].startYear, entries_[i].startMonth, entries_[i].startDay)].push_back(i);
  file_ = path;
  loggedOn_ = true;
  status_ = kLoggedOn;
}

void KestNtsCtl::add(Entry e) {
  requireLogon();
  platform::standins::takeEntry();
  journal_.append(entryLine(e));
  byDay_[dayKey(e.startYear, e.startMonth, e.startDay)].push_back(entries_.size());
  entries_.push_back(std::move(e));
  gone_.push_back(false);
}

void KestNtsCtl::remove(const std::string& title, int year, int month, int day) {
  requireLogon();
  auto slot = byDay_.find(dayKey(year, month, day));
  if (slot == byDay_.end()) return;
  for (size_t i : slot->second) {
    const Entry& e = entries_[i];
    if (!gone_[i] && e.title == title && e.startYear == year && e.startMonth == month && e.startDay == day) {
      journal_.append("deleted\t" + std::to_string(i) + '\n');
      gone_[i] = true;
      return;
    }
  }
}

void KestNtsCtl::requireLogon() const {
  if (!loggedOn_) raise(err::InvalidCall, "Not logged on to a Notes database");
}

Variant KestNtsCtl::invokeMember(const au::MemberInfo& m, au::CheckedArgs& a) {
  switch (m.id) {
    case kLogOn: logOn(a.string(0), a.string(1), a.string(2)); return {};
    case kStatus: return status_;
    case kLogOff:
      logOff();
      status_ = "9$$Not logged on";
      return {};
    case kAdd:
      add({a.longValue(2), a.longValue(3), a.longValue(4), a.longValue(5), a.longValue(6), a.longValue(7), a.string(0),
           a.string(1)});
      return {};
    case kDelete: remove(a.string(0), a.longValue(1), a.longValue(2), a.longValue(3)); return {};
    default: raise(au::errors::NoSuchMember);
  }
}

void registerNotesClass() {
  au::registerBuiltinClass(kControlClass, [] { return std::make_shared<KestNtsCtl>(); });
}

}  // namespace pellary::standins::notes
