#include "core/gui/check_list.h"

#include <QHeaderView>
#include <QPalette>
#include <QRegularExpression>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/text/collation.h"

namespace pellary {

namespace {

constexpr int kSortRole = Qt::UserRole + 2;

// A row sorts by its column's sort key when it has one (dates), else by the
// text as names sort everywhere in the program. Each column's keys are
// worked out once and kept until its text changes: a sort compares each row
// many times.
class ListRow : public QTreeWidgetItem {
 public:
  bool operator<(const QTreeWidgetItem& other) const override {
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    const auto* row = dynamic_cast<const ListRow*>(&other);
    if (!row) {
      const QVariant mine = data(column, kSortRole), theirs = other.data(column, kSortRole);
      if (mine.isValid() && theirs.isValid()) return mine.toString() < theirs.toString();
      return platform::text::compareNames(text(column).toStdString(), other.text(column).toStdString()) < 0;
    }
    return before(*this, *row, column);
  }

  // The order of two rows by a column: by day when both hold dates, else as names.
  static bool before(const ListRow& a, const ListRow& b, int column) {
    const Keys& mine = a.keys(column);
    const Keys& theirs = b.keys(column);
    if (mine.dated && theirs.dated) return mine.date < theirs.date;
    return a.nameKey(column) < b.nameKey(column);
  }

  void setData(int column, int role, const QVariant& value) override {
    if (column >= 0 && size_t(column) < keys_.size() &&
        (role == Qt::DisplayRole || role == Qt::EditRole || role == kSortRole))
      keys_[size_t(column)] = Keys{};
    QTreeWidgetItem::setData(column, role, value);
  }

 private:
  struct Keys {
    bool known = false, dated = false, named = false;
    QString date;
    std::string name;
  };
  Keys& slot(int column) const {
    if (column < 0) column = 0;
    if (size_t(column) >= keys_.size()) keys_.resize(size_t(column) + 1);
    return keys_[size_t(column)];
  }
  const Keys& keys(int column) const {
    Keys& k = slot(column);
    if (!k.known) {
      const QVariant date = data(column, kSortRole);
      k.known = true;
      k.dated = date.isValid();
      if (k.dated) k.date = date.toString();
    }
    return k;
  }
  const std::string& nameKey(int column) const {
    Keys& k = slot(column);
    if (!k.named) {
      k.name = platform::text::nameSortKey(text(column).toStdString());
      k.named = true;
    }
    return k.name;
  }
  mutable std::vector<Keys> keys_;
};

// "dd/mm/yyyy" sorts as yyyymmdd.
QVariant dateSortKey(const QString& text) {
  static const QRegularExpression shortDate(R"(^(\d{2})/(\d{2})/(\d{4})$)");
  QRegularExpressionMatch m = shortDate.match(text);
  if (!m.hasMatch()) return {};
  return m.captured(3) + m.captured(2) + m.captured(1);
}

}  // namespace

QtCheckList::QtCheckList(QTreeWidget* widget, int firstGreyColumn, bool ticks)
    : widget_(widget), firstGrey_(firstGreyColumn), ticks_(ticks) {
  widget_->setRootIsDecorated(false);
  // Every row is one line: the view need not measure each of thousands.
  widget_->setUniformRowHeights(true);
  // Sorting happens only when the user clicks a header, which must stay clickable.
  widget_->setSortingEnabled(false);
  widget_->header()->setSectionsClickable(true);
  QObject::connect(widget_, &QTreeWidget::itemChanged, widget_, [this](QTreeWidgetItem* item, int column) {
    if (filling_ || column != 0) return;
    bool on = ticked(item);
    // The tick is the only change the list reports once.
    if (item->data(0, kKeyRole + 1).toBool() == on) return;
    item->setData(0, kKeyRole + 1, on);
    if (tick_) tick_(item, on);
  });
}

void QtCheckList::sort(int column, Qt::SortOrder order) {
  // The header holds the sort column that rows compare by.
  widget_->header()->setSortIndicator(column, order);
  std::vector<ListRow*> rows;
  rows.reserve(size_t(rowCount()));
  for (int i = 0; i < rowCount(); ++i) {
    auto* row = dynamic_cast<ListRow*>(item(i));
    if (!row) {
      widget_->sortItems(column, order);
      return;
    }
    rows.push_back(row);
  }
  // Sorted beside the list and put back at once: the list need not move a
  // row, nor the view follow, at every comparison. Equal rows keep their order.
  if (order == Qt::AscendingOrder)
    std::stable_sort(rows.begin(), rows.end(),
                     [column](const ListRow* a, const ListRow* b) { return ListRow::before(*a, *b, column); });
  else
    std::stable_sort(rows.begin(), rows.end(),
                     [column](const ListRow* a, const ListRow* b) { return ListRow::before(*b, *a, column); });
  QTreeWidgetItem* current = widget_->currentItem();
  const QList<QTreeWidgetItem*> selected = widget_->selectedItems();
  filling_ = true;
  widget_->invisibleRootItem()->takeChildren();
  widget_->addTopLevelItems(QList<QTreeWidgetItem*>(rows.begin(), rows.end()));
  if (current) widget_->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
  for (QTreeWidgetItem* i : selected) i->setSelected(true);
  filling_ = false;
}

void QtCheckList::clear() {
  filling_ = true;
  widget_->clear();
  filling_ = false;
}

void QtCheckList::addRow(const PreviewRow& row) {
  filling_ = true;
  auto* item = new ListRow();
  item->setText(0, QString::fromStdString(row.text));
  for (size_t i = 0; i < row.subItems.size(); ++i) {
    const QString text = QString::fromStdString(row.subItems[i]);
    item->setText(int(i) + 1, text);
    if (QVariant key = dateSortKey(text); key.isValid()) item->setData(int(i) + 1, kSortRole, key);
  }
  item->setData(0, kKeyRole, QString::fromStdString(row.key));
  if (ticks_) {
    item->setData(0, kKeyRole + 1, row.checked);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, row.checked ? Qt::Checked : Qt::Unchecked);
  }
  widget_->addTopLevelItem(item);
  if (ticks_) colour(item);
  filling_ = false;
}

