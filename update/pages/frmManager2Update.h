// The update-change preview: the dates and reference pages the update will
// change. OK goes on with the follow-on work, Cancel skips it.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "core/preview_lists.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace pellary {

class QtCheckList;

class frmManager2Update : public QDialog {
  Q_OBJECT
 public:
  explicit frmManager2Update(QWidget* parent = nullptr);
  ~frmManager2Update() override;

  QTreeWidget* lstDatePreview() const { return lstDatePreview_; }
  QTreeWidget* lstReference() const { return lstReference_; }
  QPushButton* cmdBack() const { return cmdBack_; }  // "&OK"
  QPushButton* cmdNext() const { return cmdNext_; }  // "&Cancel"
  PreviewList& datesList();
  PreviewList& referenceList();

  void cmdBack_Click();
  void cmdNext_Click();
  // The close button and Escape: as Cancel.
  void reject() override;
  void lstDatePreview_ColumnClick(int column);
  void lstDatePreview_ItemCheck(QTreeWidgetItem* item);
  int sortColumn() const { return sortColumn_; }
  bool sortDescending() const { return descending_; }

  // Shows the window modally; tests install a stand-in for the modal run.
  void showModal();
  static std::function<void(frmManager2Update&)>& modalHook();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLabel* lblDatesChanges_;
  QLabel* lblReferenceChanges_;
  QTreeWidget* lstDatePreview_;
  QTreeWidget* lstReference_;
  QPushButton* cmdBack_;
  QPushButton* cmdNext_;
  std::unique_ptr<QtCheckList> dates_, reference_;
  double ratio_ = 2.15;
  int sortColumn_ = -1;
  bool descending_ = false;
};

// The window, loaded on first use; it installs its lists as the preview targets.
frmManager2Update& updatePreviewWindow();
bool updatePreviewExists();
void unloadUpdatePreviewWindow();

// Makes this window the run's update preview (updatePreviewShow).
void connectUpdatePreview();

}  // namespace pellary
