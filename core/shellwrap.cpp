#include "core/shellwrap.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "platform/errors.h"
#include "platform/help/help.h"
#include "platform/ini/ini_file.h"
#include "platform/paths.h"
#include "platform/process/process.h"

namespace pellary {

namespace fs = std::filesystem;
namespace process = platform::process;
namespace help = platform::help;

namespace {

bool isExecutableFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0;
}

void askHelp(help::Command command, int32_t topic = 0, intptr_t window = 0) {
  help::showHelp(help::Request{command, topic, window});
}

}  // namespace

// --- Bshl_ShellModule ---------------------------------------------------------

int32_t Bshl_ShellExecute(intptr_t /*window*/, const std::string& file, const std::string& operation,
                          const std::string& parameters, int32_t /*show*/) {
  return trapped("Bshl_ShellExecute", [&]() -> int32_t {
    if (!operation.empty() && !paths::equalsIgnoreCase(operation, "open")) return process::kOpenNoAssociation;
    std::string folder = paths::appPath();
    if (!parameters.empty() && !process::looksLikeUrl(file)) {
      bool relative = !file.empty() && file[0] != '/' && file[0] != '\\';
      fs::path program = relative ? paths::resolve(fs::path(folder), file) : paths::resolve(file);
      if (isExecutableFile(program)) {
        std::error_code ec;
        std::string wd = fs::is_directory(folder, ec) ? folder : std::string();
        int e = process::startDetached(program.string(), splitWindowsArguments(parameters), wd);
        return e == 0 ? process::kOpenOk : process::kOpenNoAssociation;
      }
    }
    return process::openWithDesktop(file, folder);
  });
}

uint32_t Bshl_ShellAndWait(const std::string& program, const std::vector<std::string>& args,
                           std::optional<int32_t> style, std::optional<int32_t> timeoutMs) {
  int32_t windowStyle = style.value_or(process::kMinimizedNoFocus);
  if (windowStyle < 0 || windowStyle > 6) windowStyle = process::kMinimizedNoFocus;
  std::string path = program.find('\\') != std::string::npos ? paths::resolve(program).string() : program;
  return process::runAndWait(path, args, windowStyle, timeoutMs);
}

std::string Bshl_GetSystemDirectory() {
  return trapped("Bshl_GetSystemDirectory", [] {
    std::string folder = paths::systemProgramFolder();
    if (folder.empty()) raise(err::PathNotFound);
    return folder;
  });
}

// --- Bin_INIFileTool ------------------------------------------------------------

IniFileToolState& Bin() {
  static IniFileToolState state;
  return state;
}

void resetIniFileToolState() { Bin() = IniFileToolState{}; }

std::string Bin_GetFromINI(const std::string& section, const std::string& key) {
  return trapped("Bin_GetFromINI",
                 [&] { return platform::ini::getPrivateProfileString(section, key, "", 255, Bin().Bin_INIFileName); });
}

std::string Bin_ReturnShortPathName(const std::string& path) {
  return trapped("Bin_ReturnShortPathName", [&] { return paths::shortPathName(path); });
}

std::string Bin_GetShortPath(const std::string& path) {
  return trapped("Bin_GetShortPath", [&] { return paths::shortPathName(path); });
}

// --- Bhp_HelpAccess -------------------------------------------------------------

void Bhp_HelpIndex() {
  trapped("Bhp_HelpIndex", [] { askHelp(help::Command::Contents); });
}

void Bhp_DisplayContents() {
  trapped("Bhp_DisplayContents", [] { askHelp(help::Command::Finder); });
}

void Bhp_HelpSearch() {
  trapped("Bhp_HelpSearch", [] { askHelp(help::Command::Search); });
}

void Bhp_HelpME(int32_t topic) {
  trapped("Bhp_HelpME", [&] { askHelp(help::Command::Topic, topic); });
}

void Bhp_PopUpHelpME(intptr_t window, int32_t topic) {
  trapped("Bhp_PopUpHelpME", [&] { askHelp(help::Command::Popup, topic, window); });
}

std::vector<std::string> splitWindowsArguments(const std::string& line) {
  std::vector<std::string> args;
  size_t i = 0, n = line.size();
  while (true) {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      if (line[i] == '\\') {
        size_t slashes = 0;
        while (i < n && line[i] == '\\') ++slashes, ++i;
        if (i < n && line[i] == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(slashes, '\\');
        }
      } else if (line[i] == '"') {
        // "" inside quotes is a literal quote.
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += line[i++];
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace pellary
