#include "reference/file_helpers.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

void writeNewFile(const fs::path& p, const std::string& bytes) {
  if (!fs::is_directory(p.parent_path())) raise(err::PathNotFound);
  int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0 && errno == ELOOP) {
    std::error_code ec;
    fs::remove(p, ec);
    fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  }
  if (fd < 0) raise(err::PathFileAccess);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  const bool closed = ::close(fd) == 0;
  if (done != bytes.size() || !closed) raise(err::PathFileAccess);
}

void flushFolder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) raise(err::PathFileAccess);
  const bool flushed = ::syncfs(fd) == 0;
  ::close(fd);
  if (!flushed) raise(err::PathFileAccess);
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
