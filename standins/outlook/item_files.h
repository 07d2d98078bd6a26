// Where the items of one calendar folder are kept, one named text per item:
// the files of a local directory, or the resources of a CalDAV collection.
// The store's index sits on top and asks only for what changed.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "standins/outlook/outlook_store.h"

namespace pellary::platform::outlook {

struct StoredItem {
  std::string text;
  std::string version;  // changes with every write by anyone
};

class ItemFiles {
 public:
  virtual ~ItemFiles() = default;
  // What changed since the last call, name and new version (empty when gone).
  // The first call, and any call that lost track, lists everything and sets
  // complete: what it does not list is gone.
  virtual std::vector<std::pair<std::string, std::string>> changes(bool& complete) = 0;
  // The items of these names as they stand; a name gone is left out.
  virtual std::map<std::string, StoredItem> read(const std::vector<std::string>& names) = 0;
  // A new item; empty when the name is taken.
  virtual std::string create(const std::string& name, const std::string& text) = 0;
  // Replaces the item if it is still at version expected; empty when it is not.
  virtual std::string replace(const std::string& name, const std::string& text, const std::string& expected) = 0;
  // Removes the item if it is still at version expected (or gone already);
  // false when it changed since.
  virtual bool remove(const std::string& name, const std::string& expected) = 0;
  // Where a user finds the item.
  virtual std::string where(const std::string& name) const = 0;
  // Whether a save since the last flush still waits for one of the file system.
  virtual bool local() const = 0;
};

// The .ics files of a directory, watched for what other programs do there.
std::unique_ptr<ItemFiles> localItemFiles(const std::filesystem::path& dir);

// The name an item of this UID is kept under.
std::string fileNameFor(const std::string& uid);

// What a local folder's items held when it was last flushed: file name and
// item, with the file's version then. Empty when there is no such record or
// it is damaged; a record is only a hint, checked against each file's version.
std::vector<std::pair<std::string, Appointment>> readItemCache(const std::filesystem::path& dir);
// Raises when it cannot be written.
void writeItemCache(const std::filesystem::path& dir,
                    const std::vector<std::pair<std::string, const Appointment*>>& items);

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
std::string putFile(int dirfd, const std::string& name, const std::string& text, Put mode,
                    const std::string& expected, bool durable, const std::filesystem::path& dir,
                    const std::string& file);
// A name for a folder's directory or an item's file: no path separator, no
// control character, not hidden.
std::string safeName(const std::string& s);
bool isItemFile(const char* name);

}  // namespace files

// --- a CalDAV account ---------------------------------------------------------

// The stand-in's CalDAV configuration, from "caldav.conf" in its folder:
//   url = https://dav.example.org/calendars/me/   (the calendar home)
//   user = me
//   password = ...        (else from ~/.netrc)
//   timeout = 30          (seconds any one request may take)
struct DavConfig {
  std::string url, user, password;
  long timeoutSeconds = 30;
};
// The configuration in folder; empty when there is none. A file that names
// no URL, or plain http to anything but this machine, raises.
std::optional<DavConfig> readDavConfig(const std::filesystem::path& folder);

// An address as the library reads it, however it is spelt: scheme and host
// in lower case, the port always given (the scheme's own when none is
// written), the path ("/" when none).
struct UrlParts {
  bool valid = false;
  std::string scheme, host, port, path;
  std::string origin() const;  // scheme://host:port
  bool sameOrigin(const UrlParts& other) const;
};
UrlParts urlParts(const std::string& url);
// "This machine": localhost, 127.0.0.0/8 or ::1, decided on the parsed host.
bool isLoopbackHost(const std::string& host);

// The largest answer a CalDAV request takes in.
inline constexpr long long kMostDavAnswerBytes = 64ll << 20;

// One WebDAV multistatus answer: its responses, each href a path on the
// origin of url (an href on another origin, or no path, is passed over with a
// note), and the sync token. Raises when the body is no multistatus.
struct DavResponse {
  std::string href;
  int status = 200;  // of the resource; 404 when it is gone
  std::string etag, displayName, calendarData;
  bool calendar = false;
};
struct Multistatus {
  std::vector<DavResponse> responses;
  std::string syncToken;
};
Multistatus parseMultistatus(const std::string& body, const std::string& url);

struct DavCalendar {
  std::string href;  // the collection's path on the server, with its closing slash
  std::string name;  // its display name
};

class DavAccount {
 public:
  explicit DavAccount(DavConfig config);
  ~DavAccount();
  DavAccount(const DavAccount&) = delete;
  DavAccount& operator=(const DavAccount&) = delete;
  // The calendar collections of the home.
  std::vector<DavCalendar> calendars();
  // Makes a calendar collection under the home; its href.
  std::string makeCalendar(const std::string& name);
  std::unique_ptr<ItemFiles> itemFiles(const std::string& href);

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

}  // namespace pellary::platform::outlook
