#include "standins/organizer/organizer_control.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/refusal.h"
#include "platform/state_file.h"
#include "standins/entry_lines.h"

namespace pellary::standins::organizer {

using namespace pellary::platform;

namespace au = automation;
using au::InvokeKind;
using au::ParamType;

namespace {

using platform::standins::escape;
using platform::standins::unescape;

constexpr long kBadFileFormat = 321;

enum Ids : DispId {
  kFileName = 1,
  kPassword = 2,
  kSection = 3,
  kEntryType = 4,
  kDispTime = 8,
  kOpen = 9,
  kClose = 10,
  kVersion = 11,
  kPrepareSections = 12,
  kSectionList = 13,
  kPrepareWrite = 14,
  kEndWrite = 15,
  kAdd = 17,
  kDelete = 18,
  kOpenResult = 19,
};

// Open results.
constexpr int32_t kOpened = 0;
constexpr int32_t kNoFile = 1;
constexpr int32_t kWrongPassword = 2;
constexpr int32_t kInUse = 3;

std::string isoDate(int y, int m, int d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

void parseDate(const std::string& s, int& y, int& m, int& d) {
  if (std::sscanf(s.c_str(), "%d-%d-%d", &y, &m, &d) != 3) raise(kBadFileFormat, "Damaged Organizer date");
}

au::MemberInfo putMember(DispId id, const char* name, ParamType type) {
  return {id, name, {{"value", type}}, ParamType::Void, InvokeKind::PropertyPut, ""};
}
au::MemberInfo getMember(DispId id, const char* name, ParamType type) {
  return {id, name, {}, type, InvokeKind::PropertyGet, ""};
}
au::MemberInfo method(DispId id, const char* name, std::vector<au::ParamInfo> params = {}) {
  return {id, name, std::move(params), ParamType::Void, InvokeKind::Method, ""};
}

}  // namespace

fs::path filePath(std::string_view path) { return platform::standins::drivePath("organizer", path); }

namespace {

std::string entryLine(const Entry& e) {
  std::string out = "entry\t";
  out += escape(e.section);
  out += '\t' + std::to_string(e.type) + '\t' + std::to_string(e.hour) + '\t';
  out += isoDate(e.startYear, e.startMonth, e.startDay);
  out += '\t';
  out += isoDate(e.endYear, e.endMonth, e.endDay);
  out += '\t';
  out += escape(e.text);
  out += '\n';
  return out;
}

// Every entry line in order, and which of them are deleted.
OrganizerFile readAll(const fs::path& file, std::vector<bool>& gone) {
  OrganizerFile f;
  gone.clear();
  platform::standins::readStateFile(file, "ORGANIZER 1", "Organizer file", [&](const std::vector<std::string>& p) {
    if (p[0] == "password" && p.size() == 2) {
      f.password = unescape(p[1]);
    } else if (p[0] == "section" && p.size() == 4) {
      f.sections.push_back({std::atoi(p[1].c_str()), unescape(p[2]), unescape(p[3])});
    } else if (p[0] == "entry" && p.size() == 7) {
      Entry e;
      e.section = unescape(p[1]);
      e.type = std::atoi(p[2].c_str());
      e.hour = std::atoi(p[3].c_str());
      parseDate(p[4], e.startYear, e.startMonth, e.startDay);
      parseDate(p[5], e.endYear, e.endMonth, e.endDay);
      e.text = unescape(p[6]);
      f.entries.push_back(std::move(e));
      gone.push_back(false);
    } else if (p[0] == "deleted" && p.size() == 2) {
      return markGone(p[1], gone);
    } else {
      return false;
    }
    return true;
  });
  return f;
}

}  // namespace

OrganizerFile readFile(const fs::path& file) { return readLive(file, readAll); }

void writeFile(const fs::path& file, const OrganizerFile& f) {
  std::string out = "ORGANIZER 1\npassword\t" + escape(f.password) + '\n';
  for (const auto& s : f.sections)
    out += "section\t" + std::to_string(s.type) + '\t' + escape(s.internalName) + '\t' + escape(s.userName) + '\n';
  for (const auto& e : f.entries) out += entryLine(e);
  platform::standins::replaceFile(file, out, "Organizer file");
}

const au::InterfaceInfo& ControlInfo() {
  static const au::InterfaceInfo info{
      "_DKestLotus",
      "{3C1E52A0-7B44-4D1B-8F0E-6A2D51C0B101}",
      "",
      {putMember(kFileName, "FileName", ParamType::String), putMember(kPassword, "Password", ParamType::String),
       putMember(kSection, "Section", ParamType::String), putMember(kEntryType, "EntryType", ParamType::Long),
       putMember(kDispTime, "DisplayTime", ParamType::Long), method(kOpen, "OpenFile"), method(kClose, "CloseFile"),
       putMember(kVersion, "Version", ParamType::Long), method(kPrepareSections, "PrepareSections"),
       getMember(kSectionList, "SectionList", ParamType::String), method(kPrepareWrite, "PrepareWrite"),
       method(kEndWrite, "EndWrite"),
       method(kAdd, "AddEntry",
              {{"text", ParamType::String},
               {"section", ParamType::String},
               {"sd", ParamType::Long},
               {"sm", ParamType::Long},
               {"sy", ParamType::Long},
               {"ed", ParamType::Long},
               {"em", ParamType::Long},
               {"ey", ParamType::Long}}),
       method(kDelete, "DeleteEntry",
              {{"title", ParamType::String},
               {"d", ParamType::Long},
               {"m", ParamType::Long},
               {"y", ParamType::Long},
               {"hour", ParamType::Long}}),
       getMember(kOpenResult, "OpenResult", ParamType::Long)}};
  return info;
}

KestLotusCtrl::KestLotusCtrl() : TypedDispatch(ControlInfo()) {}

void KestLotusCtrl::open() {
  open_ = false;
  file_ = filePath(fileName_);
  std::error_code ec;
  if (fileName_.empty() || !fs::is_regular_file(file_, ec)) {
    openResult_ = kNoFile;
    return;
  }
  if (fs::exists(fs::path(file_.string() + ".inuse"), ec)) {
    openResult_ = kInUse;
    return;
  }
  OrganizerFile content;
  std::vector<bool> gone;
  try {
    content = readAll(file_, gone);
  } catch (const AppError&) {
    openResult_ = kNoFile;
    return;
  }
  if (content.password != password_) {
    openResult_ = kWrongPassword;
    return;
  }
  const size_t deleted = size_t(std::count(gone.begin(), gone.end(), true));
  if (deleted > gone.size() - deleted) {
    // A file grown mostly of deletions is written anew once.
    platform::standins::dropGone(content.entries, gone);
    gone.assign(content.entries.size(), false);
    try {
      writeFile(file_, content);
    } catch (const AppError&) {
      openResult_ = kInUse;
      return;
    }
  }
  content_ = std::move(content);
  gone_ = std::move(gone);
  saved_ = content_.entries.size();
  deleted_.clear();
  indexEntries();
  open_ = true;
  openResult_ = kOpened;
}

void KestLotusCtrl::indexEntries() {
  byDay_.clear();
  for (size_t i = 0; i < content_.entries.size(); ++i) {
    const Entry& e = content_.entries[i];
    byDay_[dayKey(e.startYear, e.startMonth, e.startDay)].push_back(i);
  }
}

void KestLotusCtrl::save() {
  if (!open_ || (saved_ == content_.entries.size() && deleted_.empty())) return;
  // Entries added and deleted in this run are written with their deletion, so
  // that the positions the deletions name stay those of the file.
  std::string out;
  for (size_t i = saved_; i < content_.entries.size(); ++i) out += entryLine(content_.entries[i]);
  for (size_t i : deleted_) out += "deleted\t" + std::to_string(i) + '\n';
  platform::standins::appendToFile(file_, out, "Organizer file");
  saved_ = content_.entries.size();
  deleted_.clear();
}

std::string KestLotusCtrl::sectionList() const {
  std::string out;
  if (!open_) return out;
  for (const auto& s : content_.sections)
    if (s.type == entryType_) out += s.internalName + kNameEnd + s.userName + kSectionEnd;
  return out;
}

void KestLotusCtrl::add(const std::string& text, const std::string& section, const au::CheckedArgs& a) {
  if (!open_ || !writing_) raise(err::InvalidCall, "The Organizer file is not ready for writing");
  platform::standins::takeEntry();
  Entry e;
  e.section = section;
  e.type = entryType_;
  e.hour = entryType_ == 0 ? hour_ : 0;
  e.startDay = a.longValue(2);
  e.startMonth = a.longValue(3);
  e.startYear = a.longValue(4);
  e.endDay = a.longValue(5);
  e.endMonth = a.longValue(6);
  e.endYear = a.longValue(7);
  e.text = text;
  byDay_[dayKey(e.startYear, e.startMonth, e.startDay)].push_back(content_.entries.size());
  content_.entries.push_back(std::move(e));
  gone_.push_back(false);
}

void KestLotusCtrl::remove(const std::string& title, int day, int month, int year, int hour) {
  if (!open_ || !writing_) raise(err::InvalidCall, "The Organizer file is not ready for writing");
  // Every text written starts with the title and a line end.
  auto slot = byDay_.find(dayKey(year, month, day));
  if (slot == byDay_.end()) return;
  for (size_t i : slot->second) {
    if (gone_[i]) continue;
    const Entry* it = &content_.entries[i];
    const bool sameText = it->text == title || it->text.rfind(title + "\r\n", 0) == 0;
    const bool sameDay = it->startDay == day && it->startMonth == month && it->startYear == year;
    const bool sameHour = it->type != 0 || it->hour == hour;
    if (sameText && sameDay && sameHour) {
      gone_[i] = true;
      deleted_.push_back(i);
      return;
    }
  }
}

Variant KestLotusCtrl::invokeMember(const au::MemberInfo& m, au::CheckedArgs& a) {
  switch (m.id) {
    case kFileName: fileName_ = a.string(0); return {};
    case kPassword: password_ = a.string(0); return {};
    case kSection: section_ = a.string(0); return {};
    case kEntryType: entryType_ = a.longValue(0); return {};
    case kDispTime: hour_ = a.longValue(0); return {};
    case kVersion: version_ = a.longValue(0); return {};
    case kOpen: open(); return {};
    case kOpenResult: return openResult_;
    case kPrepareSections: preparedList_ = sectionList(); return {};
    case kSectionList: return preparedList_;
    case kPrepareWrite: writing_ = open_; return {};
    case kEndWrite:
      save();
      writing_ = false;
      return {};
    case kClose:
      save();
      open_ = false;
      writing_ = false;
      return {};
    case kAdd: add(a.string(0), a.string(1), a); return {};
    case kDelete: remove(a.string(0), a.longValue(1), a.longValue(2), a.longValue(3), a.longValue(4)); return {};
    default: raise(au::errors::NoSuchMember);
  }
}

void registerOrganizerClass() {
  au::registerBuiltinClass(kControlClass, [] { return std::make_shared<KestLotusCtrl>(); });
}

}  // namespace pellary::standins::organizer
