// What the program needs of a tree control: nodes added by key relative to
// another node, looked up and removed by key, with text, image, fore colour
// and bold font. The selection screen's trees implement it over Qt; the
// headless MemoryTreeView serves tests and benchmarks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pellary {

// Relationship of a new node to its relative, as the tree control numbers them.
enum class TreeRelation : int16_t { First = 0, Last = 1, Next = 2, Previous = 3, Child = 4 };

// Colours as system colour codes.
inline constexpr uint32_t kColorGrayText = 0x80000011u;
inline constexpr uint32_t kColorWindowText = 0x80000008u;

// Error numbers of the tree control.
inline constexpr long kTreeKeyNotUnique = 35602;
inline constexpr long kTreeElementNotFound = 35601;

class TreeView {
 public:
  virtual ~TreeView() = default;

  // Adds a node. An empty relative key adds a root at the end. Raises AppError
  // 35602 for a key already in the tree and 35601 for a missing relative.
  virtual void add(const std::string& relativeKey, TreeRelation relation, const std::string& key,
                   const std::string& text, const std::string& image = {}) = 0;
  virtual bool exists(const std::string& key) const = 0;
  // Removes the node and its descendants; a missing key raises 35601.
  virtual void remove(const std::string& key) = 0;
  virtual void clear() = 0;

  // Node properties; a missing key raises 35601.
  virtual std::string text(const std::string& key) const = 0;
  virtual void setText(const std::string& key, const std::string& text) = 0;
  virtual std::string image(const std::string& key) const = 0;
  virtual void setImage(const std::string& key, const std::string& image) = 0;
  virtual uint32_t foreColor(const std::string& key) const = 0;
  virtual void setForeColor(const std::string& key, uint32_t color) = 0;
  virtual bool bold(const std::string& key) const = 0;
  virtual void setBold(const std::string& key, bool bold) = 0;
  // The parent's key; empty for a root.
  virtual std::string parentKey(const std::string& key) const = 0;
  virtual std::vector<std::string> childKeys(const std::string& key) const = 0;
  int childCount(const std::string& key) const { return static_cast<int>(childKeys(key).size()); }

  // Every node's key in display order (depth first), and the roots.
  virtual std::vector<std::string> keys() const = 0;
  virtual std::vector<std::string> rootKeys() const = 0;
  virtual int count() const = 0;
};

// A node's text followed by its parent's and grandparent's, comma-separated
// (how a category is named with its place in the tree).
std::string textWithAncestors(const TreeView& tree, const std::string& key);

// A tree kept in memory.
class MemoryTreeView : public TreeView {
 public:
  MemoryTreeView();
  ~MemoryTreeView() override;
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

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pellary
