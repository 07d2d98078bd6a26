// The selection screen (wizard page 1): one tab per product with its
// category and reference trees on the left, the user's selection on the
// right, arrows between them, the reference tick boxes and Continue. The
// work is done by the selection procedures; this window draws and forwards.
#pragma once

#include <QWidget>

#include <array>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QTextBrowser;
class QTimer;
class QTreeWidget;
class QUrl;

namespace pellary {

class ClickImage;
class QtTreeView;

inline constexpr int kTreeTabs = 6;

class frmManagerMain : public QWidget {
  Q_OBJECT
 public:
  explicit frmManagerMain(QWidget* parent = nullptr);
  ~frmManagerMain() override;

  // Puts the trees and the hooks into the screen link; from then on the
  // product loader's Bint_ManagerMainInitialize loads this form first.
  void attachToScreenLink();
  // Form load, once.
  void ensureLoaded();
  bool loaded() const { return loaded_; }

  QtTreeView& categorySelector(int index) const { return *catViews_[size_t(index)]; }
  QtTreeView& referenceSelector(int index) const { return *refViews_[size_t(index)]; }
  QtTreeView& selectedItems() const { return *selectedView_; }
  QtTreeView& referenceSelected() const { return *refSelectedView_; }

  QMenu* mnuFile() const { return mnuFile_; }
  QMenu* mnuHelp() const { return mnuHelp_; }

  bool TipsOn = false;
  int32_t ToolTipTopic = 0;

  // Handlers.
  void cmdNext_Click();
  void cmdLeft_Click();
  void cmdRight_Click();
  void imgTabsBack_Click(int index);
  void imgEventAdd_Click();
  void imgRefAdd_Click();
  void imgEventRem_Click();
  void imgRefRem_Click();
  void tvCategorySelector_Click(int index);
  void tvReferenceSelector_Click(int index);
  void tvSelectedItems_Click();
  void tvReferenceSelected_Click();
  void tvCategorySelector_DblClick(int index);
  void tvReferenceSelector_DblClick(int index);
  void tvSelectedItems_DblClick();
  void tvReferenceSelected_DblClick();
  void tvCategorySelector_RightClick(int index, const QPoint& pos);
  void tvSelectedItems_RightClick(const QPoint& pos);
  // The web panel's link: true when the panel follows it itself.
  bool wbpOtherProducts_BeforeNavigate(const QUrl& url);
  void mnuFExit_Click();
  void mnuHContents_Click();
  void mnuHThisPage_Click();
  void mnuHAbout_Click();
  void mnuHTechnicalSupport_Click();
  void mnuHDontShowMeTips_Click();
  void mnuPPreview_Click();
  void mnuRPreview_Click();
  void mnuPAddToSelection_Click();
  void mnuRRemoveFromMySelection_Click();
  void mnuPHelp_Click();
  void tmrToolTips_Timer();

  // The image index (1 to 4 of imlTabArrows) an arrow shows.
  static int arrowImage(const ClickImage* arrow);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // A screen shown before the product loader asked for it loads then; its
  // menus take the frame's place while it is on screen.
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void formLoad();
  void layoutStrip();
  void redraw();
  QString tabName(int entry) const;
  void setArrow(ClickImage* arrow, bool enabled, int image);
  void topic(int32_t t);
  void stamp();
  std::vector<std::string> selectedKeys(QTreeWidget* tree) const;
  std::string currentKey(QTreeWidget* tree) const;

  bool loaded_ = false;
  // The pointer action last given a topic: a press travels up to the parents.
  const void* lastTipEvent_ = nullptr;
  quint64 lastTipTime_ = 0;
  std::array<QTreeWidget*, kTreeTabs> tvCategorySelector_{};
  std::array<QTreeWidget*, kTreeTabs> tvReferenceSelector_{};
  QTreeWidget* tvSelectedItems_;
  QTreeWidget* tvReferenceSelected_;
  std::array<std::unique_ptr<QtTreeView>, kTreeTabs> catViews_, refViews_;
  std::unique_ptr<QtTreeView> selectedView_, refSelectedView_;
  ClickImage *imgEventAdd_, *imgEventRem_, *imgRefAdd_, *imgRefRem_;
  std::array<ClickImage*, 4> imgTabsBack_{};
  // The selected tab, drawn at its place joined to the page below it.
  QLabel* imgTabSelected_;
  // The caption of each product-table entry's tab.
  std::array<QString, 9> tabNames_;
  QPushButton *cmdLeft_, *cmdRight_, *cmdNext_;
  QFrame* fraCover_;
  QLabel *lblDatesPlatform_, *lblRefPlatforms_, *imgTabBackground_;
  QCheckBox *chkRef1_, *chkRef2_;
  QTextBrowser* wbpOtherProducts_;
  QTimer* tmrToolTips_;
  QMenu *mnuFile_, *mnuHelp_, *mnuPopUpMenu_, *mnuRightPopUpMenu_;
  QAction* mnuHDontShowMeTips_;
};

// Shows a help topic as a popup when the frame window is in front (topic 0 shows 91).
void Bint_ManMainToolTips(int32_t& topic);

// The selection screen of the run, created on first use (before the start
// data loads, so that the product loader finds its trees).
frmManagerMain& selectionScreen();
// The screen when it exists, else null.
frmManagerMain* selectionScreenIfAny();

class WizardPages;
// Puts the selection screen (slot 1, the one selectionScreen() made) and the
// summary page (slot 2) into the page table.
void registerSelectionPages(WizardPages& table);

}  // namespace pellary
