#include "update/http/http_controls.h"

#include <curl/curl.h>

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "platform/errors.h"
#include "platform/files/whole_file.h"

namespace pellary::http {

namespace {

void globalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Exchange {
  std::string url;
  bool post = false;
  std::string body;
  std::vector<std::string> headers;
  std::string proxy;  // empty: no proxy at all, whatever the environment says
  std::string userName, password;
  TransferLimits limits;
  std::function<void(const std::string&, const std::string&)> onHeader;
  std::function<void(int64_t, int64_t)> onProgress;
};

// Where a reply goes: a temporary file beside the reply file (renamed over
// it once whole), or a text for the callers that want one; never more than
// the cap either way.
class ReplySink {
 public:
  ReplySink(std::string file, int64_t most) : file_(std::move(file)), most_(most > 0 ? most : kMostReplyBytes) {}
  ~ReplySink() { discard(); }
  ReplySink(const ReplySink&) = delete;
  ReplySink& operator=(const ReplySink&) = delete;

  // False once the cap is passed or the file cannot be written.
  bool take(const char* data, size_t n) {
    if (int64_t(n) > most_ - count_) {
      tooLarge = true;
      return false;
    }
    count_ += int64_t(n);
    if (file_.empty()) {
      text.append(data, n);
      return true;
    }
    if (fd_ < 0 && !open()) return false;
    if (!platform::files::writeAll(fd_, std::string_view(data, n))) {
      writeFailed = true;
      return false;
    }
    return true;
  }
  bool announced(int64_t length) {
    if (length > most_) tooLarge = true;
    return !tooLarge;
  }
  // The whole reply takes the reply file's place.
  void commit() {
    if (file_.empty()) return;
    if (fd_ < 0 && !open()) raise(err::PathFileAccess);
    bool ok = ::fsync(fd_) == 0;
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    if (!ok || ::rename(temp_.c_str(), file_.c_str()) != 0) {
      discard();
      raise(err::PathFileAccess);
    }
    temp_.clear();
  }
  void discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
  }
  int64_t most() const { return most_; }

  std::string text;
  bool tooLarge = false;
  bool writeFailed = false;

 private:
  bool open() {
    std::filesystem::path target(file_);
    std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) {
      writeFailed = true;
      return false;
    }
    temp_ = name.data();
    return true;
  }

  std::string file_;
  int64_t most_;
  int64_t count_ = 0;
  int fd_ = -1;
  std::string temp_;
};

struct Outcome {
  CURLcode code = CURLE_OK;
  long status = 0;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
  return static_cast<ReplySink*>(user)->take(data, size * count) ? size * count : 0;
}

struct HeaderContext {
  Exchange* ex;
  ReplySink* sink;
};

size_t readHeader(char* data, size_t size, size_t count, void* user) {
  auto* context = static_cast<HeaderContext*>(user);
  Exchange* ex = context->ex;
  std::string line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  auto colon = line.find(':');
  if (ex->onHeader && colon != std::string::npos) {
    std::string value = line.substr(colon + 1);
    size_t start = value.find_first_not_of(" \t");
    ex->onHeader(line.substr(0, colon), start == std::string::npos ? "" : value.substr(start));
  }
  // A reply announced larger than the cap is not begun.
  if (colon != std::string::npos && line.size() > 15 && strncasecmp(line.c_str(), "content-length:", 15) == 0) {
    char* end = nullptr;
    long long length = std::strtoll(line.c_str() + 15, &end, 10);
    if (!context->sink->announced(int64_t(length))) return 0;
  }
  return size * count;
}

int progress(void* user, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t, curl_off_t) {
  auto* ex = static_cast<Exchange*>(user);
  if (ex->onProgress && dlNow > 0) ex->onProgress(int64_t(dlNow), int64_t(dlTotal));
  return 0;
}

Outcome perform(Exchange& ex, ReplySink& sink) {
  globalInit();
  Outcome out;
  CURL* curl = curl_easy_init();
  if (!curl) {
    out.code = CURLE_FAILED_INIT;
    return out;
  }
  curl_slist* headers = nullptr;
  for (const auto& h : ex.headers) headers = curl_slist_append(headers, h.c_str());
  curl_easy_setopt(curl, CURLOPT_URL, ex.url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROXY, ex.proxy.c_str());
  if (!ex.userName.empty() || !ex.password.empty()) {
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    curl_easy_setopt(curl, CURLOPT_USERNAME, ex.userName.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, ex.password.c_str());
  }
  if (ex.post) {
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, ex.body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(ex.body.size()));
  }
  if (headers) curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  // Bounded waits: nothing hangs on a server that accepts and never answers.
  const TransferLimits& l = ex.limits;
  if (l.connectMs > 0) curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, l.connectMs);
  if (l.wholeMs > 0) curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, l.wholeMs);
  if (l.lowSpeedMs > 0) {
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, std::max(1L, l.lowSpeedBytes));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, std::max(1L, (l.lowSpeedMs + 999) / 1000));
  }
  // Only the web's own schemes, for the first address and every redirect.
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(sink.most()));
  HeaderContext context{&ex, &sink};
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, readHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &context);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &ex);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  out.code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &out.status);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return out;
}

