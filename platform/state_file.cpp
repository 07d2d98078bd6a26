#include "platform/state_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/errors.h"
#include "platform/files/whole_file.h"
#include "platform/paths.h"

namespace pellary::platform::standins {

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
  }
  return out;
}

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> parts(1);
  for (char c : line) {
    if (c == '\t')
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

namespace {
std::function<void(const std::filesystem::path&)>& watcher() {
  static std::function<void(const std::filesystem::path&)> w;
  return w;
}
}  // namespace

void watchNextChange(std::function<void(const std::filesystem::path& file)> watch) { watcher() = std::move(watch); }
void stopWatching() { watcher() = nullptr; }

void aboutToChange(const std::filesystem::path& file) {
  if (!watcher()) return;
  auto w = std::move(watcher());
  watcher() = nullptr;
  w(file);
}

void aboutToChange(const std::filesystem::path& folder, std::string_view name) {
  if (watcher()) aboutToChange(folder / name);
}

void replaceFile(const std::filesystem::path& file, const std::string& content, const std::string& what) {
  aboutToChange(file);
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  try {
    files::replaceWholeFile(file, content);
  } catch (const files::ReplaceFailed&) {
    raise(57, "Cannot write " + what + " " + file.string());
  }
}

void readStateFile(const std::filesystem::path& file, std::string_view header, const std::string& what,
                   const std::function<bool(const std::vector<std::string>& fields)>& take) {
  constexpr long kBadFileFormat = 321;
  std::ifstream in(file, std::ios::binary);
  if (!in) raise(err::FileNotFound, what + " not found: " + file.string());
  std::string line;
  if (!std::getline(in, line) || line != header) {
    const bool vowel = !what.empty() && std::string_view("AEIOU").find(what[0]) != std::string_view::npos;
    raise(kBadFileFormat, std::string(vowel ? "Not an " : "Not a ") + what);
  }
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    if (!take(split(line))) raise(kBadFileFormat, "Damaged " + what + ": " + file.string());
  }
}

bool AppendFile::open(const std::filesystem::path& file, const std::string& what) {
  close();
  fd_ = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  file_ = file;
  what_ = what;
  return fd_ >= 0;
}

void AppendFile::append(const std::string& text) {
  if (fd_ < 0) raise(57, "Cannot write " + what_ + " " + file_.string());
  aboutToChange(file_);
  const off_t before = ::lseek(fd_, 0, SEEK_END);
  if (!files::writeAll(fd_, text)) {
    const int e = errno;
    // Half a record would leave the file unreadable: back to where it ended.
    if (before >= 0) {
      while (::ftruncate(fd_, before) != 0 && errno == EINTR) {
      }
    }
    raise(57, "Cannot write " + what_ + " " + file_.string() + ": " + std::strerror(e));
  }
}

void AppendFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void appendToFile(const std::filesystem::path& file, const std::string& text, const std::string& what) {
  AppendFile f;
  if (!f.open(file, what)) raise(57, "Cannot write " + what + " " + file.string());
  f.append(text);
}

namespace {
std::vector<std::function<void()>>& flushes() {
  static std::vector<std::function<void()>> f;
  return f;
}
}  // namespace

void onSyncSaved(std::function<void()> flush) { flushes().push_back(std::move(flush)); }

void syncSaved() {
  for (const auto& f : flushes()) f();
}

std::filesystem::path drivePath(const std::string& standin, std::string_view path) {
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    const std::string drive(1, char(std::toupper(static_cast<unsigned char>(path[0]))));
    return paths::resolve(paths::standinsFolder() / standin / drive, path.substr(2));
  }
  return paths::resolve(path);
}

}  // namespace pellary::platform::standins
