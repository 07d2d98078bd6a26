// The Outlook stand-in's folders on a CalDAV server: calendars are the
// collections of the user's calendar home, items their resources, every
// write conditional on the ETag the stand-in last saw.
#include "standins/outlook/caldav_files.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <netinet/in.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <tuple>

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/text/markup.h"
#include "platform/text/trim.h"

namespace pellary::standins::outlook {

using namespace pellary::platform;

namespace fs = std::filesystem;

namespace {

// MAPI_E_NETWORK_ERROR and E_ACCESSDENIED, as Outlook raises them for a
// server it cannot reach and one that refuses the user.
constexpr long kNetworkError = -2147221227;
constexpr long kNoAccess = -2147024891;
constexpr const char* kDav = "DAV:";
constexpr const char* kCalDav = "urn:ietf:params:xml:ns:caldav";

std::string trim(std::string_view s) { return std::string(text::trimWhitespace(s)); }

}  // namespace

UrlParts urlParts(const std::string& url) {
  UrlParts p;
  CURLU* u = curl_url();
  // The spelling does not matter: host and port as the library reads them,
  // the scheme's own port when none is written.
  if (curl_url_set(u, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK) {
    p.valid = true;
    for (auto [part, out, flags] : {std::tuple{CURLUPART_SCHEME, &p.scheme, 0u},
                                    {CURLUPART_HOST, &p.host, 0u},
                                    {CURLUPART_PORT, &p.port, unsigned(CURLU_DEFAULT_PORT)},
                                    {CURLUPART_PATH, &p.path, 0u}}) {
      char* v = nullptr;
      if (curl_url_get(u, part, &v, flags) == CURLUE_OK && v) *out = v;
      curl_free(v);
    }
    for (char& c : p.scheme) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : p.host) c = char(std::tolower(static_cast<unsigned char>(c)));
  }
  curl_url_cleanup(u);
  if (p.path.empty()) p.path = "/";
  return p;
}

std::string UrlParts::origin() const { return scheme + "://" + host + ":" + port; }

bool UrlParts::sameOrigin(const UrlParts& other) const {
  return valid && other.valid && scheme == other.scheme && host == other.host && port == other.port;
}

bool isLoopbackHost(const std::string& hostText) {
  std::string host = hostText;
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (paths::equalsIgnoreCase(host, "localhost")) return true;
  in_addr v4{};
  if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
  return false;
}

namespace {

// --- the multistatus answer -------------------------------------------------------

bool is(const xmlNode* n, const char* ns, const char* name) {
  return n && n->type == XML_ELEMENT_NODE && n->ns &&
         std::strcmp(reinterpret_cast<const char*>(n->ns->href), ns) == 0 &&
         std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0;
}

std::string textOf(const xmlNode* n) {
  xmlChar* c = xmlNodeGetContent(n);
  std::string s = c ? reinterpret_cast<const char*>(c) : "";
  xmlFree(c);
  return s;
}

int statusOf(const std::string& line) {  // "HTTP/1.1 404 Not Found"
  size_t sp = line.find(' ');
  return sp == std::string::npos ? 0 : std::atoi(line.c_str() + sp + 1);
}

}  // namespace

Multistatus parseMultistatus(const std::string& body, const std::string& url) {
  auto bad = [&] { raise(kNetworkError, "The calendar server's answer from " + url + " is no WebDAV multistatus"); };
  xmlDoc* doc = xmlReadMemory(body.data(), int(body.size()), "answer.xml", nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!doc) bad();
  std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> own(doc, xmlFreeDoc);
  const xmlNode* root = xmlDocGetRootElement(doc);
  if (!is(root, kDav, "multistatus")) bad();
  Multistatus out;
  for (const xmlNode* r = root->children; r; r = r->next) {
    if (is(r, kDav, "sync-token")) out.syncToken = trim(textOf(r));
    if (!is(r, kDav, "response")) continue;
    DavResponse d;
    bool okProps = false;
    for (const xmlNode* c = r->children; c; c = c->next) {
      if (is(c, kDav, "href")) d.href = trim(textOf(c));
      if (is(c, kDav, "status")) d.status = statusOf(trim(textOf(c)));
      if (!is(c, kDav, "propstat")) continue;
      int status = 0;
      for (const xmlNode* s = c->children; s; s = s->next)
        if (is(s, kDav, "status")) status = statusOf(trim(textOf(s)));
      if (status != 200) continue;
      okProps = true;
      for (const xmlNode* s = c->children; s; s = s->next) {
        if (!is(s, kDav, "prop")) continue;
        for (const xmlNode* p = s->children; p; p = p->next) {
          if (is(p, kDav, "getetag")) d.etag = trim(textOf(p));
          if (is(p, kDav, "displayname")) d.displayName = trim(textOf(p));
          if (is(p, kCalDav, "calendar-data")) d.calendarData = textOf(p);
          if (is(p, kDav, "resourcetype"))
            for (const xmlNode* t = p->children; t; t = t->next) d.calendar = d.calendar || is(t, kCalDav, "calendar");
        }
      }
    }
    if (d.href.empty()) bad();
    (void)okProps;
    // Only the account's own origin: an href elsewhere is never fetched,
    // so credentials go nowhere else.
    if (d.href.find("://") != std::string::npos) {
      UrlParts at = urlParts(d.href), from = urlParts(url);
      if (!at.sameOrigin(from)) {
        logNote("CalDAV", "passed over an address on another server: " + clipped(d.href, 120));
        continue;
      }
      d.href = at.path;
    } else if (d.href[0] != '/') {
      logNote("CalDAV", "passed over an address that is no path: " + clipped(d.href, 120));
      continue;
    }
    out.responses.push_back(std::move(d));
  }
  return out;
}

namespace {

// A body collected under the cap; false stops the transfer.
struct Collected {
  std::string* body;
  bool tooLarge = false;
};
size_t collect(char* data, size_t size, size_t n, void* to) {
  auto* c = static_cast<Collected*>(to);
  if (c->body->size() + size * n > size_t(kMostDavAnswerBytes)) {
    c->tooLarge = true;
    return 0;
  }
  c->body->append(data, size * n);
  return size * n;
}

size_t header(char* data, size_t size, size_t n, void* to) {
  std::string line(data, size * n);
  if (line.size() > 5 && strncasecmp(line.c_str(), "ETag:", 5) == 0)
    *static_cast<std::string*>(to) = trim(line.substr(5));
  return size * n;
}

std::string randomHex(int digits) {
  static std::mt19937_64 gen{std::random_device{}()};
  static const char* hex = "0123456789abcdef";
  std::string out;
  uint64_t v = gen();
  for (int i = 0; i < digits; ++i, v >>= 4) out += hex[v & 15];
  return out;
}

}  // namespace

std::optional<DavConfig> readDavConfig(const fs::path& folder) {
  const fs::path file = folder / "caldav.conf";
  std::error_code ec;
  if (!fs::exists(file, ec)) return std::nullopt;
  std::ifstream in(file);
  DavConfig c;
  for (std::string line; std::getline(in, line);) {
    line = trim(line);
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
    if (key == "url") c.url = value;
    if (key == "user") c.user = value;
    if (key == "password") c.password = value;
    if (key == "timeout") c.timeoutSeconds = std::max(1L, std::atol(value.c_str()));
  }
  if (c.url.empty()) raise(err::InvalidCall, file.string() + " names no calendar server (url = ...)");
  if (c.url.back() != '/') c.url += '/';
  UrlParts p = urlParts(c.url);
  if (!p.valid) raise(err::InvalidCall, "The calendar server " + clipped(c.url, 120) + " is no address");
  if (p.scheme != "https" && !(p.scheme == "http" && isLoopbackHost(p.host)))
    raise(err::InvalidCall,
          "The calendar server " + c.url + " must be reached by https (plain http only on this machine)");
  return c;
}

// --- the account ----------------------------------------------------------------

struct DavAccount::Impl {
  DavConfig config;
  std::string origin;  // scheme://host[:port], for the paths the server answers with
  std::string home;    // the path of the calendar home
  CURL* curl = nullptr;

