#include "platform/help/help.h"

#include <mutex>
#include <string>

#include "platform/paths.h"
#include "platform/process/process.h"

namespace pellary::platform::help {

namespace fs = std::filesystem;

namespace {

std::mutex hookMutex;
HelpHook helpHook;

fs::path helpFolder() {
  fs::path program = paths::programFolder();
  fs::path found = paths::findCaseInsensitive(program, "Help");
  return found.empty() ? program / "Help" : found;
}

// The page of that name in the folder, in whatever letter case it exists; empty when absent.
fs::path existingPage(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return {};
  return paths::findCaseInsensitive(folder, name);
}

}  // namespace

fs::path pageFor(Command command, int32_t topic) {
  fs::path folder = helpFolder();
  std::string name;
  switch (command) {
    case Command::Search:
      name = "search.htm";
      break;
    case Command::Topic:
    case Command::Popup:
      name = "topic" + std::to_string(topic) + ".htm";
      break;
    case Command::Contents:
    case Command::Finder:
      break;
  }
  if (!name.empty()) {
    fs::path page = existingPage(folder, name);
    if (!page.empty()) return page;
  }
  fs::path index = existingPage(folder, "index.htm");
  return index.empty() ? folder / "index.htm" : index;
}

bool showHelp(const Request& request) {
  HelpHook hook;
  {
    std::lock_guard lock(hookMutex);
    hook = helpHook;
  }
  if (hook) {
    hook(request);
    return true;
  }
  return process::openWithDesktop(pageFor(request.command, request.topic).string()) > 32;
}

void setHelpHook(HelpHook hook) {
  std::lock_guard lock(hookMutex);
  helpHook = std::move(hook);
}

}  // namespace pellary::platform::help
