// A calendar folder's items as the resources of a CalDAV collection: the
// account's configuration, its addresses, its multistatus answers.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "standins/outlook/item_files.h"

namespace pellary::standins::outlook {

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

}  // namespace pellary::standins::outlook
