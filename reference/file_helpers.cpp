#include "reference/file_helpers.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/errors.h"
#include "platform/files/whole_file.h"

namespace pellary {

namespace fs = std::filesystem;

namespace {
bool hiddenName(const std::string& name) { return !name.empty() && name[0] == '.'; }
}  // namespace

std::string readWholeFile(const fs::path& p) {
  std::optional<std::string> text = platform::files::readWholeFile(p);
  if (!text) raise(err::FileNotFound);
  return std::move(*text);
}

void writeWholeFile(const fs::path& p, const std::string& bytes) {
  if (!fs::is_directory(p.parent_path())) raise(err::PathNotFound);
  try {
    platform::files::replaceWholeFile(p, bytes);
  } catch (const platform::files::ReplaceFailed&) {
    raise(err::PathFileAccess);
  }
}

void copyFileOver(const fs::path& from, const fs::path& to) {
  if (!fs::is_regular_file(from)) raise(err::FileNotFound);
  if (!fs::is_directory(to.parent_path())) raise(err::PathNotFound);
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) raise(err::PathFileAccess);
}

std::vector<std::string> listNormalFiles(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return names;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && !hiddenName(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace pellary
