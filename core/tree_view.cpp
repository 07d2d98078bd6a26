#include "core/tree_view.h"

#include <algorithm>
#include <unordered_map>

#include "platform/errors.h"

namespace pellary {

struct MemoryTreeView::Impl {
  struct Node {
    std::string key, text, image, parent;
    uint32_t color = kColorWindowText;
    bool bold = false;
    std::vector<std::string> children;
  };
  std::unordered_map<std::string, Node> nodes;
  std::vector<std::string> roots;

  Node& at(const std::string& key) {
    auto it = nodes.find(key);
    if (it == nodes.end()) raise(kTreeElementNotFound, "Element not found");
    return it->second;
  }
  const Node& at(const std::string& key) const { return const_cast<Impl*>(this)->at(key); }
  std::vector<std::string>& siblingsOf(const Node& n) { return n.parent.empty() ? roots : at(n.parent).children; }
  void walk(const std::vector<std::string>& level, std::vector<std::string>& out) const {
    for (const std::string& k : level) {
      out.push_back(k);
      walk(at(k).children, out);
    }
  }
  void erase(const std::string& key) {
    Node& n = at(key);
    for (const std::string& c : std::vector<std::string>(n.children)) erase(c);
    nodes.erase(key);
  }
};

MemoryTreeView::MemoryTreeView() : impl_(std::make_unique<Impl>()) {}
MemoryTreeView::~MemoryTreeView() = default;

void MemoryTreeView::add(const std::string& relativeKey, TreeRelation relation, const std::string& key,
                         const std::string& text, const std::string& image) {
  if (impl_->nodes.count(key)) raise(kTreeKeyNotUnique, "Key is not unique in collection");
  Impl::Node node{key, text, image, {}, kColorWindowText, false, {}};
  std::vector<std::string>* level = &impl_->roots;
  size_t pos = impl_->roots.size();
  if (!relativeKey.empty()) {
    Impl::Node& rel = impl_->at(relativeKey);
    if (relation == TreeRelation::Child) {
      node.parent = relativeKey;
      level = &rel.children;
      pos = level->size();
    } else {
      node.parent = rel.parent;
      level = &impl_->siblingsOf(rel);
      size_t relPos = std::find(level->begin(), level->end(), relativeKey) - level->begin();
      switch (relation) {
        case TreeRelation::First: pos = 0; break;
        case TreeRelation::Last: pos = level->size(); break;
        case TreeRelation::Next: pos = relPos + 1; break;
        case TreeRelation::Previous: pos = relPos; break;
        case TreeRelation::Child: break;
      }
    }
  }
  level->insert(level->begin() + static_cast<std::ptrdiff_t>(pos), key);
  impl_->nodes.emplace(key, std::move(node));
}

bool MemoryTreeView::exists(const std::string& key) const { return impl_->nodes.count(key) != 0; }

void MemoryTreeView::remove(const std::string& key) {
  Impl::Node& n = impl_->at(key);
  std::vector<std::string>& level = impl_->siblingsOf(n);
  level.erase(std::find(level.begin(), level.end(), key));
  impl_->erase(key);
}

void MemoryTreeView::clear() {
  impl_->nodes.clear();
  impl_->roots.clear();
}

std::string MemoryTreeView::text(const std::string& key) const { return impl_->at(key).text; }
void MemoryTreeView::setText(const std::string& key, const std::string& text) { impl_->at(key).text = text; }
std::string MemoryTreeView::image(const std::string& key) const { return impl_->at(key).image; }
void MemoryTreeView::setImage(const std::string& key, const std::string& image) { impl_->at(key).image = image; }
uint32_t MemoryTreeView::foreColor(const std::string& key) const { return impl_->at(key).color; }
void MemoryTreeView::setForeColor(const std::string& key, uint32_t color) { impl_->at(key).color = color; }
bool MemoryTreeView::bold(const std::string& key) const { return impl_->at(key).bold; }
void MemoryTreeView::setBold(const std::string& key, bool bold) { impl_->at(key).bold = bold; }
std::string MemoryTreeView::parentKey(const std::string& key) const { return impl_->at(key).parent; }
std::vector<std::string> MemoryTreeView::childKeys(const std::string& key) const { return impl_->at(key).children; }

std::vector<std::string> MemoryTreeView::keys() const {
  std::vector<std::string> out;
  out.reserve(impl_->nodes.size());
  impl_->walk(impl_->roots, out);
  return out;
}
std::vector<std::string> MemoryTreeView::rootKeys() const { return impl_->roots; }
int MemoryTreeView::count() const { return static_cast<int>(impl_->nodes.size()); }

std::string textWithAncestors(const TreeView& tree, const std::string& key) {
  std::string text = tree.text(key);
  std::string k = key;
  for (int i = 0; i < 2; ++i) {
    k = tree.parentKey(k);
    if (k.empty()) break;
    text += ", " + tree.text(k);
  }
  return text;
}

}  // namespace pellary
