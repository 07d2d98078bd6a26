#include "shell/frmMDIMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QResizeEvent>

#include "core/app.h"
#include "core/gui/help_keys.h"
#include "core/gui/placement.h"
#include "core/shellwrap.h"
#include "core/wizard/program_end.h"
#include "shell/small_pages.h"

namespace pellary {

namespace {
frmMDIMain*& frameSlot() {
  static frmMDIMain* frame = nullptr;
  return frame;
}

QAction* menuItem(QMenu* menu, const char* name, const QString& caption) {
  QAction* a = menu->addAction(caption);
  a->setObjectName(name);
  return a;
}
}  // namespace

frmMDIMain::frmMDIMain(QWidget* parent) : QMainWindow(parent) {
  setObjectName("frmMDIMain");
  setWindowTitle(QString::fromStdString(appTitle()));

  mnuFile_ = menuBar()->addMenu("&File");
  mnuFile_->setObjectName("mnuFile");
  QAction* exitItem = menuItem(mnuFile_, "mnuFExit", "E&xit");
  // The page engine enables it when the selection screen first shows.
  mnuFile_->menuAction()->setEnabled(false);
  mnuHelp_ = menuBar()->addMenu("&Help");
  mnuHelp_->setObjectName("mnuHelp");
  QAction* thisPage = menuItem(mnuHelp_, "mnuHThisPage", "Help on this &page\tF1");
  QAction* contents = menuItem(mnuHelp_, "mnuHContents", "&Contents");
  mnuHelp_->addSeparator();
  QAction* support = menuItem(mnuHelp_, "mnuHTechnicalSupport", "&Technical Support");
  mnuHelp_->addSeparator();
  QAction* about = menuItem(mnuHelp_, "mnuHAbout", "&About " + QString::fromStdString(appTitle()));
  connect(exitItem, &QAction::triggered, this, [this] { mnuFExit_Click(); });
  connect(contents, &QAction::triggered, this, [this] { mnuHContents_Click(); });
  connect(thisPage, &QAction::triggered, this, [this] { mnuHThisPage_Click(); });
  connect(support, &QAction::triggered, this, [this] { mnuHTechnicalSupport_Click(); });
  connect(about, &QAction::triggered, this, [this] { mnuHAbout_Click(); });

  // Load: the client area is held at its size whatever the decoration.
  client_ = new QWidget(this);
  client_->setObjectName("clientArea");
  client_->setFixedSize(roundToLong(kClientWidthTwips / twipsPerPixelX(this)),
                        roundToLong(kClientHeightTwips / twipsPerPixelY(this)));
  setCentralWidget(client_);
  adjustSize();
  Bpo_CenterForm(*this);
  Bpo_FixMainFormWidth(*this);
}

void frmMDIMain::setPageMenus(const QList<QMenu*>& menus) {
  // Taken out and put back rather than hidden: a hidden action reads as disabled.
  QMenuBar* bar = menuBar();
  for (QAction* a : bar->actions()) bar->removeAction(a);
  const QList<QMenu*> shown = menus.isEmpty() ? QList<QMenu*>{mnuFile_, mnuHelp_} : menus;
  for (QMenu* m : shown) bar->addAction(m->menuAction());
}

void frmMDIMain::fitAccessKeys(QWidget* page) {
  auto accessKey = [](const QString& text) -> QChar {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
      if (text[i] != '&') continue;
      if (text[i + 1] == '&') {
        ++i;
        continue;
      }
      return text[i + 1].toLower();
    }
    return {};
  };
  for (QAction* a : menuBar()->actions()) {
    // The caption as designed is kept; only the access key gives way.
    QVariant designed = a->property("designedText");
    if (!designed.isValid()) a->setProperty("designedText", designed = a->text());
    const QString text = designed.toString();
    const QChar key = accessKey(text);
    bool clash = false;
    if (page && !key.isNull())
      for (QAbstractButton* b : page->findChildren<QAbstractButton*>())
        if (b->isVisibleTo(page) && accessKey(b->text()) == key) clash = true;
    a->setText(clash ? QString(text).remove(text.indexOf('&'), 1) : text);
  }
  // The bar takes its access keys anew when it lays its items out.
  QResizeEvent relayout(menuBar()->size(), menuBar()->size());
  QApplication::sendEvent(menuBar(), &relayout);
}

bool frmMDIMain::QueryUnload() {
  Bmm_CancelProgram();
  return false;
}

void frmMDIMain::closeEvent(QCloseEvent* event) {
  if (!QueryUnload()) event->ignore();
}

void frmMDIMain::mnuFExit_Click() { QueryUnload(); }

void frmMDIMain::mnuHContents_Click() { Bhp_HelpIndex(); }

void frmMDIMain::mnuHThisPage_Click() { showHelpForFocus(); }

void frmMDIMain::mnuHTechnicalSupport_Click() {
  // A failed browser start is not reported.
  setCursor(Qt::WaitCursor);
  Bshl_ShellExecute(0, kTechnicalSupport, "open", "", 1);
  unsetCursor();
}

void frmMDIMain::mnuHAbout_Click() {
  frmAbout about(this);
  about.exec();
}

frmMDIMain& mainFrame() {
  if (!frameSlot()) frameSlot() = new frmMDIMain();
  return *frameSlot();
}

bool mainFrameExists() { return frameSlot() != nullptr; }

void destroyMainFrame() {
  Bpo_FreeMainFormWidth();
  // Forgotten first: pages hidden while it goes find no frame to change.
  frmMDIMain* frame = frameSlot();
  frameSlot() = nullptr;
  delete frame;
}

}  // namespace pellary