int QtCheckList::rowCount() const { return widget_->topLevelItemCount(); }

QTreeWidgetItem* QtCheckList::item(int index) const { return widget_->topLevelItem(index); }

PreviewRow QtCheckList::row(int index) const {
  QTreeWidgetItem* i = item(index);
  PreviewRow r;
  if (!i) return r;
  r.key = keyOf(i);
  r.text = i->text(0).toStdString();
  for (int c = 1; c < widget_->columnCount(); ++c) r.subItems.push_back(i->text(c).toStdString());
  r.checked = !ticks_ || ticked(i);
  return r;
}

QTreeWidgetItem* QtCheckList::find(const std::string& key) const {
  for (int i = 0; i < rowCount(); ++i)
    if (keyOf(item(i)) == key) return item(i);
  return nullptr;
}

void QtCheckList::colour(QTreeWidgetItem* item) const {
  const QPalette& p = widget_->palette();
  QColor c = ticked(item) ? p.color(QPalette::Active, QPalette::Text) : p.color(QPalette::Disabled, QPalette::Text);
  bool was = filling_;
  const_cast<QtCheckList*>(this)->filling_ = true;
  for (int col = firstGrey_; col < widget_->columnCount(); ++col) item->setForeground(col, c);
  const_cast<QtCheckList*>(this)->filling_ = was;
}

std::string QtCheckList::keyOf(const QTreeWidgetItem* item) {
  return item ? item->data(0, kKeyRole).toString().toStdString() : std::string();
}
bool QtCheckList::ticked(const QTreeWidgetItem* item) { return item && item->checkState(0) == Qt::Checked; }

}  // namespace pellary
