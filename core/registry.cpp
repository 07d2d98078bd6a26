#include "core/registry.h"

#include "core/app.h"
#include "platform/errors.h"
#include "platform/paths.h"

namespace pellary {

namespace settings = platform::settings;

namespace {

std::string valueSlot(const std::string& valueName) {
  return valueName == "*" ? std::string(settings::kDefaultValue) : valueName;
}

// A key that cannot be created or a file that cannot be replaced is a failed
// call; everything else (a damaged file above all) is an error of the program.
template <class F>
bool succeeded(F&& body) {
  try {
    return body();
  } catch (const AppError& e) {
    if (e.number() == err::SettingsWriteFailed) return false;
    throw;
  }
}

}  // namespace

std::string Breg_SectionKey(const std::string& section) {
  return "Software\\Brackwater\\" + appTitle() + "\\" + section;
}

std::string Breg_GetRegSetting(const std::string& section, const std::string& valueName) {
  return trapped("Breg_GetRegSetting", [&] {
    return settings::readValue(settings::Root::CurrentUser, Breg_SectionKey(section), valueSlot(valueName))
        .value_or(std::string());
  });
}

void Breg_WriteRegSettings(const std::string& section, const std::string& valueName, const std::string& value) {
  trapped("Breg_WriteRegSettings", [&] {
    succeeded([&] {
      settings::writeValue(settings::Root::CurrentUser, Breg_SectionKey(section), valueSlot(valueName), value);
      return true;
    });
  });
}

bool Breg_DeleteRegSetting(const std::string& section, const std::string& valueName) {
  return trapped("Breg_DeleteRegSetting", [&] {
    return succeeded([&] {
      return settings::deleteValue(settings::Root::CurrentUser, Breg_SectionKey(section), valueSlot(valueName));
    });
  });
}

std::string Breg_ReadFromRegistry(int32_t root, const std::string& keyPath, const std::string& valueName,
                                  const std::string& defaultValue) {
  return trapped("Breg_ReadFromRegistry", [&] {
    std::optional<settings::Root> r = settings::rootFromHandle(root);
    if (!r) return defaultValue;
    return settings::readValue(*r, keyPath, valueSlot(valueName)).value_or(defaultValue);
  });
}

bool Breg_WriteToRegistry(int32_t root, const std::string& keyPath, const std::string& valueName,
                          const std::string& value) {
  return trapped("Breg_WriteToRegistry", [&] {
    std::optional<settings::Root> r = settings::rootFromHandle(root);
    if (!r) return false;
    return succeeded([&] {
      settings::writeValue(*r, keyPath, valueSlot(valueName), value);
      return true;
    });
  });
}

bool Breg_DeleteFromRegistry(int32_t root, const std::string& keyPath, const std::string& valueName) {
  return trapped("Breg_DeleteFromRegistry", [&] {
    std::optional<settings::Root> r = settings::rootFromHandle(root);
    if (!r) return false;
    return succeeded([&] { return settings::deleteValue(*r, keyPath, valueSlot(valueName)); });
  });
}

bool Breg_DoesKeyExist(int32_t root, const std::string& keyPath) {
  return trapped("Breg_DoesKeyExist", [&] {
    std::optional<settings::Root> r = settings::rootFromHandle(root);
    return r && settings::keyExists(*r, keyPath);
  });
}

int32_t Breg_AddToPath(const std::string& folder) {
  return trapped("Breg_AddToPath", [&]() -> int32_t { return paths::appendToSearchPath(folder) ? 1 : 0; });
}

std::string Breg_ReturnShortPathName(const std::string& path) {
  return trapped("Breg_ReturnShortPathName", [&] { return paths::shortPathName(path); });
}

}  // namespace pellary
