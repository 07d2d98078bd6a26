// In-memory keys of one root and their text file format:
//
//   PELLARY SETTINGS 1 HKEY_CURRENT_USER
//
//   [Software\Brackwater\Pellary Almoner\User]
//   "FirstRun"="False"
//   @="the default value"
//
// Names and values are quoted with \\ \" \r \n \t escaped; every other byte is
// kept as it is, so any UTF-8 text round-trips. Blank lines and lines starting
// with ';' are skipped.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings/settings_tree.h"

namespace pellary::platform::settings {

class Key {
 public:
  explicit Key(std::string name = {}) : name_(std::move(name)) {}

  const std::string& name() const { return name_; }

  Key* subkey(std::string_view name) const;
  // The subkey, created with this spelling when missing.
  Key& ensureSubkey(std::string_view name);
  bool removeSubkey(std::string_view name);
  std::vector<const Key*> subkeys() const;

  const std::string* value(std::string_view name) const;
  void setValue(std::string_view name, std::string_view data);
  bool removeValue(std::string_view name);
  const std::vector<Value>& values() const { return values_; }

 private:
  std::string name_;
  std::vector<Value> values_;
  std::map<std::string, std::unique_ptr<Key>> subkeys_;  // by lower-case name
};

// The non-empty components of a backslash key path.
std::vector<std::string> splitKeyPath(std::string_view path);
// True when name can be a key name (not empty, no control characters).
bool validKeyName(std::string_view name);

std::string headerLine(Root root);
// Raises AppError(err::SettingsDamaged) naming file and line when text is not
// a well-formed file of that root.
std::unique_ptr<Key> parseSettings(std::string_view text, Root root, const std::filesystem::path& file);
std::string formatSettings(const Key& top, Root root);

}  // namespace pellary::platform::settings
