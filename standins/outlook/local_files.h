// A calendar folder's items as the .ics files of a local directory, and the
// whole-file writes and reads in a directory that items and folder files share.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "standins/outlook/item_files.h"

namespace pellary::standins::outlook {

// The .ics files of a directory, watched for what other programs do there.
std::unique_ptr<ItemFiles> localItemFiles(const std::filesystem::path& dir);

// The name an item of this UID is kept under.
std::string fileNameFor(const std::string& uid);

// Whole-file writes and reads in a directory, for items and folder files.
namespace files {

// An open directory, closed with its owner.
class DirFd {
 public:
  DirFd() = default;
  explicit DirFd(const std::filesystem::path& dir);  // raises 75 when it cannot be opened
  DirFd(DirFd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  DirFd& operator=(DirFd&& o) noexcept {
    std::swap(fd_, o.fd_);
    return *this;
  }
  ~DirFd();
  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

[[noreturn]] void writeFailed(const std::filesystem::path& what, int e);
// The version of a file in dir; empty when there is none.
std::string statVersion(int dirfd, const std::string& name);
// The largest item file read; a larger one, or one that is no regular file
// (a FIFO, a device, a folder), is passed over with a note.
inline constexpr long long kMostItemBytes = 4ll << 20;
// The whole of a file in dir with its version; false when it cannot be read.
bool readAt(int dirfd, const std::string& name, std::string& text, std::string& version);
enum class Put { Create, Replace };
// dir/file is how a failure names it.
std::string putFile(int dirfd, const std::string& name, const std::string& text, Put mode, const std::string& expected,
                    bool durable, const std::filesystem::path& dir, const std::string& file);
// A name for a folder's directory or an item's file: no path separator, no
// control character, not hidden.
std::string safeName(const std::string& s);
bool isItemFile(const char* name);

}  // namespace files

}  // namespace pellary::standins::outlook
