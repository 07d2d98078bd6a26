// What a component module (a shared library hosting automation classes)
// exports, and what the host looks up in it after loading it:
//
//   extern "C" int32_t AlmonerModuleAbi(void);          // must return kModuleAbi
//   extern "C" int32_t DllRegisterServer(void);         // writes its class keys
//   extern "C" int32_t DllUnregisterServer(void);       // removes them
//   extern "C" int32_t DllGetClassObject(const char* clsid, ClassFactory** factory);
//   extern "C" int32_t DllCanUnloadNow(void);           // kOk when nothing is alive
//
// Results follow the system's convention: 0 success, 1 "false", negative failure.
// Objects cross the boundary as C++ objects, so host and module must be built
// with the same compiler and headers; the version number guards that.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/automation/dispatch.h"

namespace pellary::platform::automation {

inline constexpr int32_t kModuleAbi = 1;

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kFalse = 1;
inline constexpr int32_t kFail = int32_t(0x80004005);
inline constexpr int32_t kClassNotAvailable = int32_t(0x80040111);
inline constexpr int32_t kInvalidArg = int32_t(0x80070057);
inline constexpr int32_t kSelfRegClass = int32_t(0x80040201);  // registration of a class failed
inline constexpr int32_t kSelfRegTypeLib = int32_t(0x80040200);

// Hands out new objects of one class. Lives as long as its module.
class ClassFactory {
 public:
  virtual std::shared_ptr<Dispatch> createInstance() = 0;

 protected:
  ~ClassFactory() = default;
};

using ModuleAbiFn = int32_t (*)();
using RegisterServerFn = int32_t (*)();
using UnregisterServerFn = int32_t (*)();
using GetClassObjectFn = int32_t (*)(const char* clsid, ClassFactory** factory);
using CanUnloadNowFn = int32_t (*)();

inline constexpr const char* kModuleAbiSymbol = "AlmonerModuleAbi";
inline constexpr const char* kRegisterServerSymbol = "DllRegisterServer";
inline constexpr const char* kUnregisterServerSymbol = "DllUnregisterServer";
inline constexpr const char* kGetClassObjectSymbol = "DllGetClassObject";
inline constexpr const char* kCanUnloadNowSymbol = "DllCanUnloadNow";

// The full path of the loaded module that holds the given address (a module
// finds its own path this way to write it into its registration).
std::string modulePathOf(const void* addressInModule);

}  // namespace pellary::platform::automation
