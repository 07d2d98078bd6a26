// The frame window: one page at a time in its client area, the File and Help
// menus, and the exit question when it is closed.
#pragma once

#include <QList>
#include <QMainWindow>

class QAction;
class QMenu;

namespace pellary {

class frmMDIMain : public QMainWindow {
  Q_OBJECT
 public:
  explicit frmMDIMain(QWidget* parent = nullptr);

  // The area the pages are children of.
  QWidget* clientArea() const { return client_; }
  QMenu* mnuFile() const { return mnuFile_; }
  QMenu* mnuHelp() const { return mnuHelp_; }
  // A page with menus of its own shows them in place of the frame's while it
  // is on screen, as a child window's menus replace its frame's; no menus
  // bring the frame's back.
  void setPageMenus(const QList<QMenu*>& menus);
  // A page's button and a menu title with the same access key: the page's
  // button gets it while the page is on screen.
  void fitAccessKeys(QWidget* page);

  // Asks the exit question: Yes ends the program, No returns false.
  bool QueryUnload();
  void mnuFExit_Click();
  void mnuHContents_Click();
  void mnuHThisPage_Click();
  void mnuHTechnicalSupport_Click();
  void mnuHAbout_Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* client_;
  QMenu* mnuFile_;
  QMenu* mnuHelp_;
};

// The client area's size in twips.
inline constexpr int32_t kClientWidthTwips = 9420;
inline constexpr int32_t kClientHeightTwips = 6105;

// The one frame window of the run, created on first use.
frmMDIMain& mainFrame();
bool mainFrameExists();
void destroyMainFrame();

}  // namespace pellary