  struct Response {
    long status = 0;
    std::string body, etag;
  };

  explicit Impl(DavConfig c) : config(std::move(c)) {
    static std::once_flag init;
    std::call_once(init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    UrlParts p = urlParts(config.url);
    origin = p.origin();
    home = p.path;
    if (home.back() != '/') home += '/';
    curl = curl_easy_init();
  }
  ~Impl() {
    if (curl) curl_easy_cleanup(curl);
  }

  // Every href reaching here is a path on the account's origin.
  std::string urlOf(const std::string& href) const { return origin + href; }

  // One request on the kept connection. Refusals and failures of the server
  // are raised here with what the user can do; other answers go back.
  Response request(const std::string& method, const std::string& href, const std::string& body,
                   const std::vector<std::string>& headers) {
    const std::string url = urlOf(href);
    curl_easy_reset(curl);  // the connection stays
    Response r;
    curl_slist* list = nullptr;
    for (const std::string& h : headers) list = curl_slist_append(list, h.c_str());
    // A password from ~/.netrc is looked up by the user named in the URL.
    std::string target = url;
    if (config.password.empty() && !config.user.empty()) {
      CURLU* u = curl_url();
      char* full = nullptr;
      if (curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
          curl_url_set(u, CURLUPART_USER, config.user.c_str(), CURLU_URLENCODE) == CURLUE_OK &&
          curl_url_get(u, CURLUPART_URL, &full, 0) == CURLUE_OK)
        target = full;
      curl_free(full);
      curl_url_cleanup(u);
    }
    curl_easy_setopt(curl, CURLOPT_URL, target.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, std::min(config.timeoutSeconds, 10L));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, config.timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
    if (!config.password.empty()) {
      curl_easy_setopt(curl, CURLOPT_USERNAME, config.user.c_str());
      curl_easy_setopt(curl, CURLOPT_PASSWORD, config.password.c_str());
    } else {
      curl_easy_setopt(curl, CURLOPT_NETRC, long(CURL_NETRC_OPTIONAL));
    }
    if (method == "GET") {
      curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    } else {
      curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
      if (method == "DELETE") {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
      } else {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(body.size()));
      }
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    Collected collected{&r.body};
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &collected);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &r.etag);
    CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(list);
    if (collected.tooLarge)
      raise(kNetworkError, "The calendar server " + origin + " sent an answer larger than " +
                               std::to_string(kMostDavAnswerBytes) + " bytes");
    if (rc == CURLE_OPERATION_TIMEDOUT)
      raise(kNetworkError, "The calendar server " + origin + " did not answer within " +
                               std::to_string(config.timeoutSeconds) + " seconds");
    if (rc != CURLE_OK)
      raise(kNetworkError, "The calendar server " + origin + " cannot be reached: " + curl_easy_strerror(rc));
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &r.status);
    if (r.status == 401)
      raise(kNoAccess, "The calendar server " + origin +
                           " refused the user name or password (401); check the user in "
                           "caldav.conf and the password there or in ~/.netrc");
    if (r.status == 403) raise(kNoAccess, "The calendar server refused access to " + url + " (403)");
    if (r.status >= 500)
      raise(kNetworkError, "The calendar server failed on " + url + " (" + std::to_string(r.status) + ")");
    return r;
  }

  Multistatus multistatus(const std::string& method, const std::string& href, const std::string& depth,
                          const std::string& body) {
    Response r = request(method, href, body, {"Depth: " + depth, "Content-Type: application/xml; charset=utf-8"});
    if (r.status != 207)
      raise(kNetworkError,
            "The calendar server answered " + method + " on " + urlOf(href) + " with " + std::to_string(r.status));
    return parseMultistatus(r.body, urlOf(href));
  }
};

