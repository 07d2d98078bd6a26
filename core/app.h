// The application title ("App.Title"): every settings key is built from it.
#pragma once

#include <string>

namespace pellary {
const std::string& appTitle();
void setAppTitle(std::string title);
inline constexpr const char* kAppTitle = "Pellary Almoner";
// The version the About box names.
inline constexpr const char* kAppVersion = "1.0";
}  // namespace pellary
