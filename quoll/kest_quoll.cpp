#include "quoll/kest_quoll.h"

#include <atomic>
#include <cerrno>

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/refusal.h"
#include "platform/text/codepages.h"

namespace pellary::quoll {

namespace au = platform::automation;
using au::ParamType;

namespace {

std::atomic<int> gLive{0};

au::ParamInfo longParam(const char* name) { return {name, ParamType::Long}; }
au::ParamInfo textParam(const char* name) { return {name, ParamType::String}; }

std::string ansi(const std::string& utf8) { return platform::text::utf8ToCp1252(utf8); }

}  // namespace

const au::InterfaceInfo& IKestQuollInfo() {
  static const au::InterfaceInfo info = [] {
    au::InterfaceInfo i;
    i.name = "IKestQuoll";
    i.iid = kIid;
    i.help = "IKestQuoll Interface";
    i.members = {
        {kOpen, "Open", {textParam("bstrFilename")}, ParamType::Void, au::InvokeKind::Method, "method Open"},
        {kClose, "Close", {}, ParamType::Void, au::InvokeKind::Method, "method Close"},
        {kMarkAsDeleted,
         "MarkAsDeleted",
         {longParam("day"), longParam("month"), longParam("year"), textParam("bstrEntryText")},
         ParamType::Void,
         au::InvokeKind::Method,
         "method MarkAsDeleted"},
        {kAddEntryTimed,
         "AddEntryTimed",
         {longParam("day"), longParam("month"), longParam("year"), longParam("startHour"), longParam("startMinute"),
          longParam("endHour"), longParam("endMinute"), textParam("bstrEntryText"), textParam("bstrMemoText"),
          longParam("hasRepeat"), longParam("SimpleDailyRepeatNumberOfDays")},
         ParamType::Void,
         au::InvokeKind::Method,
         "method AddEntryTimed"},
        {kAddEntryUntimed,
         "AddEntryUntimed",
         {longParam("day"), longParam("month"), longParam("year"), textParam("bstrEntryText"),
          textParam("bstrMemoText"), longParam("hasRepeat"), longParam("SimpleDailyRepeatNumberOfDays")},
         ParamType::Void,
         au::InvokeKind::Method,
         "method AddEntryUntimed"},
    };
    return i;
  }();
  return info;
}

au::ClassRegistration classRegistration(const std::string& modulePath) {
  au::ClassRegistration r;
  r.clsid = kClsid;
  r.description = kClassHelp;
  r.progId = kProgId;
  r.versionIndependentProgId = kVersionIndependentProgId;
  r.aliasProgIds = {kControlProgId};
  r.modulePath = modulePath;
  r.threadingModel = "Apartment";
  r.typeLib = kLibId;
  r.version = kLibVersion;
  r.classSubkeys = {
      {"Programmable", std::nullopt},   {"Control", std::nullopt},
      {"Insertable", std::nullopt},     {"ToolboxBitmap32", modulePath + ", 1"},
      {"MiscStatus", std::string("0")}, {"MiscStatus\\1", std::string(kMiscStatus)},
  };
  return r;
}

au::TypeLibRegistration typeLibRegistration(const std::string& modulePath) {
  return {kLibId, kLibVersion, kLibHelp, modulePath, {&IKestQuollInfo()}};
}

KestQuoll::KestQuoll() : TypedDispatch(IKestQuollInfo()) { ++gLive; }

KestQuoll::~KestQuoll() {
  try {
    close();
  } catch (...) {
  }
  --gLive;
}

int KestQuoll::liveObjects() { return gLive.load(); }

void KestQuoll::open(const std::string& path) {
  // The earlier file is closed, so that what was written to it is kept.
  close();
  auto file = std::make_unique<AgendaFile>();
  const auto resolved = paths::resolve(path);
  if (path.empty() || file->OpenFile(resolved) != 0) {
    const bool missing = path.empty() || file->openError() == ENOENT || file->openError() == ENOTDIR;
    raise(missing ? err::FileNotFound : err::PathFileAccess,
          (missing ? "Agenda file not found: " : "Agenda file cannot be opened for update: ") + path);
  }
  file_ = std::move(file);
}

void KestQuoll::close() {
  if (!file_) return;
  auto file = std::move(file_);
  file->CloseFile();
}

AgendaFile& KestQuoll::openFile() {
  if (!file_ || !file_->isOpen()) raise(errors::NotOpen, "The agenda file is not open");
  return *file_;
}

Variant KestQuoll::invokeMember(const au::MemberInfo& member, au::CheckedArgs& a) {
  switch (member.id) {
    case kOpen: open(a.string(0)); break;
    case kClose: close(); break;
    case kMarkAsDeleted:
      // Not finding the entry is no failure: the user may have removed it already.
      openFile().MarkAsDeleted(a.longValue(0), a.longValue(1), a.longValue(2), ansi(a.string(3)));
      break;
    case kAddEntryTimed:
      platform::standins::takeEntry();
      openFile().AppendEntry(a.longValue(0), a.longValue(1), a.longValue(2), a.longValue(3), a.longValue(4),
                             a.longValue(5), a.longValue(6), ansi(a.string(7)), ansi(a.string(8)), a.longValue(9),
                             a.longValue(10));
      break;
    case kAddEntryUntimed:
      platform::standins::takeEntry();
      openFile().AppendEntry(a.longValue(0), a.longValue(1), a.longValue(2), ansi(a.string(3)), ansi(a.string(4)),
                             a.longValue(5), a.longValue(6));
      break;
    default: break;
  }
  return Variant();
}

}  // namespace pellary::quoll
