#include "platform/automation/class_registry.h"

#include <dlfcn.h>

#include <cstdio>
#include <map>
#include <mutex>

#include "platform/automation/module_abi.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/settings/settings_tree.h"

namespace pellary::platform::automation {

namespace fs = std::filesystem;
namespace st = settings;

namespace {

constexpr st::Root HKCR = st::Root::ClassesRoot;
// The system's marshaler for automation-compatible interfaces.
constexpr std::string_view kAutomationProxyStub = "{00020424-0000-0000-C000-000000000046}";

std::string classKey(std::string_view clsid) { return "CLSID\\" + std::string(clsid); }

// A ProgID names one key directly under the root; anything else is no ProgID.
bool isKeyName(std::string_view name) {
  return !name.empty() && name.find('\\') == std::string_view::npos && name.find('/') == std::string_view::npos;
}

bool isClsidText(std::string_view s) { return s.size() > 2 && s.front() == '{' && s.back() == '}'; }

[[noreturn]] void cannotCreate() { raise(errors::CannotCreateObject, "ActiveX component can't create object"); }

// ---- loaded modules ----

struct Module {
  void* handle = nullptr;
};

struct Modules {
  // Recursive: a module's static initialisers run inside dlopen and may call back here.
  std::recursive_mutex mutex;
  std::map<std::string, Module> loaded;         // by full path
  std::map<std::string, ObjectMaker> builtins;  // by lower-case name
};

Modules& modules() {
  static Modules m;
  return m;
}

std::string fullPath(const fs::path& p) {
  std::error_code ec;
  fs::path abs = fs::absolute(p, ec);
  if (ec) return p.string();
  fs::path canon = fs::weakly_canonical(abs, ec);
  return (ec ? abs : canon).string();
}

// Loads (or finds loaded) the module; nothing with the loader's message when it fails.
void* loadModule(const std::string& path, std::string& message) {
  auto& m = modules();
  std::lock_guard lock(m.mutex);
  if (auto it = m.loaded.find(path); it != m.loaded.end()) return it->second.handle;
  dlerror();
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* e = dlerror();
    message = e ? e : "cannot load";
    return nullptr;
  }
  auto abi = reinterpret_cast<ModuleAbiFn>(dlsym(h, kModuleAbiSymbol));
  if (!abi || abi() != kModuleAbi) {
    dlclose(h);
    message = "not a component module of this program, or of another build of it";
    return nullptr;
  }
  m.loaded[path].handle = h;
  return h;
}

template <class Fn>
Fn symbol(void* module, const char* name) {
  return reinterpret_cast<Fn>(dlsym(module, name));
}

void runRegistration(const fs::path& modulePath, const char* entry) {
  const std::string path = fullPath(modulePath);
  std::string message;
  void* h = loadModule(path, message);
  if (!h) raise(errors::ModuleNotLoaded, "The module \"" + path + "\" failed to load: " + message);
  auto fn = symbol<RegisterServerFn>(h, entry);
  if (!fn)
    raise(errors::NoEntryPoint,
          "The module \"" + path + "\" was loaded but the entry point " + entry + " was not found.");
  const int32_t hr = fn();
  if (hr < 0) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", uint32_t(hr));
    raise(errors::RegistrationFailed,
          "The module \"" + path + "\" was loaded but the call to " + entry + " failed with error code " + code + ".");
  }
}

// Deletes HKCR\<progId> when it belongs to the class (so another class's ProgID survives).
void deleteProgIdOf(std::string_view progId, std::string_view clsid, std::string_view curVer = {}) {
  if (!isKeyName(progId)) return;
  const std::string key(progId);
  const auto own = st::readValue(HKCR, key + "\\CLSID", st::kDefaultValue);
  const auto ver = st::readValue(HKCR, key + "\\CurVer", st::kDefaultValue);
  const bool ours = (own && paths::equalsIgnoreCase(*own, clsid)) ||
                    (!own && ver && !curVer.empty() && paths::equalsIgnoreCase(*ver, curVer));
  if (ours) st::deleteKey(HKCR, key);
}

}  // namespace

