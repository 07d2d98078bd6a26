#include "standins/wince/cecomms.h"

#include <fstream>

#include "platform/paths.h"

namespace pellary::platform::wince {

namespace fs = std::filesystem;

namespace {

struct Link {
  bool connected = false;
  // The device's folders as read during this connection, and what it made
  // there: a copy costs the same however many files came before.
  paths::FolderNames names;
  // The desktop folders this connection's copies came from, resolved once.
  paths::ResolvedFolders desktop;
};
Link& link() {
  static Link state;
  return state;
}

fs::path folder() { return paths::standinsFolder() / "wince"; }
fs::path cardsFile() { return folder() / "storage_cards.txt"; }

bool usable() { return link().connected && fs::is_directory(deviceRoot()); }

bool safeRelative(const std::string& p) {
  std::string part;
  for (size_t i = 0; i <= p.size(); ++i) {
    if (i == p.size() || p[i] == '\\' || p[i] == '/') {
      if (part == "..") return false;
      part.clear();
    } else {
      part += p[i];
    }
  }
  return p.find(':') == std::string::npos;
}

}  // namespace

fs::path deviceRoot() { return folder() / "device"; }

void setDeviceAttached(bool attached) {
  std::error_code ec;
  if (attached)
    fs::create_directories(deviceRoot(), ec);
  else
    fs::remove_all(deviceRoot(), ec);
}

void setStorageCards(const std::vector<std::string>& names) {
  fs::create_directories(folder());
  std::ofstream out(cardsFile(), std::ios::binary | std::ios::trunc);
  for (const std::string& n : names) {
    out << n << "\n";
    std::error_code ec;
    fs::create_directories(deviceRoot() / n, ec);
  }
}

std::vector<std::string> storageCards() {
  std::vector<std::string> names;
  std::ifstream in(cardsFile(), std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) names.push_back(line);
  }
  return names;
}

fs::path onDevice(const std::string& devicePath) {
  if (!safeRelative(devicePath)) return {};
  if (link().connected) return link().names.resolve(deviceRoot(), devicePath);
  return paths::resolve(deviceRoot(), devicePath);
}

namespace {
// The file and the folders above it, up to the device's root, were made now.
void madeOnDevice(const fs::path& file) {
  const fs::path root = deviceRoot();
  for (fs::path p = file; !p.empty() && p != root && p != p.parent_path(); p = p.parent_path()) link().names.made(p);
}
}  // namespace

bool connected() { return link().connected; }
void resetConnection() { link() = Link{}; }

int32_t EstablishConnection() {
  link().names.clear();
  link().desktop.clear();
  link().connected = fs::is_directory(deviceRoot());
  return link().connected ? 0 : 1;
}

int32_t CloseConnection() {
  link().connected = false;
  link().names.clear();
  link().desktop.clear();
  return 0;
}

int32_t GetDirectoryInfo(std::string& buffer, int32_t what, const std::string& devicePath) {
  if (!usable() || what != 3 || devicePath != "\\") return 1;
  std::string names;
  for (const std::string& n : storageCards()) names += n + kCardSeparator;
  // A fixed-size buffer: what does not fit is cut off.
  buffer.replace(0, std::min(names.size(), buffer.size()), names.substr(0, buffer.size()));
  return 0;
}

int32_t DeleteDirectory(const std::string& deviceFolder) {
  if (!usable()) return 1;
  fs::path p = onDevice(deviceFolder);
  std::error_code ec;
  if (p.empty() || fs::equivalent(p, deviceRoot(), ec)) return 1;
  fs::remove_all(p, ec);
  link().names.clear();
  return ec ? 1 : 0;
}

int32_t CopyDirectoryFromDesktopToCE(const std::string& desktopFolder, const std::string& deviceFolder) {
  if (!usable()) return 1;
  fs::path from = paths::resolve(desktopFolder), to = onDevice(deviceFolder);
  if (to.empty() || !fs::is_directory(from)) return 1;
  std::error_code ec;
  fs::create_directories(to, ec);
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
  link().names.clear();
  return ec ? 1 : 0;
}

int16_t CopyFileFromDesktopToCE(const std::string& desktopFile, const std::string& deviceFile) {
  if (!usable()) return 1;
  fs::path from = link().desktop.resolve(desktopFile), to = onDevice(deviceFile);
  if (to.empty() || !fs::is_regular_file(from)) return 1;
  std::error_code ec;
  fs::create_directories(to.parent_path(), ec);
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  madeOnDevice(to);
  return ec ? 1 : 0;
}

int16_t CreateShortcut(const std::string& title, const std::string& target) {
  if (!usable() || title.empty() || title.find_first_of("\\/:") != std::string::npos || title == "..") return 0;
  fs::path desk = onDevice("\\Windows\\Desktop\\");
  std::error_code ec;
  fs::create_directories(desk, ec);
  std::ofstream out(desk / (title + ".lnk"), std::ios::binary | std::ios::trunc);
  out << target;
  out.close();
  madeOnDevice(desk / (title + ".lnk"));
  return out ? 1 : 0;
}

}  // namespace pellary::platform::wince
