// The application title ("App.Title"): every settings key is built from it.
#pragma once

#include <string>

namespace pellary {
const std::string& appTitle();
void setAppTitle(std::string title);
inline constexpr const char* kAppTitle = "Pellary Almoner";
}  // namespace pellary
