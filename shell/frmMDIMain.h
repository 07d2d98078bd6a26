// The frame window: one page at a time in its client area.
#pragma once

#include <QMainWindow>

namespace pellary {

class frmMDIMain : public QMainWindow {
  Q_OBJECT
 public:
  explicit frmMDIMain(QWidget* parent = nullptr);
};

// The one frame window of the run, created on first use.
frmMDIMain& mainFrame();
bool mainFrameExists();
void destroyMainFrame();

}  // namespace pellary
