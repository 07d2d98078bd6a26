#include "shell/frmMDIMain.h"

#include "core/app.h"

namespace pellary {

namespace {
frmMDIMain*& frameSlot() {
  static frmMDIMain* frame = nullptr;
  return frame;
}
}  // namespace

frmMDIMain::frmMDIMain(QWidget* parent) : QMainWindow(parent) {
  setObjectName("frmMDIMain");
  setWindowTitle(QString::fromStdString(appTitle()));
  resize(640, 480);
}

frmMDIMain& mainFrame() {
  if (!frameSlot()) frameSlot() = new frmMDIMain();
  return *frameSlot();
}

bool mainFrameExists() { return frameSlot() != nullptr; }

void destroyMainFrame() {
  delete frameSlot();
  frameSlot() = nullptr;
}

}  // namespace pellary
