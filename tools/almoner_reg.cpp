// almoner-reg: reads and changes the settings tree from the command line.
//
//   almoner-reg query KEY [NAME]    print a value (or a key's values and subkeys)
//   almoner-reg set KEY NAME VALUE
//   almoner-reg delete KEY NAME
//
// KEY starts with its root: HKEY_CURRENT_USER (HKCU), HKEY_LOCAL_MACHINE (HKLM)
// or HKEY_CLASSES_ROOT (HKCR). NAME "*" is the key's default value.
// Exit status: 0 done, 1 no such value or key, 2 usage or settings error.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/settings/settings_tree.h"

namespace settings = pellary::platform::settings;

namespace {

int usage() {
  std::fputs(
      "usage: almoner-reg query KEY [NAME]\n"
      "       almoner-reg set KEY NAME VALUE\n"
      "       almoner-reg delete KEY NAME\n"
      "KEY is ROOT\\path (ROOT: HKEY_CURRENT_USER or HKCU, HKEY_LOCAL_MACHINE or HKLM,\n"
      "HKEY_CLASSES_ROOT or HKCR); NAME \"*\" is the key's default value.\n",
      stderr);
  return 2;
}

std::string slot(const std::string& name) { return name == "*" ? std::string(settings::kDefaultValue) : name; }

void print(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

int run(const std::vector<std::string>& args) {
  if (args.size() < 2) return usage();
  const std::string& command = args[0];
  auto key = settings::splitRootedKey(args[1]);
  if (!key) {
    std::fprintf(stderr, "almoner-reg: unknown root in \"%s\"\n", args[1].c_str());
    return 2;
  }
  auto [root, path] = *key;

  if (command == "query" && args.size() == 3) {
    auto value = settings::readValue(root, path, slot(args[2]));
    if (!value) return 1;
    print(*value);
    print("\n");
    return 0;
  }
  if (command == "query" && args.size() == 2) {
    if (!settings::keyExists(root, path)) return 1;
    for (const settings::Value& v : settings::listValues(root, path)) {
      print(v.name.empty() ? std::string_view("*") : std::string_view(v.name));
      print("=");
      print(v.data);
      print("\n");
    }
    for (const std::string& sub : settings::listSubkeys(root, path)) {
      print("[");
      print(sub);
      print("]\n");
    }
    return 0;
  }
  if (command == "set" && args.size() == 4) {
    settings::writeValue(root, path, slot(args[2]), args[3]);
    return 0;
  }
  if (command == "delete" && args.size() == 3) {
    return settings::deleteValue(root, path, slot(args[2])) ? 0 : 1;
  }
  return usage();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    int code = run(args);
    std::fflush(stdout);
    return code;
  } catch (const pellary::AppError& e) {
    std::fprintf(stderr, "almoner-reg: %s\n", e.description().c_str());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "almoner-reg: %s\n", e.what());
    return 2;
  }
}
