#include "core/gui/qt_tree_view.h"

#include <QPalette>

#include "platform/errors.h"

namespace pellary {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }

QColor colorOf(uint32_t code, const QWidget* w) {
  const QPalette& p = w->palette();
  if (code == kColorGrayText) return p.color(QPalette::Disabled, QPalette::Text);
  if (code == kColorWindowText) return p.color(QPalette::Active, QPalette::Text);
  // An RGB value stored as 0x00BBGGRR.
  return QColor(code & 0xFF, (code >> 8) & 0xFF, (code >> 16) & 0xFF);
}
}  // namespace

QtTreeView::QtTreeView(QTreeWidget* widget) : widget_(widget) {
  widget_->setHeaderHidden(true);
  widget_->setColumnCount(1);
  // The databank's order is the display order.
  widget_->setSortingEnabled(false);
}

void QtTreeView::setImageIcon(const std::string& image, const QIcon& icon) { icons_[image] = icon; }

QTreeWidgetItem* QtTreeView::item(const std::string& key) const {
  auto it = items_.find(key);
  return it == items_.end() ? nullptr : it->second;
}

QTreeWidgetItem* QtTreeView::at(const std::string& key) const {
  QTreeWidgetItem* i = item(key);
  if (!i) raise(kTreeElementNotFound, "Element not found");
  return i;
}

std::string QtTreeView::keyOf(const QTreeWidgetItem* item) { return item->data(0, kKeyRole).toString().toStdString(); }

void QtTreeView::add(const std::string& relativeKey, TreeRelation relation, const std::string& key,
                     const std::string& text, const std::string& image) {
  if (items_.count(key)) raise(kTreeKeyNotUnique, "Key is not unique in collection");
  QTreeWidgetItem* parent = nullptr;
  int pos = widget_->topLevelItemCount();
  if (!relativeKey.empty()) {
    QTreeWidgetItem* rel = at(relativeKey);
    if (relation == TreeRelation::Child) {
      parent = rel;
      pos = rel->childCount();
    } else {
      parent = rel->parent();
      int relPos = parent ? parent->indexOfChild(rel) : widget_->indexOfTopLevelItem(rel);
      int size = parent ? parent->childCount() : widget_->topLevelItemCount();
      switch (relation) {
        case TreeRelation::First: pos = 0; break;
        case TreeRelation::Last: pos = size; break;
        case TreeRelation::Next: pos = relPos + 1; break;
        case TreeRelation::Previous: pos = relPos; break;
        case TreeRelation::Child: break;
      }
    }
  }
  auto* node = new QTreeWidgetItem();
  node->setText(0, q(text));
  // A row cut off by the tree's width can still be read whole.
  node->setToolTip(0, q(text));
  node->setData(0, kKeyRole, q(key));
  node->setData(0, kColorRole, static_cast<qulonglong>(kColorWindowText));
  if (parent)
    parent->insertChild(pos, node);
  else
    widget_->insertTopLevelItem(pos, node);
  items_[key] = node;
  setImage(key, image);
}

bool QtTreeView::exists(const std::string& key) const { return items_.count(key) != 0; }

void QtTreeView::forget(QTreeWidgetItem* item) {
  for (int i = 0; i < item->childCount(); ++i) forget(item->child(i));
  items_.erase(keyOf(item));
}

void QtTreeView::remove(const std::string& key) {
  QTreeWidgetItem* i = at(key);
  forget(i);
  delete i;  // detaches it from its parent or the widget
}

void QtTreeView::clear() {
  widget_->clear();
  items_.clear();
}

std::string QtTreeView::text(const std::string& key) const { return at(key)->text(0).toStdString(); }
void QtTreeView::setText(const std::string& key, const std::string& text) {
  at(key)->setText(0, q(text));
  at(key)->setToolTip(0, q(text));
}

std::string QtTreeView::image(const std::string& key) const {
  return at(key)->data(0, kImageRole).toString().toStdString();
}
void QtTreeView::setImage(const std::string& key, const std::string& image) {
  QTreeWidgetItem* i = at(key);
  i->setData(0, kImageRole, q(image));
  auto it = icons_.find(image);
  i->setIcon(0, it == icons_.end() ? QIcon() : it->second);
}

uint32_t QtTreeView::foreColor(const std::string& key) const {
  return static_cast<uint32_t>(at(key)->data(0, kColorRole).toULongLong());
}
void QtTreeView::setForeColor(const std::string& key, uint32_t color) {
  QTreeWidgetItem* i = at(key);
  i->setData(0, kColorRole, static_cast<qulonglong>(color));
  i->setForeground(0, QBrush(colorOf(color, widget_)));
}

bool QtTreeView::bold(const std::string& key) const { return at(key)->font(0).bold(); }
void QtTreeView::setBold(const std::string& key, bool bold) {
  QTreeWidgetItem* i = at(key);
  QFont f = i->font(0);
  f.setBold(bold);
  i->setFont(0, f);
}

std::string QtTreeView::parentKey(const std::string& key) const {
  QTreeWidgetItem* p = at(key)->parent();
  return p ? keyOf(p) : std::string();
}

std::vector<std::string> QtTreeView::childKeys(const std::string& key) const {
  QTreeWidgetItem* i = at(key);
  std::vector<std::string> out;
  for (int c = 0; c < i->childCount(); ++c) out.push_back(keyOf(i->child(c)));
  return out;
}

std::vector<std::string> QtTreeView::keys() const {
  std::vector<std::string> out;
  out.reserve(items_.size());
  for (QTreeWidgetItemIterator it(widget_); *it; ++it) out.push_back(keyOf(*it));
  return out;
}

std::vector<std::string> QtTreeView::rootKeys() const {
  std::vector<std::string> out;
  for (int i = 0; i < widget_->topLevelItemCount(); ++i) out.push_back(keyOf(widget_->topLevelItem(i)));
  return out;
}

int QtTreeView::count() const { return static_cast<int>(items_.size()); }

}  // namespace pellary
