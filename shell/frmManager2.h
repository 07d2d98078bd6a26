// The summary page (wizard page 2): the calendar changes and the reference
// changes about to be made, each row with a tick to confirm it. Its two lists
// are the preview targets while the page lives.
#pragma once

#include <QWidget>

#include <memory>

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace pellary {

class QtCheckList;

class frmManager2 : public QWidget {
  Q_OBJECT
 public:
  explicit frmManager2(QWidget* parent = nullptr);
  ~frmManager2() override;

  QtCheckList& datesList() const { return *dates_; }
  QtCheckList& referenceList() const { return *reference_; }

  void cmdNext_Click();
  void cmdBack_Click();
  // A click on a column header of either list.
  void lstDatePreview_ColumnClick(int column) { columnClick(*dates_, dateSort_, column); }
  void lstReference_ColumnClick(int column) { columnClick(*reference_, refSort_, column); }
  void lstDatePreview_ItemCheck(QTreeWidgetItem* item, bool ticked);
  void lstReference_ItemCheck(QTreeWidgetItem* item, bool ticked);

 private:
  struct SortState {
    int column = 1;
    bool descending = false;
  };
  static void columnClick(QtCheckList& list, SortState& state, int column);

  QTreeWidget* lstDatePreview_;
  QTreeWidget* lstReference_;
  std::unique_ptr<QtCheckList> dates_, reference_;
  SortState dateSort_, refSort_;
};

// "These changes will be made to ..." of the two labels.
QString datesChangesCaption();
QString referenceChangesCaption();

}  // namespace pellary
