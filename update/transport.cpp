#include "update/transport.h"

#include <algorithm>
#include <fstream>

#include "core/app.h"
#include "core/registry.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/variant.h"
#include "update/update_portal.h"

namespace pellary {

const char* const kProxyPrompt =
    "The program was unable to connect to the internet. This may be due to one of two reasons:\r\r"
    "1. You have not initiated your dial up connection to the internet. If so, please initiate "
    "this connection before clicking on OK to continue.\r\r"
    "2. You connect to the Internet using a Proxy server (LAN Network). If so, please enter your Proxy "
    "name and port number in the format ServerName:PortNumber (e.g. ServerName:80) in the box below and "
    "then click OK to continue.";

InternetFileTransfer& Bift() {
  static InternetFileTransfer state;
  return state;
}

void resetInternetFileTransfer() { Bift() = InternetFileTransfer{}; }

frmDartDownload& dartDownloadWindow() {
  auto& w = Bift().dartWindow;
  if (!w) {
    w = std::make_unique<frmDartDownload>();
    w->httpDartDownload.onProgress = [](int64_t bytes, int64_t total) {
      UpdatePortal* portal = existingUpdatePortal();
      if (!portal || total == 0) return;
      if (!portal->progressVisible()) return;
      portal->setProgress(float(double(bytes) * 100.0 / double(total)));
      yieldToMessageLoop();
    };
  }
  return *w;
}

namespace {
InputPresenter& inputPresenter() {
  static InputPresenter presenter;
  return presenter;
}
InputPresenter& inputWindow() {
  static InputPresenter window;
  return window;
}
}  // namespace

InputPresenter setInputPresenter(InputPresenter presenter) {
  InputPresenter old = std::move(inputPresenter());
  inputPresenter() = std::move(presenter);
  return old;
}

void setInputWindow(InputPresenter window) { inputWindow() = std::move(window); }

std::string InputBox(const std::string& prompt, const std::string& title) {
  // An unattended run has no one to type an answer: the empty one is Cancel's.
  if (unattendedRun()) return {};
  if (inputPresenter()) return inputPresenter()(prompt, title);
  if (inputWindow()) return inputWindow()(prompt, title);
  return {};
}

namespace {
// A whole number of a Comms setting; the default when unset or not a number.
long commsNumber(const char* name, long fallback) {
  std::string text = Breg_GetRegSetting("Comms", name);
  Variant v(text);
  if (text.empty() || !v.isNumeric()) return fallback;
  double d = v.toDouble();
  return d >= 0 && d < 86400000 ? long(d) : fallback;
}
}  // namespace

http::TransferLimits transferLimits(std::optional<int64_t> offeredBytes) {
  http::TransferLimits l;
  l.connectMs = commsNumber("ConnectTimeout", 15) * 1000;
  l.lowSpeedBytes = commsNumber("LowSpeedLimit", 100);
  l.lowSpeedMs = commsNumber("LowSpeedTime", 30) * 1000;
  int64_t whole = int64_t(commsNumber("ReplyTimeout", 60)) * 1000;
  // A server dripping bytes just above the least speed must not hold a
  // download for ever: the offered size at the least speed, on top.
  if (offeredBytes && *offeredBytes > 0) whole += *offeredBytes * 1000 / std::max<int64_t>(1, l.lowSpeedBytes);
  l.wholeMs = long(std::min<int64_t>(whole, int64_t(86400) * 1000));
  // A script's reply has its own cap; the packet download the one it was given.
  l.mostBytes = offeredBytes ? Bift().downloadCap : http::kMostReplyBytes;
  return l;
}

DownloadCap::DownloadCap(int64_t bytes) : old_(Bift().downloadCap) { Bift().downloadCap = bytes; }
DownloadCap::~DownloadCap() { Bift().downloadCap = old_; }

std::string hostHeaderValue(const std::string& url) {
  size_t schemeEnd = url.find("://");
  const std::string scheme = schemeEnd == std::string::npos ? std::string() : url.substr(0, schemeEnd);
  size_t start = schemeEnd == std::string::npos ? 0 : schemeEnd + 3;
  size_t end = url.find_first_of("/?#", start);
  std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  if (size_t at = authority.rfind('@'); at != std::string::npos) authority = authority.substr(at + 1);
  size_t hostEnd = !authority.empty() && authority[0] == '[' ? authority.find(']') : std::string::npos;
  size_t colon = authority.find(':', hostEnd == std::string::npos ? 0 : hostEnd);
  if (colon == std::string::npos) return authority;
  const std::string port = authority.substr(colon + 1);
  const bool isDefault = port.empty() || (paths::equalsIgnoreCase(scheme, "http") && port == "80") ||
                         (paths::equalsIgnoreCase(scheme, "https") && port == "443");
  return isDefault ? authority.substr(0, colon) : authority;
}

bool isWinsockConnectionFailure(long n) { return n == 25066 || n == 26005 || n == 26002; }
bool isDartConnectionFailure(long n) { return n == 12007 || n == 12164 || n == 12165 || n == 12163 || n == 12029; }

namespace {

// The proxy the user types: server and port split at the last ":".
struct TypedProxy {
  bool hasColon = false;
  std::string server, port, whole;
};
TypedProxy askForProxy() {
  TypedProxy t;
  t.whole = InputBox(kProxyPrompt, appTitle());
  size_t colon = t.whole.rfind(':');
  if (colon != std::string::npos) {
    t.hasColon = true;
    t.server = t.whole.substr(0, colon);
    t.port = t.whole.substr(colon + 1);
  }
  return t;
}

int32_t errorNumber() {
  ErrorInfo e = describeCurrentException();
  return int32_t(e.number ? e.number : err::Internal);
}

// How a control takes a proxy: the stored one (server, port) and the one the
// user typed (without a colon the typed text is not taken as a proxy).
struct ProxyUse {
  bool (*isConnectionFailure)(long number);
  std::function<void(const std::string& server, const std::string& port)> stored;
  std::function<void(const TypedProxy& typed, const std::string& server, const std::string& port)> typed;
};

// Runs one transfer statement; a connection failure is retried, up to three
// tries in all, first through the stored proxy, then through one the user
// types (a "server:port" is stored). Returns 0 or the error number.
int32_t transferWithProxyRetry(const ProxyUse& use, const std::function<void()>& statement) {
  bool storedApplied = false;
  for (;;) {
    try {
      statement();
      return 0;
    } catch (const ProgramEnded&) {
      throw;
    } catch (...) {
      int32_t number = errorNumber();
      Bift().lastFailure = describeCurrentException().description;
      if (!use.isConnectionFailure(number) || Bift().Bift_RetryCount >= 3) return number;
      std::string server = Breg_GetRegSetting("Comms", "ProxyServer");
      std::string port = Breg_GetRegSetting("Comms", "ProxyPort");
      ++Bift().Bift_RetryCount;
      if (!server.empty() && !storedApplied) {
        use.stored(server, port);
        storedApplied = true;
        continue;
      }
      TypedProxy typed = askForProxy();
      use.typed(typed, server, port);
      if (typed.hasColon) {
        Breg_WriteRegSettings("Comms", "ProxyServer", typed.server);
        Breg_WriteRegSettings("Comms", "ProxyPort", typed.port);
      }
    }
  }
}

int32_t winsockTransfer(http::WinsockHttp& control, UpdatePortal& host, const std::function<void()>& statement) {
  ProxyUse use{isWinsockConnectionFailure,
               [&](const std::string& server, const std::string& port) {
                 control.ProxyServer = server;
                 if (!port.empty()) control.ProxyPort = Variant(port).toLong();
               },
               [&](const TypedProxy& typed, const std::string&, const std::string&) {
                 if (typed.hasColon) {
                   control.ProxyServer = typed.server;
                   control.ProxyPort = Variant(typed.port).toLong();
                 } else {
                   control.ProxyServer = typed.whole;
                 }
               }};
  const int32_t number = transferWithProxyRetry(use, statement);
  if (number != 0) {
    control.setAction(0);
    host.setMousePointer(0);
  }
  return number;
}

int32_t dartTransfer(http::DartHttp& control, const std::function<void()>& statement) {
  ProxyUse use{isDartConnectionFailure,
               [&](const std::string& server, const std::string& port) { control.Proxy = server + ":" + port; },
               [&](const TypedProxy& typed, const std::string& server, const std::string& port) {
                 control.Proxy = typed.hasColon ? typed.server + ":" + typed.port : server + ":" + port;
               }};
  return transferWithProxyRetry(use, statement);
}

// CommTool: 1 first control only, 2 second only, another number both in
// turn. A new installation has none stored yet, which means trying both.
int16_t commTool() {
  std::string text = Breg_GetRegSetting("Comms", "CommTool");
  if (text.empty()) return 0;
  return Variant(text).toInteger();
}

std::string statusText(const char* procedure, bool used, int32_t result) {
  if (!used) return {};
  return result == 0 ? std::string(procedure) + " Successful" : std::string(procedure) + " " + std::to_string(result);
}

// The selector shared by GET and POST.
void select(const char* location, bool withDescription, const char* firstName, const char* secondName,
            const std::function<int32_t()>& first, const std::function<int32_t()>& second) {
  bool usedFirst = false, usedSecond = false;
  int32_t firstResult = 0, secondResult = 0;
  try {
    int16_t tool = commTool();
    // A reply past its cap is the server's doing: the other control would
    // fetch the same, so it ends the exchange with its own error.
    auto runFirst = [&] {
      usedFirst = true;
      firstResult = first();
      if (firstResult == err::TooLarge) raise(err::TooLarge, Bift().lastFailure);
      return firstResult;
    };
    auto runSecond = [&] {
      usedSecond = true;
      secondResult = second();
      if (secondResult == err::TooLarge) raise(err::TooLarge, Bift().lastFailure);
      return secondResult;
    };
    if (tool == 1) {
      if (runFirst() != 0) raise(29001, "Application-defined or object-defined error");
    } else if (tool == 2) {
      if (runSecond() != 0) raise(29000, "Application-defined or object-defined error");
    } else {
      if (runFirst() == 0) {
        Breg_WriteRegSettings("Comms", "CommTool", "1");
        return;
      }
      if (runSecond() == 0) {
        Breg_WriteRegSettings("Comms", "CommTool", "2");
        return;
      }
      raise(29000, "Application-defined or object-defined error");
    }
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    currentError() = describeCurrentException();
    std::string text =
        statusText(firstName, usedFirst, firstResult) + "\r" + statusText(secondName, usedSecond, secondResult);
    if (withDescription || currentError().number == err::TooLarge) text += currentError().description;
    reportError(currentError().number, location, text);
  }
}

}  // namespace

namespace {

// One request of the first control, GET (1) or POST (2), its reply into file;
// the download shows the busy pointer while it runs.
int32_t winsockRequest(int16_t action, const std::string& postData, const std::string& url, const std::string& file,
                       UpdatePortal& host, const std::string& userName, const std::string& password) {
  Bift().Bift_RetryCount = 1;
  http::WinsockHttp& c = host.winsockControl();
  c.Limits = transferLimits(action == 1 ? Bift().offeredBytes : std::nullopt);
  return winsockTransfer(c, host, [&] {
    c.WinsockLoaded = true;
    if (action == 2) c.PostData = postData;
    c.URL = url;
    c.UserName = userName;
    c.Password = password;
    if (action == 1) host.setMousePointer(11);
    c.LocalFile = file;
    c.OtherHeaders = "Host: " + hostHeaderValue(c.URL) + "\r\n";
    c.setAction(action);
    if (action == 1) host.setMousePointer(0);
  });
}

// The same through the second control; the download waits at most 15 s for a silent server.
int32_t dartRequest(bool post, const std::string& postData, const std::string& url, const std::string& file,
                    frmDartDownload& dart, const std::string& userName, const std::string& password) {
  Bift().Bift_RetryCount = 1;
  http::DartHttp& c = dart.httpDartDownload;
  c.Limits = transferLimits(post ? std::nullopt : Bift().offeredBytes);
  return dartTransfer(c, [&] {
    if (!post) dart.mousePointer = 11;
    c.URL = url;
    if (post) {
      c.PostToFile(postData, file, userName, password);
    } else {
      c.TimeOut = 15000;
      c.GetToFile(file, userName, password);
    }
    if (!post) dart.mousePointer = 0;
  });
}

}  // namespace

int32_t Bift_WinsockDownload(const std::string& localFile, const std::string& url, UpdatePortal& host,
                             const std::string& userName, const std::string& password) {
  return winsockRequest(1, {}, url, localFile, host, userName, password);
}

int32_t Bift_WinsockPostData(const std::string& postData, const std::string& url, const std::string& replyFile,
                             UpdatePortal& host, const std::string& userName, const std::string& password) {
  return winsockRequest(2, postData, url, replyFile, host, userName, password);
}

int32_t Bift_DartDownload(const std::string& localFile, const std::string& url, frmDartDownload& dart,
                          const std::string& userName, const std::string& password) {
  return dartRequest(false, {}, url, localFile, dart, userName, password);
}

int32_t Bift_DartPostData(const std::string& postData, const std::string& url, const std::string& replyFile,
                          frmDartDownload& dart, const std::string& userName, const std::string& password) {
  return dartRequest(true, postData, url, replyFile, dart, userName, password);
}

// Credentials reach the first control only when both are given; they go to
// the HTTP library's authentication, never into the address text.
void Bift_DownloadHandler(const std::string& localFile, const std::string& url, UpdatePortal& host,
                          const std::string& userName, const std::string& password,
                          std::optional<int64_t> offeredBytes) {
  struct Offered {
    explicit Offered(std::optional<int64_t> b) { Bift().offeredBytes = b; }
    ~Offered() { Bift().offeredBytes.reset(); }
  } offered(offeredBytes);
  bool both = !userName.empty() && !password.empty();
  select(
      "Bift_DownloadHandler", true, "Bift_WinsockDownload", "Bift_DartDownload",
      [&] { return Bift_WinsockDownload(localFile, url, host, both ? userName : "", both ? password : ""); },
      [&] { return Bift_DartDownload(localFile, url, dartDownloadWindow(), userName, password); });
}

void Bift_PostHandler(const std::string& postData, const std::string& url, const std::string& replyFile,
                      UpdatePortal& host, const std::string& userName, const std::string& password) {
  bool both = !userName.empty() && !password.empty();
  select(
      "Bift_PostHandler", false, "Bift_WinsockPostData", "Bift_DartPostData",
      [&] { return Bift_WinsockPostData(postData, url, replyFile, host, both ? userName : "", both ? password : ""); },
      [&] { return Bift_DartPostData(postData, url, replyFile, dartDownloadWindow(), userName, password); });
}

}  // namespace pellary
