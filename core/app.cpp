#include "core/app.h"

namespace pellary {
namespace {
std::string& title() {
  static std::string t = kAppTitle;
  return t;
}
}  // namespace
const std::string& appTitle() { return title(); }
void setAppTitle(std::string t) { title() = std::move(t); }
}  // namespace pellary
