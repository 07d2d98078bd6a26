// The transport of every exchange with the update server: a GET or a POST
// whose reply lands in a local file, through one of the two HTTP controls,
// with a retry through a proxy after a connection failure.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "update/http/http_controls.h"

namespace pellary {

class UpdatePortal;

// The window that carries the second control; created on first use, never shown.
struct frmDartDownload {
  http::DartHttp httpDartDownload;
  int mousePointer = 0;
};

struct InternetFileTransfer {
  int16_t Bift_RetryCount = 0;
  // The size the server offered for the download under way (the packet);
  // empty while the transfer is a script's exchange.
  std::optional<int64_t> offeredBytes;
  std::unique_ptr<frmDartDownload> dartWindow;
  // The cap of a GET's reply: a script's reply unless a packet download set another.
  int64_t downloadCap = http::kMostReplyBytes;
  // What the last failed transfer said (a cap's error is reported as it is).
  std::string lastFailure;
};
// The update transfers' state: the retry count, the offered size and cap of the download, the last failure.
InternetFileTransfer& Bift();
void resetInternetFileTransfer();
frmDartDownload& dartDownloadWindow();

// The proxy question: the prompt in, the typed answer out (empty for Cancel).
using InputPresenter = std::function<std::string(const std::string& prompt, const std::string& title)>;
InputPresenter setInputPresenter(InputPresenter presenter);
// Who asks when no presenter is set: the proxy question's dialog, which the
// portal connects (connectUpdatePortal, update/pages/proxy_question.h).
void setInputWindow(InputPresenter window);
// Empty at once in an unattended run, and when no one is there to ask.
std::string InputBox(const std::string& prompt, const std::string& title);
extern const char* const kProxyPrompt;

// The selectors: report a failure under their own name (the program ends).
// offeredBytes: the size the server announced for a download (the packet);
// without it the GET is a script's exchange, bounded as a whole.
void Bift_DownloadHandler(const std::string& localFile, const std::string& url, UpdatePortal& host,
                          const std::string& userName, const std::string& password,
                          std::optional<int64_t> offeredBytes = std::nullopt);
void Bift_PostHandler(const std::string& postData, const std::string& url, const std::string& replyFile,
                      UpdatePortal& host, const std::string& userName, const std::string& password);

// The four transfers: 0 on success, otherwise the number of the error that ended it.
int32_t Bift_WinsockDownload(const std::string& localFile, const std::string& url, UpdatePortal& host,
                             const std::string& userName = {}, const std::string& password = {});
int32_t Bift_DartDownload(const std::string& localFile, const std::string& url, frmDartDownload& dart,
                          const std::string& userName, const std::string& password);
int32_t Bift_WinsockPostData(const std::string& postData, const std::string& url, const std::string& replyFile,
                             UpdatePortal& host, const std::string& userName = {}, const std::string& password = {});
int32_t Bift_DartPostData(const std::string& postData, const std::string& url, const std::string& replyFile,
                          frmDartDownload& dart, const std::string& userName, const std::string& password);

// Sets the cap of the GETs while it lives (the packet download's).
class DownloadCap {
 public:
  explicit DownloadCap(int64_t bytes);
  ~DownloadCap();
  DownloadCap(const DownloadCap&) = delete;
  DownloadCap& operator=(const DownloadCap&) = delete;

 private:
  int64_t old_;
};

// The limits of a transfer, from section Comms: ConnectTimeout, ReplyTimeout
// (seconds), LowSpeedLimit (bytes a second) and LowSpeedTime (seconds); unset
// or not a number gives 15, 60, 100, 30. A script's exchange, GET or POST, is
// bounded as a whole by ReplyTimeout. A download (offeredBytes given) keeps
// the least speed, and as a whole may take ReplyTimeout plus the time the
// offered size takes at the least speed.
http::TransferLimits transferLimits(std::optional<int64_t> offeredBytes = std::nullopt);
// The Host header's value for a URL: the host, and the port when it is not
// the scheme's default.
std::string hostHeaderValue(const std::string& url);

bool isWinsockConnectionFailure(long number);
bool isDartConnectionFailure(long number);

}  // namespace pellary