std::string modulePathOf(const void* addressInModule) {
  Dl_info info{};
  if (!dladdr(addressInModule, &info) || !info.dli_fname) return {};
  return fullPath(info.dli_fname);
}

void registerClass(const ClassRegistration& reg) {
  if (!isClsidText(reg.clsid) || !isKeyName(reg.progId)) raise(err::InvalidCall);
  st::writeValue(HKCR, reg.progId, st::kDefaultValue, reg.description);
  st::writeValue(HKCR, reg.progId + "\\CLSID", st::kDefaultValue, reg.clsid);
  if (!reg.versionIndependentProgId.empty()) {
    if (!isKeyName(reg.versionIndependentProgId)) raise(err::InvalidCall);
    st::writeValue(HKCR, reg.versionIndependentProgId, st::kDefaultValue, reg.description);
    st::writeValue(HKCR, reg.versionIndependentProgId + "\\CurVer", st::kDefaultValue, reg.progId);
  }
  for (const auto& alias : reg.aliasProgIds) {
    if (!isKeyName(alias)) raise(err::InvalidCall);
    st::writeValue(HKCR, alias, st::kDefaultValue, reg.description);
    st::writeValue(HKCR, alias + "\\CLSID", st::kDefaultValue, reg.clsid);
  }
  const std::string cls = classKey(reg.clsid);
  st::deleteKey(HKCR, cls);
  st::writeValue(HKCR, cls, st::kDefaultValue, reg.description);
  st::writeValue(HKCR, cls + "\\ProgID", st::kDefaultValue, reg.progId);
  if (!reg.versionIndependentProgId.empty())
    st::writeValue(HKCR, cls + "\\VersionIndependentProgID", st::kDefaultValue, reg.versionIndependentProgId);
  st::writeValue(HKCR, cls + "\\InprocServer32", st::kDefaultValue, reg.modulePath);
  if (!reg.threadingModel.empty()) st::writeValue(HKCR, cls + "\\InprocServer32", "ThreadingModel", reg.threadingModel);
  if (!reg.typeLib.empty()) st::writeValue(HKCR, cls + "\\TypeLib", st::kDefaultValue, reg.typeLib);
  if (!reg.version.empty()) st::writeValue(HKCR, cls + "\\Version", st::kDefaultValue, reg.version);
  for (const auto& [sub, value] : reg.classSubkeys) {
    if (value)
      st::writeValue(HKCR, cls + "\\" + sub, st::kDefaultValue, *value);
    else
      st::createKey(HKCR, cls + "\\" + sub);
  }
}

void unregisterClass(const ClassRegistration& reg) {
  if (!isClsidText(reg.clsid)) return;
  deleteProgIdOf(reg.progId, reg.clsid);
  deleteProgIdOf(reg.versionIndependentProgId, reg.clsid, reg.progId);
  for (const auto& alias : reg.aliasProgIds) deleteProgIdOf(alias, reg.clsid);
  st::deleteKey(HKCR, classKey(reg.clsid));
}

void registerTypeLib(const TypeLibRegistration& reg) {
  if (!isClsidText(reg.libid) || !isKeyName(reg.version)) raise(err::InvalidCall);
  const std::string lib = "TypeLib\\" + reg.libid + "\\" + reg.version;
  st::writeValue(HKCR, lib, st::kDefaultValue, reg.helpString);
  st::writeValue(HKCR, lib + "\\0\\linux", st::kDefaultValue, reg.modulePath);
  st::writeValue(HKCR, lib + "\\FLAGS", st::kDefaultValue, "0");
  st::writeValue(HKCR, lib + "\\HELPDIR", st::kDefaultValue, fs::path(reg.modulePath).parent_path().string());
  for (const auto* itf : reg.interfaces) {
    if (!itf || !isClsidText(itf->iid)) continue;
    const std::string key = "Interface\\" + itf->iid;
    st::writeValue(HKCR, key, st::kDefaultValue, itf->name);
    st::writeValue(HKCR, key + "\\ProxyStubClsid32", st::kDefaultValue, kAutomationProxyStub);
    st::writeValue(HKCR, key + "\\TypeLib", st::kDefaultValue, reg.libid);
    st::writeValue(HKCR, key + "\\TypeLib", "Version", reg.version);
  }
}

