// Panels of a multi-step page: each step's controls sit in a QGroupBox, and
// the page switches steps by showing panels by name. Sizes and positions are
// twips, relative to the panel's parent.
#pragma once

#include <QGroupBox>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pellary {

// Panels in the order they were added, keyed by name without regard to case.
// Holds references only; a panel deleted elsewhere drops out of the loops.
class FrameCollection {
 public:
  int count() const { return int(items_.size()); }
  bool contains(const std::string& key) const;
  // Raises 457 for a key already held, 5 for an empty one.
  void add(QGroupBox& frame, const std::string& key);
  // Raise 5 (invalid argument) for a key not held; item also for a panel
  // deleted since it was added.
  QGroupBox& item(const std::string& key) const;
  void remove(const std::string& key);
  // The live panels, in order.
  std::vector<QGroupBox*> frames() const;

 private:
  std::vector<std::pair<std::string, QPointer<QGroupBox>>> items_;
  std::size_t indexOf(const std::string& key) const;
};

class clsFrames {
 public:
  const FrameCollection& ColFrame() const { return frames_; }
  void ColFrame(FrameCollection frames) { frames_ = std::move(frames); }

  // Top, Left, Width, Height in that order: the argument when not 0, else the
  // default when not 0, else the panel keeps its value. Then the visibility,
  // then the panel joins under its object name; a name already held is
  // refused before the panel is touched.
  bool AddFrame(QGroupBox& frame, bool visible, int32_t top, int32_t left, int32_t width, int32_t height);
  bool SetDefaultSize(int32_t width, int32_t height);
  bool SetDefaultPosition(int32_t top, int32_t left);
  // The same rule as AddFrame for the panel under the key.
  bool SetFrameSize(const std::string& key, int32_t width, int32_t height);
  bool SetFramePos(const std::string& key, int32_t top, int32_t left);
  // Adds every QGroupBox on the form, nested ones too, in creation order
  // (depth first through each widget's children), at the defaults.
  bool AutoLoad(QWidget& form, bool visible);
  // No names: all visible. Otherwise only the named panels visible.
  bool ShowFrame(const std::vector<std::string>& keys);
  // No names: all hidden. Otherwise only the named panels hidden.
  bool HideFrame(const std::vector<std::string>& keys);
  // The named panels leave the collection and keep their state.
  bool RemoveFrame(const std::vector<std::string>& keys);

  int32_t defaultWidth() const { return defaultWidth_; }
  int32_t defaultHeight() const { return defaultHeight_; }
  int32_t defaultTop() const { return defaultTop_; }
  int32_t defaultLeft() const { return defaultLeft_; }

 private:
  FrameCollection frames_;
  int32_t defaultWidth_ = 0;
  int32_t defaultHeight_ = 0;
  int32_t defaultTop_ = 0;
  int32_t defaultLeft_ = 0;

  void checkKeys(const std::vector<std::string>& keys) const;
  void showOnly(const std::vector<std::string>& keys, bool named);
};

}  // namespace pellary