DavAccount::DavAccount(DavConfig config) : impl_(std::make_shared<Impl>(std::move(config))) {}
DavAccount::~DavAccount() = default;

std::vector<DavCalendar> DavAccount::calendars() {
  Multistatus m = impl_->multistatus(
      "PROPFIND", impl_->home, "1",
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><D:propfind xmlns:D=\"DAV:\"><D:prop><D:displayname/>"
      "<D:resourcetype/></D:prop></D:propfind>");
  std::vector<DavCalendar> out;
  for (const DavResponse& r : m.responses) {
    if (!r.calendar) continue;
    std::string href = r.href.back() == '/' ? r.href : r.href + "/";
    std::string name = r.displayName;
    if (name.empty()) {
      std::string trimmed = href.substr(0, href.size() - 1);
      name = trimmed.substr(trimmed.rfind('/') + 1);
    }
    out.push_back({href, name});
  }
  return out;
}

std::string DavAccount::makeCalendar(const std::string& name) {
  std::string slug;
  for (char c : name) slug += std::isalnum(static_cast<unsigned char>(c)) ? char(std::tolower(c)) : '-';
  for (int attempt = 0; attempt < 4; ++attempt) {
    const std::string href = impl_->home + slug + "-" + randomHex(8) + "/";
    Impl::Response r =
        impl_->request("MKCALENDAR", href,
                       "<?xml version=\"1.0\" encoding=\"utf-8\"?><C:mkcalendar xmlns:D=\"DAV:\" "
                       "xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><D:set><D:prop><D:displayname>" +
                           text::markupEscaped(name) + "</D:displayname></D:prop></D:set></C:mkcalendar>",
                       {"Content-Type: application/xml; charset=utf-8"});
    if (r.status == 201) return href;
    if (r.status != 405 && r.status != 409)
      raise(kNetworkError,
            "The calendar server would not make the calendar \"" + name + "\" (" + std::to_string(r.status) + ")");
  }
  raise(kNetworkError, "The calendar server would not make the calendar \"" + name + "\"");
}