void unregisterTypeLib(const TypeLibRegistration& reg) {
  if (!isClsidText(reg.libid) || !isKeyName(reg.version)) return;
  const std::string libKey = "TypeLib\\" + reg.libid;
  st::deleteKey(HKCR, libKey + "\\" + reg.version);
  if (st::keyExists(HKCR, libKey) && st::listSubkeys(HKCR, libKey).empty()) st::deleteKey(HKCR, libKey);
  for (const auto* itf : reg.interfaces)
    if (itf && isClsidText(itf->iid)) st::deleteKey(HKCR, "Interface\\" + itf->iid);
}

std::optional<std::string> clsidFromProgId(std::string_view progId) {
  if (isClsidText(progId)) return std::string(progId);
  std::string name(progId);
  // CurVer may lead on to another ProgID; a loop of them ends here.
  for (int depth = 0; depth < 8 && isKeyName(name); ++depth) {
    if (auto clsid = st::readValue(HKCR, name + "\\CLSID", st::kDefaultValue); clsid && !clsid->empty()) return clsid;
    auto next = st::readValue(HKCR, name + "\\CurVer", st::kDefaultValue);
    if (!next || next->empty()) break;
    name = *next;
  }
  return std::nullopt;
}

std::optional<std::string> inprocServerPath(std::string_view clsid) {
  if (!isClsidText(clsid)) return std::nullopt;
  auto path = st::readValue(HKCR, classKey(clsid) + "\\InprocServer32", st::kDefaultValue);
  if (!path || path->empty()) return std::nullopt;
  return path;
}

void registerBuiltinClass(const std::string& name, ObjectMaker maker) {
  auto& m = modules();
  std::lock_guard lock(m.mutex);
  m.builtins[paths::toLowerAscii(name)] = std::move(maker);
}

void unregisterBuiltinClass(std::string_view name) {
  auto& m = modules();
  std::lock_guard lock(m.mutex);
  m.builtins.erase(paths::toLowerAscii(name));
}

std::shared_ptr<Dispatch> createObject(std::string_view name) {
  auto builtin = [](std::string_view n) -> ObjectMaker {
    auto& m = modules();
    std::lock_guard lock(m.mutex);
    auto it = m.builtins.find(paths::toLowerAscii(n));
    return it == m.builtins.end() ? ObjectMaker() : it->second;
  };
  if (auto maker = builtin(name)) return maker();

  auto clsid = clsidFromProgId(name);
  if (!clsid) cannotCreate();
  if (auto maker = builtin(*clsid)) return maker();
  auto path = inprocServerPath(*clsid);
  if (!path) cannotCreate();
  std::string message;
  void* h = loadModule(fullPath(*path), message);
  if (!h) cannotCreate();
  auto get = symbol<GetClassObjectFn>(h, kGetClassObjectSymbol);
  ClassFactory* factory = nullptr;
  if (!get || get(clsid->c_str(), &factory) != kOk || !factory) cannotCreate();
  auto object = factory->createInstance();
  if (!object) cannotCreate();
  return object;
}

void registerServer(const fs::path& modulePath) { runRegistration(modulePath, kRegisterServerSymbol); }
void unregisterServer(const fs::path& modulePath) { runRegistration(modulePath, kUnregisterServerSymbol); }

int freeUnusedLibraries() {
  auto& m = modules();
  std::lock_guard lock(m.mutex);
  int count = 0;
  for (auto it = m.loaded.begin(); it != m.loaded.end();) {
    auto canUnload = symbol<CanUnloadNowFn>(it->second.handle, kCanUnloadNowSymbol);
    if (canUnload && canUnload() == kOk) {
      dlclose(it->second.handle);
      it = m.loaded.erase(it);
      ++count;
    } else {
      ++it;
    }
  }
  return count;
}

}  // namespace pellary::platform::automation
