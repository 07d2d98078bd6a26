// The program's settings under HKEY_CURRENT_USER
// "Software\Brackwater\" + application title + "\" + section, general access to
// the settings tree, and two environment services.
#pragma once

#include <cstdint>
#include <string>

#include "platform/settings/settings_tree.h"

namespace pellary {

// The key of a section of the program's settings.
std::string Breg_SectionKey(const std::string& section);

// In every call the value name "*" stands for the key's default value.

// The value's text; empty when the key or the value is missing.
std::string Breg_GetRegSetting(const std::string& section, const std::string& valueName);
// Creates the section when missing and sets the value; a failure is passed over.
void Breg_WriteRegSettings(const std::string& section, const std::string& valueName, const std::string& value);
// True when the value existed and was deleted.
bool Breg_DeleteRegSetting(const std::string& section, const std::string& valueName);

// root is HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE.
std::string Breg_ReadFromRegistry(int32_t root, const std::string& keyPath, const std::string& valueName,
                                  const std::string& defaultValue);
bool Breg_WriteToRegistry(int32_t root, const std::string& keyPath, const std::string& valueName,
                          const std::string& value);
bool Breg_DeleteFromRegistry(int32_t root, const std::string& keyPath, const std::string& valueName);
bool Breg_DoesKeyExist(int32_t root, const std::string& keyPath);

// Adds folder at the end of this process's PATH unless it is empty or
// already there; non-zero on success.
int32_t Breg_AddToPath(const std::string& folder);
// The path itself when it names an existing file or folder, else the empty text.
std::string Breg_ReturnShortPathName(const std::string& path);

}  // namespace pellary
