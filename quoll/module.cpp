// The exports of the Quoll module: self-registration and its class factory.
#include <cstdint>
#include <memory>

#include "platform/automation/class_registry.h"
#include "platform/automation/module_abi.h"
#include "platform/paths.h"
#include "quoll/kest_quoll.h"

namespace au = pellary::platform::automation;

#define QUOLL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

class Factory final : public au::ClassFactory {
 public:
  std::shared_ptr<pellary::platform::Dispatch> createInstance() override {
    return std::make_shared<pellary::quoll::KestQuoll>();
  }
};

Factory gFactory;

std::string ownPath();

}  // namespace

QUOLL_EXPORT int32_t AlmonerModuleAbi() { return au::kModuleAbi; }

QUOLL_EXPORT int32_t DllRegisterServer() {
  try {
    const std::string path = ownPath();
    if (path.empty()) return au::kSelfRegClass;
    au::registerClass(pellary::quoll::classRegistration(path));
    try {
      au::registerTypeLib(pellary::quoll::typeLibRegistration(path));
    } catch (...) {
      return au::kSelfRegTypeLib;
    }
    return au::kOk;
  } catch (...) {
    return au::kSelfRegClass;
  }
}

QUOLL_EXPORT int32_t DllUnregisterServer() {
  const std::string path = ownPath();
  try {
    au::unregisterClass(pellary::quoll::classRegistration(path));
  } catch (...) {
  }
  try {
    au::unregisterTypeLib(pellary::quoll::typeLibRegistration(path));
  } catch (...) {
  }
  return au::kOk;
}

QUOLL_EXPORT int32_t DllGetClassObject(const char* clsid, au::ClassFactory** factory) {
  if (!factory) return au::kInvalidArg;
  *factory = nullptr;
  if (!clsid || !pellary::paths::equalsIgnoreCase(clsid, pellary::quoll::kClsid)) return au::kClassNotAvailable;
  *factory = &gFactory;
  return au::kOk;
}

QUOLL_EXPORT int32_t DllCanUnloadNow() { return pellary::quoll::KestQuoll::liveObjects() == 0 ? au::kOk : au::kFalse; }

namespace {
std::string ownPath() { return au::modulePathOf(reinterpret_cast<const void*>(&DllRegisterServer)); }
}  // namespace
