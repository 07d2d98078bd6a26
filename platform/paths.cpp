#include "platform/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "platform/errors.h"

namespace pellary::paths {

namespace {

fs::path envPath(const char* name) {
  const char* v = std::getenv(name);
  return (v && *v) ? fs::path(v) : fs::path();
}

fs::path home() { return homeFolder(); }

fs::path xdgData() {
  fs::path p = envPath("XDG_DATA_HOME");
  return p.empty() ? home() / ".local" / "share" : p;
}

fs::path xdgConfig() {
  fs::path p = envPath("XDG_CONFIG_HOME");
  return p.empty() ? home() / ".config" : p;
}

std::vector<std::string> splitComponents(std::string_view path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

}  // namespace

fs::path homeFolder() {
  fs::path h = envPath("HOME");
  if (!h.empty()) return h;
  // Without HOME: the account's own folder, never a shared one another user
  // could have prepared.
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/')
    return fs::path(found->pw_dir);
  raise(err::PathFileAccess,
        "No home folder: HOME is not set and this user has no entry in the password database. Set HOME, or "
        "PELLARY_HOME and PELLARY_SETTINGS.");
}

bool isPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

fs::path joinPlainName(const fs::path& folder, std::string_view name) {
  if (!isPlainFileName(name)) raise(err::PathFileAccess, "Not a plain file name: " + clipped(name));
  return folder / std::string(name);
}

fs::path programFolder() {
  fs::path p = envPath("PELLARY_HOME");
  return p.empty() ? xdgData() / "pellary-almoner" / "program" : p;
}

fs::path settingsFolder() {
  fs::path p = envPath("PELLARY_SETTINGS");
  return p.empty() ? xdgConfig() / "pellary-almoner" : p;
}

const fs::path& standinsFolder() {
  // Asked for on every call into a stand-in: worked out again only when a
  // variable it comes from changed (an unset one is kept as a lone NUL).
  // PELLARY_STANDINS, when set, is the only one that counts.
  static constexpr const char* kFrom[] = {"PELLARY_STANDINS", "XDG_DATA_HOME", "HOME"};
  static const std::string kUnset(1, '\0');
  thread_local std::string from[std::size(kFrom)];
  thread_local fs::path folder;
  bool changed = folder.empty();
  for (size_t i = 0; i < std::size(kFrom); ++i) {
    const char* v = std::getenv(kFrom[i]);
    if (v ? from[i] != v : from[i] != kUnset) {
      from[i] = v ? std::string(v) : kUnset;
      changed = true;
    }
    if (i == 0 && v && *v) break;
  }
  if (changed) {
    fs::path p = envPath("PELLARY_STANDINS");
    folder = p.empty() ? xdgData() / "pellary-almoner" / "standins" : p;
  }
  return folder;
}

std::string appPath() {
  std::string s = programFolder().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::string toLowerAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return r;
}

std::string toUpperAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return r;
}

fs::path findCaseInsensitive(const fs::path& folder, std::string_view name) {
  std::error_code ec;
  fs::path exact = folder / std::string(name);
  if (fs::exists(fs::symlink_status(exact, ec))) return exact;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (equalsIgnoreCase(entry, name)) return it->path();
  }
  return {};
}

namespace {

// A folder named with or without its trailing separator is one folder.
std::string folderKey(const fs::path& folder) {
  return folder.has_filename() ? folder.string() : folder.parent_path().string();
}

// The walk of resolve(): find(folder, part) gives the existing entry or an empty path.
template <class Find>
fs::path resolveWith(const fs::path& base, std::string_view relative, Find&& find) {
  fs::path cur = base;
  bool existing = true;
  for (const std::string& part : splitComponents(relative)) {
    if (part == ".") continue;
    if (existing) {
      fs::path found = find(cur, part);
      if (!found.empty()) {
        cur = std::move(found);
        continue;
      }
      existing = false;
    }
    cur /= part;
  }
  // A trailing separator is kept: "folder\" names the folder, "name\" with an
  // empty file name does not become the folder's own path silently.
  if (!relative.empty() && (relative.back() == '\\' || relative.back() == '/')) cur /= "";
  return cur;
}

}  // namespace

fs::path resolve(const fs::path& base, std::string_view relative) {
  return resolveWith(base, relative,
                     [](const fs::path& folder, std::string_view name) { return findCaseInsensitive(folder, name); });
}

namespace {

long long nanoseconds(const timespec& t) { return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec; }

// Folder times are kept in coarse steps (a clock tick, whole seconds on some
// file systems): a change this soon after the last may leave them as they are.
constexpr long long kTimeStep = 2000000000LL;

}  // namespace

