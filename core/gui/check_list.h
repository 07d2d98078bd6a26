// A report-style list with a tick box per row over a QTreeWidget: the preview
// list interface for the summary page and the event options dialog. Unticked
// rows are drawn in the grey-text colour from the given column on. It lives
// below the shell so that the update preview can use it too.
#pragma once

#include <QTreeWidget>

#include <functional>
#include <string>

#include "core/preview_lists.h"

namespace pellary {

class QtCheckList : public PreviewList {
 public:
  // firstGreyColumn: the first column greyed when a row is unticked. A list
  // without ticks shows its rows only, each counting as ticked.
  QtCheckList(QTreeWidget* widget, int firstGreyColumn, bool ticks = true);

  void clear() override;
  void addRow(const PreviewRow& row) override;
  int rowCount() const override;
  PreviewRow row(int index) const override;

  QTreeWidget* widget() const { return widget_; }
  QTreeWidgetItem* item(int index) const;
  // The item with this key, nullptr when absent.
  QTreeWidgetItem* find(const std::string& key) const;
  // Sorts the rows by a column as a click on its header does (dates by day,
  // other texts as names; equal rows keep their order).
  void sort(int column, Qt::SortOrder order);
  // Colours a row by its tick.
  void colour(QTreeWidgetItem* item) const;
  // Called when the user changes a row's tick (not when the list is filled).
  void onTickChanged(std::function<void(QTreeWidgetItem*, bool)> handler) { tick_ = std::move(handler); }

  static std::string keyOf(const QTreeWidgetItem* item);
  static bool ticked(const QTreeWidgetItem* item);
  static constexpr int kKeyRole = Qt::UserRole;

 private:
  QTreeWidget* widget_;
  int firstGrey_;
  bool ticks_;
  bool filling_ = false;
  std::function<void(QTreeWidgetItem*, bool)> tick_;
};

}  // namespace pellary
