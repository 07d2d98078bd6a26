// The class registry in HKEY_CLASSES_ROOT of the settings tree, and creation of
// objects by class name.
//
//   HKCR\<ProgID>                      = description, subkey CLSID = {clsid}
//   HKCR\<VersionIndependentProgID>    = description, subkeys CLSID, CurVer = <ProgID>
//   HKCR\CLSID\{clsid}                 = description, subkeys ProgID,
//        VersionIndependentProgID, InprocServer32 = module path (ThreadingModel)
//   HKCR\TypeLib\{libid}\<version>     = help string, subkey 0\linux = module path
//   HKCR\Interface\{iid}               = name, subkey TypeLib = {libid} (Version)
//
// ProgIDs and class identifiers compare without regard to letter case.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/automation/dispatch.h"

namespace pellary::platform::automation {

struct ClassRegistration {
  std::string clsid;                     // "{...}"
  std::string description;               // the keys' default value
  std::string progId;                    // versioned, "Lib.Class.1"
  std::string versionIndependentProgId;  // "Lib.Class"; may be empty
  // Further names that create the same class (each gets its own CLSID subkey).
  std::vector<std::string> aliasProgIds;
  std::string modulePath;
  std::string threadingModel = "Apartment";
  std::string typeLib;  // "{libid}"; may be empty
  std::string version;  // "1.0"; may be empty
  // Further subkeys of the class key: relative path and default value (none:
  // the key alone).
  std::vector<std::pair<std::string, std::optional<std::string>>> classSubkeys;
};

struct TypeLibRegistration {
  std::string libid;
  std::string version;  // "1.0"
  std::string helpString;
  std::string modulePath;
  std::vector<const InterfaceInfo*> interfaces;
};

// Writes every key of the class anew (the class key is replaced whole).
void registerClass(const ClassRegistration& reg);
// Removes the keys registerClass wrote; HKCR\CLSID itself stays. Missing keys
// are no error.
void unregisterClass(const ClassRegistration& reg);
void registerTypeLib(const TypeLibRegistration& reg);
void unregisterTypeLib(const TypeLibRegistration& reg);

// The class identifier of a ProgID: its CLSID subkey, else through CurVer.
std::optional<std::string> clsidFromProgId(std::string_view progId);
// The registered in-process module of a class; nothing when unregistered.
std::optional<std::string> inprocServerPath(std::string_view clsid);

// Classes built into the program (stand-ins for outside components), created
// by ProgID or class identifier without touching the registry.
using ObjectMaker = std::function<std::shared_ptr<Dispatch>()>;
void registerBuiltinClass(const std::string& name, ObjectMaker maker);
void unregisterBuiltinClass(std::string_view name);

// CreateObject: a built-in class by name, else the registered class of the
// ProgID (or "{clsid}") created through its module, which is loaded on first
// use and stays loaded. Raises 429 when the class is unknown, its module does
// not load or does not hand out the class.
std::shared_ptr<Dispatch> createObject(std::string_view classNameOrClsid);

// Loads a module and runs its self-registration (or unregistration) entry
// point, as the system's registration tool does. Raises ModuleNotLoaded,
// NoEntryPoint or RegistrationFailed.
void registerServer(const std::filesystem::path& modulePath);
void unregisterServer(const std::filesystem::path& modulePath);

// Asks every loaded module whether it can be unloaded and unloads those that
// can; returns how many were unloaded.
int freeUnusedLibraries();

}  // namespace pellary::platform::automation
