// The tree interface over a QTreeWidget: node keys live in the items' data,
// system colours map to the palette, images name icons registered by key.
#pragma once

#include <QIcon>
#include <QString>
#include <QTreeWidget>

#include <map>
#include <string>
#include <unordered_map>

#include "core/tree_view.h"

namespace pellary {

class QtTreeView : public TreeView {
 public:
  // The widget stays owned by its window; it must outlive this view.
  explicit QtTreeView(QTreeWidget* widget);

  // The icon shown for an image name ("imgFileIcon", "1").
  void setImageIcon(const std::string& image, const QIcon& icon);
  QTreeWidget* widget() const { return widget_; }
  // The item of a key, nullptr when absent.
  QTreeWidgetItem* item(const std::string& key) const;

  void add(const std::string& relativeKey, TreeRelation relation, const std::string& key, const std::string& text,
           const std::string& image = {}) override;
  bool exists(const std::string& key) const override;
  void remove(const std::string& key) override;
  void clear() override;
  std::string text(const std::string& key) const override;
  void setText(const std::string& key, const std::string& text) override;
  std::string image(const std::string& key) const override;
  void setImage(const std::string& key, const std::string& image) override;
  uint32_t foreColor(const std::string& key) const override;
  void setForeColor(const std::string& key, uint32_t color) override;
  bool bold(const std::string& key) const override;
  void setBold(const std::string& key, bool bold) override;
  std::string parentKey(const std::string& key) const override;
  std::vector<std::string> childKeys(const std::string& key) const override;
  std::vector<std::string> keys() const override;
  std::vector<std::string> rootKeys() const override;
  int count() const override;

  static constexpr int kKeyRole = Qt::UserRole;
  static constexpr int kColorRole = Qt::UserRole + 1;
  static constexpr int kImageRole = Qt::UserRole + 2;

 private:
  QTreeWidgetItem* at(const std::string& key) const;
  static std::string keyOf(const QTreeWidgetItem* item);
  void forget(QTreeWidgetItem* item);

  QTreeWidget* widget_;
  std::unordered_map<std::string, QTreeWidgetItem*> items_;
  std::map<std::string, QIcon> icons_;
};

}  // namespace pellary
