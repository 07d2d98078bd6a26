// almoner-regsvr [/u] [/s] MODULE.so
// Loads a component module and runs its self-registration (or, with /u, its
// unregistration) entry point, writing the classes into HKEY_CLASSES_ROOT of
// the settings tree.
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/automation/class_registry.h"
#include "platform/errors.h"

namespace {
int usage() {
  std::fprintf(stderr, "usage: almoner-regsvr [/u] [/s] MODULE\n");
  return 2;
}
bool isSwitch(std::string_view a, char c) {
  return a.size() == 2 && (a[0] == '/' || a[0] == '-') && (a[1] == c || a[1] == char(c - 'a' + 'A'));
}
}  // namespace

int main(int argc, char** argv) {
  bool unregister = false, silent = false;
  std::string module;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (isSwitch(a, 'u'))
      unregister = true;
    else if (isSwitch(a, 's'))
      silent = true;
    else if (module.empty())
      module = a;
    else
      return usage();
  }
  if (module.empty()) return usage();
  try {
    if (unregister)
      pellary::platform::automation::unregisterServer(module);
    else
      pellary::platform::automation::registerServer(module);
  } catch (const pellary::AppError& e) {
    std::fprintf(stderr, "%s\n", e.description().c_str());
    return 3;
  }
  if (!silent)
    std::printf("%s in %s succeeded.\n", unregister ? "DllUnregisterServer" : "DllRegisterServer", module.c_str());
  return 0;
}
