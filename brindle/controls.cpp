#include "brindle/controls.h"

#include <atomic>

#include "platform/errors.h"
#include "platform/paths.h"

namespace pellary::brindle {

using au::ParamType;

namespace {

std::atomic<int> gLive{0};

au::ParamInfo p(const char* name, ParamType t) { return {name, t}; }

au::MemberInfo method(platform::DispId id, const char* name, std::vector<au::ParamInfo> params,
                      ParamType result = ParamType::Void) {
  return {id, name, std::move(params), result, au::InvokeKind::Method, ""};
}

au::InterfaceInfo events(const char* name, const char* iid, const char* help) { return {name, iid, help, {}}; }

struct CopyMember {
  const char* name;
  platform::DispId id;
};
constexpr CopyMember kCopyMembers[] = {
    {"CopyInit", kCopyInit}, {"CopyOpen", kCopyOpen}, {"CopySave", kCopySave}, {"CopyExit", kCopyExit}};

}  // namespace

const au::InterfaceInfo& DBrindleInfo() {
  static const au::InterfaceInfo info{
      "_DBrindle",
      kBrindleIid,
      "Dispatch interface for Brindle Control",
      {
          method(kInit, "Init",
                 {p("Open", ParamType::Boolean), p("Title", ParamType::String), p("ButtonTitle", ParamType::String),
                  p("FileName", ParamType::String), p("Flags", ParamType::Long)}),
          method(kAddFilterWildcard, "AddFilterWildcard",
                 {p("Type", ParamType::String), p("Wildcard", ParamType::String)}),
          method(kAddFilterUID, "AddFilterUID",
                 {p("Type", ParamType::String), p("UID0", ParamType::Long), p("UID1", ParamType::Long),
                  p("UID2", ParamType::Long)}),
          method(kGetPathName, "GetPathName", {}, ParamType::String),
          method(kGetFileName, "GetFileName", {}, ParamType::String),
          method(kGetFileExt, "GetFileExt", {}, ParamType::String),
          method(kGetFileType, "GetFileType",
                 {p("UID0", ParamType::Long), p("UID1", ParamType::Long), p("UID2", ParamType::Long)}),
          method(kDoModal, "DoModal", {}, ParamType::Boolean),
          method(kGetResourceString, "GetResourceString", {p("ID", ParamType::Integer)}, ParamType::String),
      }};
  return info;
}

const au::InterfaceInfo& DBrindleEventsInfo() {
  static const au::InterfaceInfo info =
      events("_DBrindleEvents", kBrindleEventsIid, "Event interface for Brindle Control");
  return info;
}

const au::InterfaceInfo& DGantryInfo() {
  static const au::InterfaceInfo info{"_DGantry",
                                      kGantryIid,
                                      "Dispatch interface for Gantry Control",
                                      {
                                          method(kGantryInit, "Init",
                                                 {p("Title", ParamType::String), p("ButtonTitle", ParamType::String),
                                                  p("Text", ParamType::String), p("FolderName", ParamType::String)}),
                                          method(kGantryDoModal, "DoModal", {}, ParamType::Boolean),
                                          method(kGetFolderName, "GetFolderName", {}, ParamType::String),
                                      }};
  return info;
}

const au::InterfaceInfo& DGantryEventsInfo() {
  static const au::InterfaceInfo info =
      events("_DGantryEvents", kGantryEventsIid, "Event interface for Gantry Control");
  return info;
}

std::vector<au::ClassRegistration> classRegistrations(const std::string& modulePath) {
  auto control = [&](const char* clsid, const char* progId, const char* hostName, int typeName, const char* bitmap,
                     bool insertable) {
    au::ClassRegistration r;
    r.clsid = clsid;
    r.aliasProgIds = {hostName};
    r.description = moduleString(typeName);
    r.progId = progId;
    r.modulePath = modulePath;
    r.threadingModel = "Apartment";
    r.typeLib = kLibId;
    r.version = kLibVersion;
    r.classSubkeys = {{"Control", std::nullopt},
                      {"ToolboxBitmap32", modulePath + ", " + bitmap},
                      {"MiscStatus", std::string("0")},
                      {"MiscStatus\\1", std::string(kMiscStatus)}};
    if (insertable) r.classSubkeys.emplace_back("Insertable", std::nullopt);
    return r;
  };
  auto page = [&](const char* clsid, const char* progId, int typeName) {
    au::ClassRegistration r;
    r.clsid = clsid;
    r.description = moduleString(typeName);
    r.progId = progId;
    r.modulePath = modulePath;
    r.threadingModel = "Apartment";
    return r;
  };
  return {control(kBrindleClsid, kBrindleProgId, kBrindleControlName, 1, "1", true),
          control(kGantryClsid, kGantryProgId, kGantryControlName, 11, "2", false),
          page(kBrindlePageClsid, kBrindlePageProgId, 2), page(kGantryPageClsid, kGantryPageProgId, 12)};
}

au::TypeLibRegistration typeLibRegistration(const std::string& modulePath) {
  return {kLibId,
          kLibVersion,
          kLibHelp,
          modulePath,
          {&DBrindleInfo(), &DBrindleEventsInfo(), &DGantryInfo(), &DGantryEventsInfo()}};
}

int liveObjects() { return gLive.load(); }

// ---- file control ----

CBrindleCtrl::CBrindleCtrl() : TypedDispatch(DBrindleInfo()) { ++gLive; }
CBrindleCtrl::~CBrindleCtrl() {
  dialog_.reset();
  --gLive;
}

std::optional<platform::DispId> CBrindleCtrl::idOfName(std::string_view name) const {
  for (const auto& m : kCopyMembers)
    if (paths::equalsIgnoreCase(name, m.name)) return m.id;
  return TypedDispatch::idOfName(name);
}

Variant CBrindleCtrl::invoke(platform::DispId id, platform::DispatchArgs& args, au::InvokeKind kind) {
  // Kept for old hosts: they do nothing and report success.
  if (id >= kCopyInit && id <= kCopyExit) return Variant(int32_t(0));
  return TypedDispatch::invoke(id, args, kind);
}

Variant CBrindleCtrl::invokeMember(const au::MemberInfo& member, au::CheckedArgs& a) {
  auto text = [](const std::optional<std::string>& s) { return Variant(s.value_or(std::string())); };
  switch (member.id) {
    case kInit:
      dialog_.reset();
      if (!widgetsAvailable()) break;
      dialog_ = std::make_unique<CFileDlg>();
      dialog_->Init(a.boolean(0) ? 1 : 0, a.string(1), a.string(2), a.string(3), a.longValue(4));
      break;
    case kAddFilterWildcard:
      if (dialog_) dialog_->AddFilterWildcard(a.string(0), a.string(1));
      break;
    case kAddFilterUID:
      if (dialog_)
        dialog_->AddFilterUID(a.string(0), uint32_t(a.longValue(1)), uint32_t(a.longValue(2)),
                              uint32_t(a.longValue(3)));
      break;
    case kGetPathName: return text(dialog_ ? dialog_->pathName() : std::nullopt);
    case kGetFileName: return text(dialog_ ? dialog_->fileName() : std::nullopt);
    case kGetFileExt: return text(dialog_ ? dialog_->fileExt() : std::nullopt);
    case kGetFileType: {
      uint32_t u[3];
      if (dialog_ && dialog_->fileType(u[0], u[1], u[2]))
        for (size_t i = 0; i < 3; ++i) a.setOut(i, Variant(int32_t(u[i])));
      break;
    }
    case kDoModal: return Variant(dialog_ && dialog_->DoModal() > 0);
    case kGetResourceString: return Variant(moduleString(a.integer(0)));
    default: break;
  }
  return Variant();
}

// ---- browse control ----

CGantryCtrl::CGantryCtrl() : TypedDispatch(DGantryInfo()) { ++gLive; }
CGantryCtrl::~CGantryCtrl() {
  dialog_.reset();
  --gLive;
}

Variant CGantryCtrl::invokeMember(const au::MemberInfo& member, au::CheckedArgs& a) {
  switch (member.id) {
    case kGantryInit:
      dialog_.reset();
      if (!widgetsAvailable()) break;
      dialog_ = std::make_unique<CBrowseDlg>();
      dialog_->Init(a.string(0), a.string(1), a.string(2), a.string(3));
      break;
    case kGantryDoModal: return Variant(dialog_ && dialog_->DoModal() != 0);
    case kGetFolderName: return Variant(dialog_ ? dialog_->folderName().value_or(std::string()) : std::string());
    default: break;
  }
  return Variant();
}

CPropPage::CPropPage() { ++gLive; }
CPropPage::~CPropPage() { --gLive; }

Variant CPropPage::invoke(platform::DispId, platform::DispatchArgs&, au::InvokeKind) {
  raise(au::errors::NoSuchMember, "Object doesn't support this property or method");
}

}  // namespace pellary::brindle