namespace {

// The resources of one calendar collection.
class RemoteFiles : public ItemFiles {
 public:
  RemoteFiles(std::shared_ptr<DavAccount::Impl> account, std::string href)
      : account_(std::move(account)), href_(std::move(href)) {}

  std::vector<std::pair<std::string, std::string>> changes(bool& complete) override {
    complete = token_.empty();
    Multistatus m;
    try {
      m = account_->multistatus("REPORT", href_, "0",
                                "<?xml version=\"1.0\" encoding=\"utf-8\"?><D:sync-collection xmlns:D=\"DAV:\">"
                                "<D:sync-token>" +
                                    text::markupEscaped(token_) +
                                    "</D:sync-token><D:sync-level>1</D:sync-level>"
                                    "<D:prop><D:getetag/></D:prop></D:sync-collection>");
    } catch (const AppError&) {
      if (token_.empty()) throw;
      // A token the server no longer knows: everything afresh.
      token_.clear();
      return changes(complete);
    }
    token_ = m.syncToken;
    std::vector<std::pair<std::string, std::string>> out;
    for (const DavResponse& r : m.responses) {
      std::string name = nameOf(r.href);
      if (name.empty()) continue;
      out.emplace_back(name, r.status == 404 ? std::string() : r.etag);
    }
    return out;
  }

  std::map<std::string, StoredItem> read(const std::vector<std::string>& names) override {
    std::map<std::string, StoredItem> out;
    for (size_t from = 0; from < names.size(); from += 200) {
      std::string body =
          "<?xml version=\"1.0\" encoding=\"utf-8\"?><C:calendar-multiget xmlns:D=\"DAV:\" "
          "xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><D:prop><D:getetag/><C:calendar-data/></D:prop>";
      for (size_t i = from; i < names.size() && i < from + 200; ++i)
        body += "<D:href>" + text::markupEscaped(href_ + names[i]) + "</D:href>";
      body += "</C:calendar-multiget>";
      for (const DavResponse& r : account_->multistatus("REPORT", href_, "1", body).responses) {
        if (r.status == 404 || r.calendarData.empty()) continue;
        out[nameOf(r.href)] = StoredItem{r.calendarData, r.etag};
      }
    }
    return out;
  }

  std::string create(const std::string& name, const std::string& text) override {
    return put(name, text, "If-None-Match: *");
  }

  std::string replace(const std::string& name, const std::string& text, const std::string& expected) override {
    return put(name, text, "If-Match: " + expected);
  }

  bool remove(const std::string& name, const std::string& expected) override {
    DavAccount::Impl::Response r = account_->request("DELETE", href_ + name, {}, {"If-Match: " + expected});
    if (r.status == 412) return false;
    if (r.status != 200 && r.status != 204 && r.status != 404)
      raise(kNetworkError,
            "The calendar server would not delete " + where(name) + " (" + std::to_string(r.status) + ")");
    return true;
  }

  std::string where(const std::string& name) const override { return account_->urlOf(href_ + name); }
  bool local() const override { return false; }

 private:
  // The resource's name in this collection; empty for the collection itself or another's.
  std::string nameOf(const std::string& href) const {
    const std::string& path = href;
    if (path.size() <= href_.size() || path.compare(0, href_.size(), href_) != 0) return {};
    std::string name = path.substr(href_.size());
    // A dot segment would name the collection or its parent once the address is read.
    if (name == "." || name == "..") return {};
    return name.find('/') == std::string::npos ? name : std::string();
  }

  std::string put(const std::string& name, const std::string& text, const std::string& condition) {
    DavAccount::Impl::Response r =
        account_->request("PUT", href_ + name, text, {condition, "Content-Type: text/calendar; charset=utf-8"});
    if (r.status == 412) return {};
    if (r.status != 201 && r.status != 204 && r.status != 200)
      raise(kNetworkError,
            "The calendar server would not store " + where(name) + " (" + std::to_string(r.status) + ")");
    // A server that gives no ETag for what it stored: one is asked for.
    if (r.etag.empty()) {
      Multistatus m = account_->multistatus(
          "PROPFIND", href_ + name, "0",
          "<?xml version=\"1.0\" encoding=\"utf-8\"?><D:propfind xmlns:D=\"DAV:\"><D:prop><D:getetag/></D:prop></D:propfind>");
      if (!m.responses.empty()) r.etag = m.responses.front().etag;
    }
    return r.etag.empty() ? std::string("*") : r.etag;
  }

  std::shared_ptr<DavAccount::Impl> account_;
  std::string href_;
  std::string token_;
};

}  // namespace

std::unique_ptr<ItemFiles> DavAccount::itemFiles(const std::string& href) {
  return std::make_unique<RemoteFiles>(impl_, href);
}

}  // namespace pellary::standins::outlook
