// The one window of an update run: the server's pages, Yes / No / Close, the
// progress of the download and of the follow-on work. It carries the first
// HTTP control and keeps the program alive until the user closes it.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "update/http/http_controls.h"
#include "update/update_portal.h"

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QTextBrowser;
class QUrl;

namespace pellary {

class frmPortalPage : public QWidget, public UpdatePortal {
  Q_OBJECT
 public:
  explicit frmPortalPage(QWidget* parent = nullptr);

  // The browser's page (its address property): a file URL or a web address.
  void setPage(const std::string& url) override;
  const std::string& page() const { return page_; }

  QTextBrowser* wbpPortalPage() const { return browser_; }
  QPushButton* cmdYes() const { return cmdYes_; }
  QPushButton* cmdNo() const { return cmdNo_; }
  QPushButton* cmdClose() const { return cmdClose_; }
  QFrame* fraStatusBars() const { return fraStatusBars_; }
  QProgressBar* pbPortalStatus() const { return pbPortalStatus_; }
  QLabel* lblCurrentStatus() const { return lblCurrentStatus_; }

  // Mouse pointer: 11 hourglass, 0 default.
  void setMousePointer(int pointer) override;
  int mousePointer() const { return mousePointer_; }
  // The progress bar's value, a percentage that may pass 100.
  void setProgress(double percent) override;

  // The run's view of this window.
  http::WinsockHttp& winsockControl() override { return httpWinsockDownload; }
  void showWindow() override { show(); }
  intptr_t ownerHandle() const override { return intptr_t(winId()); }
  void setButtonVisible(PortalButton button, bool visible) override;
  void showStatusBars() override;
  void setStatusText(const std::string& text) override;
  void setProgressVisible(bool visible) override;
  bool progressVisible() const override;

  // The browser's proxy (its properties 27 and 28).
  const std::string& browserProxyServer() const { return proxyServer_; }
  int32_t browserProxyPort() const { return proxyPort_; }

  // The first HTTP control and the length its last CONTENT-LENGTH announced.
  http::WinsockHttp httpWinsockDownload;
  int32_t ExpectedLength = 0;

  // A link clicked in the browser: web links go to the default browser, the
  // rest open here. Returns true when the portal followed it.
  bool linkClicked(const std::string& url);

  void cmdYes_Click();
  void cmdNo_Click();
  void cmdClose_Click();
  // The close box: true when the window may close (the program then ends).
  bool queryClose();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void header(const std::string& name, const std::string& value);
  void progress(int16_t state, int32_t count);

  QTextBrowser* browser_;
  QPushButton *cmdYes_, *cmdNo_, *cmdClose_;
  QFrame* fraStatusBars_;
  QProgressBar* pbPortalStatus_;
  QLabel* lblCurrentStatus_;
  std::string page_;
  std::string proxyServer_;
  int32_t proxyPort_ = 0;
  int mousePointer_ = 0;
};

// The window of the run, created on first use; portalExists() does not create it.
frmPortalPage& portalPage();
bool portalExists();
// Closes and forgets the window (tests, and the program's end).
void unloadPortalPage();
// Makes this window the run's portal (updatePortalHooks) and its dialog the
// transport's proxy question.
void connectUpdatePortal();

void Bupd_GetPortalPagePos();
void Bupd_SetPortalPagePos();

}  // namespace pellary