FolderNames::Stamp FolderNames::stampOf(const fs::path& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return {};  // gone: differs from any folder read
  return {static_cast<unsigned long long>(st.st_ino), nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

void FolderNames::read(const fs::path& folder, Listing& listing) {
  listing.names.clear();
  if (seeOthersChanges_) {
    // Taken before the listing, so that a change while it is read shows next time.
    listing.stamp = stampOf(folder);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    listing.unsure = nanoseconds(now) - std::max(listing.stamp.modified, listing.stamp.changed) < kTimeStep;
  }
  std::error_code ec;
  // The first entry of a letter-case spelling wins, as a listing finds it.
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    listing.names.try_emplace(toLowerAscii(entry), std::move(entry));
  }
}

fs::path FolderNames::find(const fs::path& folder, std::string_view name) {
  std::error_code ec;
  fs::path exact = folder / std::string(name);
  if (fs::exists(fs::symlink_status(exact, ec))) return exact;
  auto [at, fresh] = folders_.try_emplace(folderKey(folder));
  Listing& listing = at->second;
  if (fresh || (seeOthersChanges_ && (listing.unsure || !(stampOf(folder) == listing.stamp)))) read(folder, listing);
  const auto found = listing.names.find(toLowerAscii(name));
  return found == listing.names.end() ? fs::path() : folder / found->second;
}

fs::path FolderNames::resolve(const fs::path& base, std::string_view relative) {
  return resolveWith(base, relative,
                     [this](const fs::path& folder, std::string_view name) { return find(folder, name); });
}

void FolderNames::made(const fs::path& path) {
  fs::path p = path;
  if (!p.has_filename()) p = p.parent_path();
  const auto at = folders_.find(folderKey(p.parent_path()));
  if (at == folders_.end()) return;
  std::string name = p.filename().string();
  Listing& listing = at->second;
  listing.names.try_emplace(toLowerAscii(name), std::move(name));
  if (seeOthersChanges_) {
    // The folder's new times are the run's own change.
    listing.stamp = stampOf(p.parent_path());
    listing.unsure = false;
  }
}

void FolderNames::clear() { folders_.clear(); }

fs::path resolve(std::string_view windowsPath) {
  bool absolute = !windowsPath.empty() && (windowsPath[0] == '/' || windowsPath[0] == '\\');
  return resolve(absolute ? fs::path("/") : fs::current_path(), windowsPath);
}

fs::path ResolvedFolders::resolve(std::string_view windowsPath) {
  const size_t cut = windowsPath.find_last_of("\\/");
  const std::string_view name = cut == std::string_view::npos ? std::string_view() : windowsPath.substr(cut + 1);
  const bool kept = cut != std::string_view::npos && (windowsPath[0] == '/' || windowsPath[0] == '\\') &&
                    isPlainFileName(name);
  const std::string folder = kept ? std::string(windowsPath.substr(0, cut)) : std::string();
  if (kept) {
    if (const auto at = folders_.find(folder); at != folders_.end()) {
      std::error_code ec;
      fs::path exact = at->second / std::string(name);
      if (fs::exists(fs::symlink_status(exact, ec))) return exact;
    }
  }
  fs::path whole = paths::resolve(windowsPath);
  if (kept) {
    // A run names a few folders; a bound keeps a long one from growing this.
    if (folders_.size() >= 64) folders_.clear();
    folders_[folder] = whole.parent_path();
  }
  return whole;
}

fs::path inProgramFolder(std::string_view relative) { return resolve(programFolder(), relative); }

std::string shortPathName(std::string_view windowsPath) {
  if (windowsPath.empty()) return {};
  std::error_code ec;
  return fs::exists(resolve(windowsPath), ec) ? std::string(windowsPath) : std::string();
}

namespace {

std::string_view withoutTrailingSlashes(std::string_view folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
  return folder;
}

std::vector<std::string_view> splitList(std::string_view list) {
  std::vector<std::string_view> entries;
  for (size_t start = 0;;) {
    size_t end = list.find(':', start);
    entries.push_back(list.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return entries;
    start = end + 1;
  }
}

}  // namespace

bool appendToSearchPath(const std::string& folder) {
  if (folder.empty()) return true;
  const char* old = std::getenv("PATH");
  const std::string_view current = old ? old : "";
  if (!current.empty())
    for (std::string_view entry : splitList(current))
      if (withoutTrailingSlashes(entry) == withoutTrailingSlashes(folder)) return true;
  const std::string value = current.empty() ? folder : std::string(current) + ":" + folder;
  return ::setenv("PATH", value.c_str(), 1) == 0;
}

std::string systemProgramFolder() {
  const size_t n = ::confstr(_CS_PATH, nullptr, 0);
  std::string list(n, '\0');
  if (n > 0) ::confstr(_CS_PATH, list.data(), n);
  if (!list.empty() && list.back() == '\0') list.pop_back();
  std::error_code ec;
  for (std::string_view entry : splitList(list))
    if (!entry.empty() && fs::is_directory(fs::path(entry), ec)) return std::string(entry);
  return {};
}

}  // namespace pellary::paths
