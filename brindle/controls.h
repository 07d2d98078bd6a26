// The two controls hosts create by class name: the file control (coclass
// Brindle, dispatch interface _DBrindle) and the browse control (coclass
// Gantry, _DGantry); their property pages; the type library BrindleLib; and
// the registration of all four classes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "brindle/browse_dlg.h"
#include "brindle/file_dlg.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/dispatch.h"

namespace pellary::brindle {

namespace au = platform::automation;

inline constexpr const char* kLibId = "{2580B558-51E6-11D1-8F74-006097C5C60F}";
inline constexpr const char* kLibVersion = "1.0";
inline constexpr const char* kLibHelp = "Tessel Connect File Dialog";
inline constexpr const char* kBrindleIid = "{2580B559-51E6-11D1-8F74-006097C5C60F}";
inline constexpr const char* kBrindleEventsIid = "{2580B55A-51E6-11D1-8F74-006097C5C60F}";
inline constexpr const char* kBrindleClsid = "{2580B55B-51E6-11D1-8F74-006097C5C60F}";
inline constexpr const char* kBrindleProgId = "Brindle.BrindleCtrl.1";
inline constexpr const char* kGantryIid = "{646B55E2-FC77-11D1-901E-006097C5C60F}";
inline constexpr const char* kGantryEventsIid = "{646B55E3-FC77-11D1-901E-006097C5C60F}";
inline constexpr const char* kGantryClsid = "{2580C55B-51E6-11D1-8F74-006097C5C60F}";
inline constexpr const char* kGantryProgId = "Gantry.GantryCtrl.1";
// The names a form host knows the controls by (type library and coclass).
inline constexpr const char* kBrindleControlName = "BrindleLib.Brindle";
inline constexpr const char* kGantryControlName = "BrindleLib.Gantry";
inline constexpr const char* kBrindlePageClsid = "{2580B55C-51E6-11D1-8F74-006097C5C60F}";
inline constexpr const char* kBrindlePageProgId = "Brindle.BrindlePropPage.1";
inline constexpr const char* kGantryPageClsid = "{646B55E4-FC77-11D1-901E-006097C5C60F}";
inline constexpr const char* kGantryPageProgId = "Brindle.GantryPropPage.1";
// 0x20591: set client site first, invisible at run time, activate when
// visible, inside-out, cannot link inside, recompose on resize.
inline constexpr const char* kMiscStatus = "132497";

enum BrindleDispId : platform::DispId {
  kInit = 1,
  kAddFilterWildcard = 2,
  kAddFilterUID = 3,
  kGetPathName = 4,
  kGetFileName = 5,
  kGetFileExt = 6,
  kGetFileType = 7,
  kDoModal = 8,
  kGetResourceString = 9,
  kCopyInit = 10,
  kCopyOpen = 11,
  kCopySave = 12,
  kCopyExit = 13,
};

enum GantryDispId : platform::DispId { kGantryInit = 1, kGantryDoModal = 2, kGetFolderName = 3 };

const au::InterfaceInfo& DBrindleInfo();
const au::InterfaceInfo& DBrindleEventsInfo();
const au::InterfaceInfo& DGantryInfo();
const au::InterfaceInfo& DGantryEventsInfo();

std::vector<au::ClassRegistration> classRegistrations(const std::string& modulePath);
au::TypeLibRegistration typeLibRegistration(const std::string& modulePath);

// Objects of the module's classes alive (controls and property pages).
int liveObjects();

class CBrindleCtrl final : public au::TypedDispatch {
 public:
  CBrindleCtrl();
  ~CBrindleCtrl() override;
  // The four copy members answer by name only (they are not in the type library).
  std::optional<platform::DispId> idOfName(std::string_view name) const override;
  Variant invoke(platform::DispId id, platform::DispatchArgs& args, au::InvokeKind kind) override;
  CFileDlg* dialog() const { return dialog_.get(); }

 protected:
  Variant invokeMember(const au::MemberInfo& member, au::CheckedArgs& args) override;

 private:
  std::unique_ptr<CFileDlg> dialog_;
};

class CGantryCtrl final : public au::TypedDispatch {
 public:
  CGantryCtrl();
  ~CGantryCtrl() override;
  CBrowseDlg* dialog() const { return dialog_.get(); }

 protected:
  Variant invokeMember(const au::MemberInfo& member, au::CheckedArgs& args) override;

 private:
  std::unique_ptr<CBrowseDlg> dialog_;
};

// An empty property page.
class CPropPage final : public platform::Dispatch {
 public:
  CPropPage();
  ~CPropPage() override;
  Variant invoke(platform::DispId id, platform::DispatchArgs& args, au::InvokeKind kind) override;
};

}  // namespace pellary::brindle