// Only a 2xx final answer carries the reply; a redirect that was not
// followed, or anything else, is an error.
bool isSuccess(long status) { return status >= 200 && status < 300; }

// The control's error for a failed exchange; 0 when it went through.
long winsockError(const Outcome& o) {
  switch (o.code) {
    case CURLE_OK: return isSuccess(o.status) ? 0 : code::WinsockHttpStatus + o.status;
    case CURLE_COULDNT_CONNECT: return code::WinsockConnectFailed;
    case CURLE_COULDNT_RESOLVE_HOST: return code::WinsockHostNotFound;
    case CURLE_COULDNT_RESOLVE_PROXY: return code::WinsockProxyFailed;
    case CURLE_OPERATION_TIMEDOUT: return code::WinsockTimedOut;
    default: return code::WinsockOther + long(o.code);
  }
}

long dartError(const Outcome& o) {
  switch (o.code) {
    case CURLE_OK: return isSuccess(o.status) ? 0 : code::DartHttpStatus + o.status;
    case CURLE_COULDNT_CONNECT: return code::DartCannotConnect;
    case CURLE_COULDNT_RESOLVE_HOST: return code::DartHostNotFound;
    case CURLE_COULDNT_RESOLVE_PROXY: return code::DartProxyNotFound;
    case CURLE_OPERATION_TIMEDOUT: return code::DartTimedOut;
    default: return code::DartOther + long(o.code);
  }
}

std::string describe(const Outcome& o) {
  if (o.code != CURLE_OK) return curl_easy_strerror(o.code);
  return "The server answered with status " + std::to_string(o.status);
}

// The cap ends a transfer with its own error: no retry, no other control.
void raiseIfTooLarge(const Outcome& o, const ReplySink& sink) {
  if (sink.tooLarge || o.code == CURLE_FILESIZE_EXCEEDED)
    raise(err::TooLarge,
          "The server's reply is larger than " + std::to_string(sink.most()) + " bytes; nothing of it was kept");
  if (sink.writeFailed) raise(err::PathFileAccess);
}

// Header lines of an OtherHeaders text.
std::vector<std::string> headerLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    if (end > pos) lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

}  // namespace

std::string WinsockHttp::URLServer() const {
  size_t start = URL.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  size_t end = URL.find_first_of("/?#", start);
  std::string authority = URL.substr(start, end == std::string::npos ? std::string::npos : end - start);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority = authority.substr(at + 1);
  if (!authority.empty() && authority[0] == '[') return authority.substr(0, authority.find(']') + 1);
  return authority.substr(0, authority.find(':'));
}

void WinsockHttp::setAction(int16_t action) {
  action_ = action;
  if (action == 0) return;
  if (action != 1 && action != 2) raise(err::InvalidCall);
  Exchange ex;
  ex.url = URL;
  ex.post = action == 2;
  ex.body = PostData;
  ex.headers = headerLines(OtherHeaders);
  if (!ProxyServer.empty()) ex.proxy = ProxyPort ? ProxyServer + ":" + std::to_string(ProxyPort) : ProxyServer;
  ex.userName = UserName;
  ex.password = Password;
  ex.limits = Limits;
  ex.onHeader = onHeader;
  if (onProgress) ex.onProgress = [this](int64_t now, int64_t) { onProgress(1, int32_t(now)); };
  ReplySink sink(LocalFile, Limits.mostBytes);
  Outcome o = perform(ex, sink);
  raiseIfTooLarge(o, sink);
  if (long n = winsockError(o)) raise(n, describe(o));
  sink.commit();
}

// Both calls set up the one exchange; TimeOut, when given, bounds the silence.
std::string DartHttp::exchange(bool post, const std::string& body, const std::string& userName,
                               const std::string& password, const std::string& file) {
  Exchange ex;
  ex.url = URL;
  ex.post = post;
  ex.body = body;
  ex.proxy = Proxy == ":" ? "" : Proxy;
  ex.userName = userName;
  ex.password = password;
  ex.limits = Limits;
  if (TimeOut > 0) ex.limits.lowSpeedMs = TimeOut;
  ex.onProgress = onProgress;
  ReplySink sink(file, Limits.mostBytes);
  Outcome o = perform(ex, sink);
  raiseIfTooLarge(o, sink);
  if (long n = dartError(o)) raise(n, describe(o));
  sink.commit();
  return std::move(sink.text);
}

void DartHttp::Get(std::string& reply, const std::string& userName, const std::string& password) {
  reply = exchange(false, {}, userName, password, {});
}

void DartHttp::Post(const std::string& body, std::string& reply, const std::string& userName,
                    const std::string& password) {
  reply = exchange(true, body, userName, password, {});
}

void DartHttp::GetToFile(const std::string& file, const std::string& userName, const std::string& password) {
  exchange(false, {}, userName, password, file);
}

void DartHttp::PostToFile(const std::string& body, const std::string& file, const std::string& userName,
                          const std::string& password) {
  exchange(true, body, userName, password, file);
}

void writeReply(const std::string& path, const std::string& reply) {
  try {
    platform::files::replaceWholeFile(path, reply);
  } catch (const platform::files::ReplaceFailed&) {
    raise(err::PathFileAccess);
  }
}

}  // namespace pellary::http
