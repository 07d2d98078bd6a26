#include "standins/handheld/handheld.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>

#include "platform/paths.h"
#include "platform/state_file.h"

namespace pellary::standins::handheld {

using namespace pellary::platform;

namespace {

char upper(char c) { return char(std::toupper(static_cast<unsigned char>(c))); }

fs::path volumesFile() { return deviceFolder() / "volumes.txt"; }

// True when no component of the path steps out of where it starts.
bool staysInside(std::string_view rest) {
  if (rest.find('\0') != std::string_view::npos) return false;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = rest.size();
    if (rest.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

fs::path deviceFolder() { return paths::standinsFolder() / "psion"; }

bool linked() {
  std::error_code ec;
  return fs::is_directory(deviceFolder(), ec);
}

std::vector<char> driveLetters() {
  std::vector<char> letters;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(deviceFolder(), ec)) {
    const std::string n = e.path().filename().string();
    std::error_code dirEc;
    if (n.size() == 1 && std::isalpha(static_cast<unsigned char>(n[0])) && e.is_directory(dirEc))
      letters.push_back(upper(n[0]));
  }
  std::sort(letters.begin(), letters.end());
  letters.erase(std::unique(letters.begin(), letters.end()), letters.end());
  return letters;
}

fs::path driveFolder(char letter) {
  if (!std::isalpha(static_cast<unsigned char>(letter))) return {};
  fs::path p = paths::findCaseInsensitive(deviceFolder(), std::string(1, letter));
  std::error_code ec;
  if (p.empty() || !fs::is_directory(p, ec)) return {};
  return p;
}

std::string volumeName(char letter) {
  std::ifstream in(volumesFile());
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 2 && line[1] == '=' && upper(line[0]) == upper(letter)) return line.substr(2);
  }
  return upper(letter) == 'C' ? std::string("Internal") : std::string("Disk ") + upper(letter);
}

fs::path addDrive(char letter, const std::string& volume) {
  const char u = upper(letter);
  fs::path p = deviceFolder() / std::string(1, u);
  fs::create_directories(p);
  std::string kept;
  {
    std::ifstream in(volumesFile());
    std::string line;
    while (std::getline(in, line))
      if (!(line.size() >= 2 && line[1] == '=' && upper(line[0]) == u)) kept += line + "\n";
  }
  kept += std::string(1, u) + "=" + volume + "\n";
  platform::standins::replaceFile(volumesFile(), kept, "drive names");
  return p;
}

namespace {
// The drive's folder and the rest of the path; false when the path names nothing on the device.
bool splitDevicePath(std::string_view path, fs::path& drive, std::string_view& rest) {
  if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) return false;
  rest = path.substr(2);
  if (!staysInside(rest)) return false;
  drive = driveFolder(path[0]);
  if (drive.empty()) drive = deviceFolder() / std::string(1, upper(path[0]));
  return true;
}
}  // namespace

fs::path devicePath(std::string_view path) {
  fs::path drive;
  std::string_view rest;
  return splitDevicePath(path, drive, rest) ? paths::resolve(drive, rest) : fs::path();
}

fs::path devicePath(std::string_view path, paths::FolderNames& names) {
  fs::path drive;
  std::string_view rest;
  return splitDevicePath(path, drive, rest) ? names.resolve(drive, rest) : fs::path();
}

fs::path existingDevicePath(std::string_view path) {
  if (path.size() < 2 || driveFolder(path[0]).empty()) return {};
  fs::path p = devicePath(path);
  std::error_code ec;
  if (p.empty() || !fs::exists(p, ec)) return {};
  return p;
}

}  // namespace pellary::standins::handheld
