// The settings tree: keys under three roots, text values, persisted as one text
// file per root in the settings folder. Keys and value names compare without
// regard to ASCII letter case and keep the case they were first written with.
//
// Every change is locked against other processes and replaces the root's file
// atomically; every read sees what another process wrote last. A damaged file
// raises AppError(err::SettingsDamaged) on every operation of its root and is
// never overwritten.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pellary {

// Root handles as callers pass them (Long).
inline constexpr int32_t HKEY_CLASSES_ROOT = int32_t(0x80000000);
inline constexpr int32_t HKEY_CURRENT_USER = int32_t(0x80000001);
inline constexpr int32_t HKEY_LOCAL_MACHINE = int32_t(0x80000002);

}  // namespace pellary

namespace pellary::platform::settings {

namespace fs = std::filesystem;

enum class Root { ClassesRoot, CurrentUser, LocalMachine };

// The root of a handle; nothing for an unknown handle.
std::optional<Root> rootFromHandle(int32_t handle);
// "HKEY_CURRENT_USER" or "HKCU" (any letter case); nothing for another name.
std::optional<Root> rootFromName(std::string_view name);
// "HKEY_CURRENT_USER".
std::string_view rootName(Root root);
// Splits "HKEY_CURRENT_USER\Software\X" into its root and "Software\X".
std::optional<std::pair<Root, std::string>> splitRootedKey(std::string_view fullKey);

// The file that holds a root, in the settings folder of this moment.
fs::path rootFile(Root root);

// The name of a key's default (unnamed) value.
inline constexpr std::string_view kDefaultValue = "";

struct Value {
  std::string name;  // kDefaultValue for the default value
  std::string data;
};

// Key paths are backslash separated; empty components are skipped, so "" and
// "\" name the root itself.

// The value's text; nothing when the key or the value is missing.
std::optional<std::string> readValue(Root root, std::string_view key, std::string_view name);
// Sets the value, creating the key and every key above it.
void writeValue(Root root, std::string_view key, std::string_view name, std::string_view data);
// True when the value existed and is gone.
bool deleteValue(Root root, std::string_view key, std::string_view name);
bool keyExists(Root root, std::string_view key);
// Creates the key and every key above it (nothing when it exists).
void createKey(Root root, std::string_view key);
// Deletes the key with all its subkeys and values; false when it is missing.
// A root itself cannot be deleted.
bool deleteKey(Root root, std::string_view key);
// Subkey names and values of a key, empty when the key is missing. Subkeys come
// in alphabetical order (ignoring case), values in the order first written.
std::vector<std::string> listSubkeys(Root root, std::string_view key);
std::vector<Value> listValues(Root root, std::string_view key);

// Test hook: runs after the new file is written and flushed, before it replaces
// the old one, with the tree's locks held (so it must not call the tree). An
// empty function removes it.
using BeforeReplaceHook = std::function<void(const fs::path& tempFile)>;
void setBeforeReplaceHook(BeforeReplaceHook hook);

}  // namespace pellary::platform::settings
