// The agenda writer component: class KestQuoll with its dispatch interface
// IKestQuoll, its type-library identity and its registration.
#pragma once

#include <memory>
#include <string>

#include "platform/automation/class_registry.h"
#include "platform/automation/dispatch.h"
#include "quoll/agenda_file.h"

namespace pellary::quoll {

inline constexpr const char* kLibId = "{A2B85264-8A03-11D3-A67C-F0724675723F}";
inline constexpr const char* kLibVersion = "1.0";
inline constexpr const char* kLibHelp = "Quoll 1.0 Type Library";
inline constexpr const char* kClsid = "{A2B85250-8A03-11D3-A67C-F0724675723F}";
inline constexpr const char* kIid = "{A2B85271-8A03-11D3-A67C-F0724675723F}";
inline constexpr const char* kClassHelp = "KestQuoll Class";
inline constexpr const char* kProgId = "KestQuoll.KestQuoll.1";
inline constexpr const char* kVersionIndependentProgId = "KestQuoll.KestQuoll";
// The name the host program creates the control by.
inline constexpr const char* kControlProgId = "QuollLibCtl.KestQuoll";
// Invisible at run time, activate when visible, inside-out, set client site
// first, cannot link inside, recompose on resize.
inline constexpr const char* kMiscStatus = "132497";

enum QuollDispId : platform::DispId {
  kOpen = 1,
  kClose = 2,
  kMarkAsDeleted = 3,
  kAddEntryTimed = 4,
  kAddEntryUntimed = 5,
};

const platform::automation::InterfaceInfo& IKestQuollInfo();

platform::automation::ClassRegistration classRegistration(const std::string& modulePath);
platform::automation::TypeLibRegistration typeLibRegistration(const std::string& modulePath);

// One object holds at most one open agenda file. Texts arrive as UTF-8 and go
// to the file as Windows-1252 bytes; a path may be written with backslashes.
//
// Failures that would lose the user's dates are raised, so that the caller
// never takes them as written: Open on a file that cannot be
// opened (53 when missing, else 75), an add or mark while no file is open (52),
// a date or time the record cannot hold (5), a write or close that fails (57).
// An entry that MarkAsDeleted does not find is no failure (the user may have
// removed it on the device). Close with no open file does nothing.
class KestQuoll : public platform::automation::TypedDispatch {
 public:
  KestQuoll();
  ~KestQuoll() override;  // closes an open file

  // Objects of this class alive in this module.
  static int liveObjects();

 protected:
  Variant invokeMember(const platform::automation::MemberInfo& member,
                       platform::automation::CheckedArgs& args) override;

 private:
  void open(const std::string& path);
  void close();
  AgendaFile& openFile();

  std::unique_ptr<AgendaFile> file_;
};

}  // namespace pellary::quoll
