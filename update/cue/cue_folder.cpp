#include "update/cue/cue_folder.h"

#include <fstream>
#include <string>
#include <system_error>

#include "platform/errors.h"
#include "platform/paths.h"

namespace pellary::cue {

namespace {

fs::path folderOf(std::string_view name) { return paths::resolve(paths::programFolder(), name); }

fs::path findIn(const fs::path& folder, std::string_view name) {
  std::error_code ec;
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
  return folder / std::string(name);
}

std::string readWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) raise(err::FileNotFound, "File not found: " + path.string());
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) raise(err::PathFileAccess, "Path/File access error: " + path.string());
  return bytes;
}

void writeWholeFile(const fs::path& path, std::string_view bytes) {
  fs::path temp = path;
  temp += ".part";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) raise(err::PathFileAccess, "Path/File access error: " + path.string());
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.flush();
    if (!out) raise(err::PathFileAccess, "Path/File access error: " + path.string());
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
  if (ec) {
    fs::remove(temp, ec);
    raise(err::PathFileAccess, "Path/File access error: " + path.string());
  }
}

void deleteLoadedFile(const fs::path& path) {
  std::error_code ec;
  fs::remove(path, ec);
  if (ec || fs::exists(path, ec)) raise(err::PathFileAccess, "Path/File access error: cannot delete " + path.string());
}

}  // namespace pellary::cue
