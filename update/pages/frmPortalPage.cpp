#include "update/pages/frmPortalPage.h"

#include "core/gui/help_keys.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <cmath>
#include <memory>

#include "core/app.h"
#include "core/gui/local_browser.h"
#include "core/gui/placement.h"
#include "core/gui/plain_text.h"
#include "core/registry.h"
#include "core/shellwrap.h"
#include "core/update_run.h"
#include "core/wizard/program_end.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/variant.h"
#include "update/pages/proxy_question.h"
#include "update/update_manager.h"

namespace pellary {

namespace {
std::unique_ptr<frmPortalPage>& portalSlot() {
  static std::unique_ptr<frmPortalPage> slot;
  return slot;
}

// The portal stands in for a writer's page during an update run.
void installSurface() {
  updateRunSurface().setProgress = [](int16_t percent) { portalPage().setProgress(percent); };
  updateRunSurface().setStatus = [](const std::string& text) { portalPage().setStatusText(text); };
  updateRunSurface().failedUpdate = [](const std::string&) { Bmm_EndProgram(1); };
}
}  // namespace

namespace {
void placePortal(frmPortalPage& form);
}

frmPortalPage& portalPage() {
  auto& slot = portalSlot();
  if (!slot) {
    slot = std::make_unique<frmPortalPage>();
    installSurface();
  }
  return *slot;
}

bool portalExists() { return bool(portalSlot()); }

void unloadPortalPage() {
  if (portalSlot()) portalSlot()->hide();
  portalSlot().reset();
  updateRunSurface() = UpdateRunSurface{};
}

void connectUpdatePortal() {
  updatePortalHooks().open = []() -> UpdatePortal& { return portalPage(); };
  updatePortalHooks().existing = []() -> UpdatePortal* { return portalSlot().get(); };
  connectProxyQuestion();
}

frmPortalPage::frmPortalPage(QWidget* parent) : QWidget(parent) {
  setObjectName("frmPortalPage");
  setHelpTopic(*this, helptopic::Portal);
  resize(640, 520);

  browser_ = new LocalBrowser(this);
  browser_->setObjectName("wbpPortalPage");
  browser_->setGeometry(8, 8, 624, 420);
  browser_->setOpenLinks(false);
  connect(browser_, &QTextBrowser::anchorClicked, this,
          [this](const QUrl& url) { linkClicked(url.toString().toStdString()); });

  cmdYes_ = new QPushButton("&Yes", this);
  cmdYes_->setObjectName("cmdYes");
  cmdYes_->setGeometry(440, 480, 90, 28);
  cmdNo_ = new QPushButton("&No", this);
  cmdNo_->setObjectName("cmdNo");
  cmdNo_->setGeometry(540, 480, 90, 28);
  cmdClose_ = new QPushButton("&Close", this);
  cmdClose_->setObjectName("cmdClose");
  cmdClose_->setGeometry(540, 480, 90, 28);
  for (QPushButton* b : {cmdYes_, cmdNo_, cmdClose_}) b->setVisible(false);
  connect(cmdYes_, &QPushButton::clicked, this, [this] { cmdYes_Click(); });
  connect(cmdNo_, &QPushButton::clicked, this, [this] { cmdNo_Click(); });
  connect(cmdClose_, &QPushButton::clicked, this, [this] { cmdClose_Click(); });

  fraStatusBars_ = new QFrame(this);
  fraStatusBars_->setObjectName("fraStatusBars");
  fraStatusBars_->setGeometry(8, 432, 420, 76);
  fraStatusBars_->setFrameShape(QFrame::StyledPanel);
  pbPortalStatus_ = new QProgressBar(fraStatusBars_);
  pbPortalStatus_->setObjectName("pbPortalStatus");
  pbPortalStatus_->setGeometry(8, 8, 404, 22);
  pbPortalStatus_->setRange(0, 100);
  pbPortalStatus_->setValue(0);
  lblCurrentStatus_ = new QLabel("Status", fraStatusBars_);
  plainLabel(lblCurrentStatus_);
  lblCurrentStatus_->setObjectName("lblCurrentStatus");
  lblCurrentStatus_->setGeometry(8, 40, 404, 24);
  fraStatusBars_->setVisible(false);
  fraStatusBars_->setEnabled(false);

  httpWinsockDownload.onHeader = [this](const std::string& n, const std::string& v) { header(n, v); };
  httpWinsockDownload.onProgress = [this](int16_t state, int32_t count) { progress(state, count); };

  // Load.
  setWindowTitle(QString::fromStdString(appTitle()));
  placePortal(*this);
  proxyServer_ = Breg_GetRegSetting("Comms", "ProxyServer");
  std::string port = Breg_GetRegSetting("Comms", "ProxyPort");
  proxyPort_ = Variant(port.empty() ? std::string("8080") : port).toLong();
}

void frmPortalPage::setPage(const std::string& url) {
  page_ = url;
  QUrl u(QString::fromStdString(url));
  if (u.isLocalFile())
    browser_->setSource(u);
  else
    browser_->setHtml(QString());
}

void frmPortalPage::setMousePointer(int pointer) {
  mousePointer_ = pointer;
  if (pointer == 11)
    setCursor(Qt::WaitCursor);
  else
    unsetCursor();
}

void frmPortalPage::setProgress(double percent) {
  pbPortalStatus_->setValue(int(std::lround(std::min(percent, 100.0))));
}

void frmPortalPage::setButtonVisible(PortalButton button, bool visible) {
  QPushButton* b = button == PortalButton::Yes ? cmdYes_ : button == PortalButton::No ? cmdNo_ : cmdClose_;
  b->setVisible(visible);
}

void frmPortalPage::showStatusBars() {
  fraStatusBars_->setVisible(true);
  fraStatusBars_->setEnabled(true);
}

void frmPortalPage::setStatusText(const std::string& text) { lblCurrentStatus_->setText(QString::fromStdString(text)); }

void frmPortalPage::setProgressVisible(bool visible) { pbPortalStatus_->setVisible(visible); }

bool frmPortalPage::progressVisible() const { return pbPortalStatus_->isVisible(); }

bool frmPortalPage::linkClicked(const std::string& url) {
  if (paths::toUpperAscii(url.substr(0, 4)) == "HTTP") {
    Bshl_ShellExecute(0, url, "open", "", 1);
    return false;
  }
  setPage(url);
  return true;
}

void frmPortalPage::header(const std::string& name, const std::string& value) {
  if (paths::toUpperAscii(name) == "CONTENT-LENGTH") ExpectedLength = Variant(value).toLong();
}

void frmPortalPage::progress(int16_t state, int32_t count) {
  if (state == 1 && httpWinsockDownload.Action() == 1 && ExpectedLength != 0)
    setProgress(float(double(count) * 100.0 / double(ExpectedLength)));
}

void frmPortalPage::cmdYes_Click() { Bupd_ProcessUpdate(1); }

void frmPortalPage::cmdNo_Click() {
  Bupd_ProcessUpdate(0);
  Bupd_SetPortalPagePos();
}

void frmPortalPage::cmdClose_Click() {
  Bupd_SetPortalPagePos();
  Bmm_EndProgram();
}

bool frmPortalPage::queryClose() {
  int answer = MsgBox(kExitQuestion, mb::YesNo | mb::DefaultButton2 | mb::Exclamation, appTitle());
  if (answer != mb::Yes) return false;
  Bupd_SetPortalPagePos();
  return true;
}

void frmPortalPage::closeEvent(QCloseEvent* event) {
  if (!queryClose()) {
    event->ignore();
    return;
  }
  event->accept();
  Bmm_EndProgram();
}

namespace {
void placePortal(frmPortalPage& form) {
  trapped("Bupd_GetPortalPagePos", [&] {
    std::string left = Breg_GetRegSetting("CUE", "PortalLeft");
    std::string top = Breg_GetRegSetting("CUE", "PortalTop");
    if (left.empty() || top.empty()) {
      Bpo_CentreOnScreen(form);
    } else {
      setFormLeft(form, Variant(left).toLong());
      setFormTop(form, Variant(top).toLong());
    }
  });
}
}  // namespace

void Bupd_GetPortalPagePos() { placePortal(portalPage()); }

void Bupd_SetPortalPagePos() {
  trapped("Bupd_SetPortalPagePos", [] {
    frmPortalPage& form = portalPage();
    Breg_WriteRegSettings("CUE", "PortalLeft", Variant(double(formLeft(form))).toString());
    Breg_WriteRegSettings("CUE", "PortalTop", Variant(double(formTop(form))).toString());
  });
}

}  // namespace pellary
