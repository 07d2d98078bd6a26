// The exports of the Brindle module: self-registration and the class factory
// of its four classes.
#include <cstdint>
#include <memory>

#include "brindle/controls.h"
#include "platform/automation/module_abi.h"
#include "platform/paths.h"

namespace au = pellary::platform::automation;
namespace br = pellary::brindle;

#define BRINDLE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

template <class T>
class Factory final : public au::ClassFactory {
 public:
  std::shared_ptr<pellary::platform::Dispatch> createInstance() override { return std::make_shared<T>(); }
};

Factory<br::CBrindleCtrl> gBrindleFactory;
Factory<br::CGantryCtrl> gGantryFactory;
Factory<br::CPropPage> gPageFactory;

std::string ownPath();

}  // namespace

BRINDLE_EXPORT int32_t AlmonerModuleAbi() { return au::kModuleAbi; }

BRINDLE_EXPORT int32_t DllRegisterServer() {
  const std::string path = ownPath();
  try {
    if (path.empty()) return au::kSelfRegTypeLib;
    au::registerTypeLib(br::typeLibRegistration(path));
  } catch (...) {
    return au::kSelfRegTypeLib;
  }
  try {
    for (const auto& reg : br::classRegistrations(path)) au::registerClass(reg);
  } catch (...) {
    return au::kSelfRegClass;
  }
  return au::kOk;
}

BRINDLE_EXPORT int32_t DllUnregisterServer() {
  const std::string path = ownPath();
  try {
    au::unregisterTypeLib(br::typeLibRegistration(path));
  } catch (...) {
    return au::kSelfRegTypeLib;
  }
  try {
    for (const auto& reg : br::classRegistrations(path)) au::unregisterClass(reg);
  } catch (...) {
    return au::kSelfRegClass;
  }
  return au::kOk;
}

BRINDLE_EXPORT int32_t DllGetClassObject(const char* clsid, au::ClassFactory** factory) {
  if (!factory) return au::kInvalidArg;
  *factory = nullptr;
  if (!clsid) return au::kClassNotAvailable;
  using pellary::paths::equalsIgnoreCase;
  if (equalsIgnoreCase(clsid, br::kBrindleClsid))
    *factory = &gBrindleFactory;
  else if (equalsIgnoreCase(clsid, br::kGantryClsid))
    *factory = &gGantryFactory;
  else if (equalsIgnoreCase(clsid, br::kBrindlePageClsid) || equalsIgnoreCase(clsid, br::kGantryPageClsid))
    *factory = &gPageFactory;
  else
    return au::kClassNotAvailable;
  return au::kOk;
}

BRINDLE_EXPORT int32_t DllCanUnloadNow() { return br::liveObjects() == 0 && !br::dialogsMade() ? au::kOk : au::kFalse; }

namespace {
std::string ownPath() { return au::modulePathOf(reinterpret_cast<const void*>(&DllRegisterServer)); }
}  // namespace
