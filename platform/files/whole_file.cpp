#include "platform/files/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace pellary::platform::files {

namespace fs = std::filesystem;

ReplaceFailed::ReplaceFailed(std::string step, int error)
    : std::runtime_error(step + ": " + std::strerror(error)), step_(std::move(step)), error_(error) {}

bool writeAll(int fd, std::string_view text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += size_t(n);
  }
  return true;
}

void replaceWholeFile(const fs::path& file, std::string_view text, const ReplaceOptions& options) {
  const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  const std::string prefix = options.tempPrefix.empty() ? "." + file.filename().string() + "." : options.tempPrefix;
  // A name no other writer picks: this process, a counter and a retry on a clash.
  static std::atomic<uint64_t> counter{0};
  fs::path temp;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp = folder / (prefix + std::to_string(::getpid()) + "." + std::to_string(++counter));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, options.ownerOnly ? 0600 : 0666);
    if (fd < 0 && (errno != EEXIST || attempt == 100)) throw ReplaceFailed("creating the new file", errno);
  }
  auto fail = [&](const char* step, int error) {
    ::unlink(temp.c_str());
    throw ReplaceFailed(step, error);
  };
  if (!writeAll(fd, text)) {
    const int e = errno;
    ::close(fd);
    fail("writing the new file", e);
  }
  if (::fsync(fd) != 0) {
    const int e = errno;
    ::close(fd);
    fail("flushing the new file", e);
  }
  if (::close(fd) != 0) fail("closing the new file", errno);
  if (options.beforeRename) {
    try {
      options.beforeRename(temp);
    } catch (...) {
      ::unlink(temp.c_str());
      throw;
    }
  }
  if (::rename(temp.c_str(), file.c_str()) != 0) fail("replacing the old file", errno);
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

std::optional<std::string> readWholeFile(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string text;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    text.append(buf, size_t(n));
  }
  ::close(fd);
  return text;
}

}  // namespace pellary::platform::files
