#include "update/cue/cue_folder.h"

#include <string>
#include <system_error>
#include <thread>

#include "platform/errors.h"
#include "platform/paths.h"

namespace pellary::cue {

namespace {

fs::path folderOf(std::string_view name) { return paths::resolve(paths::programFolder(), name); }

fs::path findIn(const fs::path& folder, std::string_view name) {
  std::error_code ec;
  if (!paths::isPlainFileName(name)) return {};
  if (!fs::is_directory(folder, ec)) return {};
  fs::path found = paths::findCaseInsensitive(folder, name);
  if (found.empty() || !fs::is_regular_file(found, ec)) return {};
  return found;
}

}  // namespace

fs::path cueFolder() { return folderOf("CUE"); }
fs::path updatesFolder() { return folderOf("Updates"); }

fs::path findCueFile(std::string_view name) { return findIn(cueFolder(), name); }
fs::path findUpdatesFile(std::string_view name) { return findIn(updatesFolder(), name); }

fs::path cueFileForWriting(std::string_view name) {
  fs::path folder = cueFolder();
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (fs::path existing = findIn(folder, name); !existing.empty()) return existing;
  return paths::joinPlainName(folder, name);
}

FileStamp stampOf(const fs::path& path) {
  std::error_code ec;
  FileStamp s;
  s.size = fs::file_size(path, ec);
  if (ec) raise(err::PathFileAccess, "Path/File access error: " + path.string());
  s.modified = fs::last_write_time(path, ec);
  if (ec) raise(err::PathFileAccess, "Path/File access error: " + path.string());
  return s;
}

namespace {
[[noreturn]] void stillBeingWritten(const fs::path& path) {
  raise(err::PathFileAccess, path.filename().string() + " is still being written; it stays for the next run");
}
}  // namespace

FileStamp settledStamp(const fs::path& path, std::chrono::milliseconds settle) {
  FileStamp first = stampOf(path);
  if (settle.count() <= 0) return first;
  const auto age = fs::file_time_type::clock::now() - first.modified;
  if (age >= settle) return first;
  std::this_thread::sleep_for(settle - std::chrono::duration_cast<std::chrono::milliseconds>(age));
  if (stampOf(path) != first) stillBeingWritten(path);
  return first;
}

void checkUnchanged(const fs::path& path, const FileStamp& before) {
  std::error_code ec;
  if (!fs::exists(path, ec) || stampOf(path) != before) stillBeingWritten(path);
}

void copyWholeFile(const fs::path& from, const fs::path& to) {
  fs::path temp = to;
  temp += ".part";
  std::error_code ec;
  fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::rename(temp, to, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    raise(err::PathFileAccess, "Path/File access error: " + to.string());
  }
}

void deleteLoadedFile(const fs::path& path) {
  std::error_code ec;
  fs::remove(path, ec);
  if (ec || fs::exists(path, ec)) raise(err::PathFileAccess, "Path/File access error: cannot delete " + path.string());
}

}  // namespace pellary::cue
