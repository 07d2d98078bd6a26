// The two HTTP controls the transport drives, over libcurl. Each transfer is
// one blocking call that raises AppError with the control's own error number;
// the progress and header events run on the calling thread during it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pellary::http {

// Numbers the controls raise. The connection failures are the ones the
// transport retries through a proxy.
namespace code {
// First control.
inline constexpr long WinsockConnectFailed = 25066;
inline constexpr long WinsockProxyFailed = 26005;
inline constexpr long WinsockHostNotFound = 26002;
inline constexpr long WinsockTimedOut = 25060;
inline constexpr long WinsockOther = 25000;       // + the library's code
inline constexpr long WinsockHttpStatus = 26000;  // + the HTTP status (400 and up)
// Second control.
inline constexpr long DartHostNotFound = 12007;
inline constexpr long DartCannotConnect = 12029;
inline constexpr long DartProxyNotFound = 12165;
inline constexpr long DartTimedOut = 12002;
inline constexpr long DartOther = 12900;
inline constexpr long DartHttpStatus = 13000;
}  // namespace code

// The largest reply a script may send, and the largest packet when the server
// does not announce its size.
inline constexpr int64_t kMostReplyBytes = int64_t(8) << 20;
inline constexpr int64_t kMostPacketBytes = int64_t(256) << 20;

// Every exchange is bounded: a connect limit, then either a limit on the whole
// exchange (a script's reply) or a least speed that a download must keep.
// Only http and https are spoken, redirects included (at most kMaxRedirects);
// an answer whose final status is not 2xx is an error.
// A reply is streamed into its file and never held whole; one that passes
// mostBytes (announced or sent) ends the transfer with err::TooLarge and
// leaves no part of it behind.
struct TransferLimits {
  long connectMs = 15000;
  long wholeMs = 0;          // 0: no limit on the whole exchange
  long lowSpeedBytes = 100;  // a transfer slower than this many bytes a second
  long lowSpeedMs = 30000;   // for this long fails
  int64_t mostBytes = kMostReplyBytes;
};
inline constexpr long kMaxRedirects = 5;

// The first control ("HTTPLibCtl.HTTP"): assigning Action performs the transfer.
class WinsockHttp {
 public:
  bool WinsockLoaded = false;
  std::string URL;
  std::string LocalFile;
  std::string PostData;
  std::string OtherHeaders;  // header lines, each ended by CR LF
  std::string ProxyServer;
  int32_t ProxyPort = 0;
  // Credentials given to the library's authentication (never put in URL).
  std::string UserName, Password;
  TransferLimits Limits;

  // The host part of URL.
  std::string URLServer() const;
  // Dispatch 2: 1 while a GET runs or after it, 2 for a POST, 0 stopped.
  int16_t Action() const { return action_; }
  // 1 GET into LocalFile, 2 POST of PostData with the reply into LocalFile, 0 stops.
  void setAction(int16_t action);

  std::function<void(const std::string& name, const std::string& value)> onHeader;
  std::function<void(int16_t state, int32_t count)> onProgress;

 private:
  int16_t action_ = 0;
};

// The second control ("DartWebCtl.Http"): Get and Post return the reply text.
class DartHttp {
 public:
  std::string URL;
  // Milliseconds the control waits for the server to send anything; 0 leaves
  // Limits as they are.
  int32_t TimeOut = 0;
  std::string Proxy;  // "server:port"
  TransferLimits Limits;

  void Get(std::string& reply, const std::string& userName, const std::string& password);
  void Post(const std::string& body, std::string& reply, const std::string& userName, const std::string& password);
  // The same with the reply streamed into a file (replaced once it is whole).
  void GetToFile(const std::string& file, const std::string& userName, const std::string& password);
  void PostToFile(const std::string& body, const std::string& file, const std::string& userName,
                  const std::string& password);

  std::function<void(int64_t bytes, int64_t total)> onProgress;

 private:
  std::string exchange(bool post, const std::string& body, const std::string& userName, const std::string& password,
                       const std::string& file);
};

// Writes a reply whole into the file the caller named; raises 75 when it cannot.
void writeReply(const std::string& path, const std::string& reply);

}  // namespace pellary::http
