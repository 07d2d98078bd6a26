#include "core/gui/frames.h"

#include "core/gui/placement.h"
#include "platform/errors.h"
#include "platform/paths.h"

namespace pellary {

namespace {
constexpr long kKeyInUse = 457;
const char* const kKeyInUseText = "This key is already associated with an element of this collection";

// The argument when set, else the default when set; 0 when both are 0.
int32_t chosen(int32_t argument, int32_t fallback) { return argument != 0 ? argument : fallback; }
}  // namespace

// --- FrameCollection --------------------------------------------------------

std::size_t FrameCollection::indexOf(const std::string& key) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (paths::equalsIgnoreCase(items_[i].first, key)) return i;
  return items_.size();
}

bool FrameCollection::contains(const std::string& key) const { return indexOf(key) < items_.size(); }

void FrameCollection::add(QGroupBox& frame, const std::string& key) {
  if (key.empty()) raise(err::InvalidCall);
  if (contains(key)) raise(kKeyInUse, kKeyInUseText);
  items_.emplace_back(key, &frame);
}

QGroupBox& FrameCollection::item(const std::string& key) const {
  std::size_t i = indexOf(key);
  if (i == items_.size() || !items_[i].second) raise(err::InvalidCall);
  return *items_[i].second;
}

void FrameCollection::remove(const std::string& key) {
  std::size_t i = indexOf(key);
  if (i == items_.size()) raise(err::InvalidCall);
  items_.erase(items_.begin() + std::ptrdiff_t(i));
}

std::vector<QGroupBox*> FrameCollection::frames() const {
  std::vector<QGroupBox*> live;
  for (const auto& [key, frame] : items_)
    if (frame) live.push_back(frame);
  return live;
}

// --- clsFrames --------------------------------------------------------------

bool clsFrames::AddFrame(QGroupBox& frame, bool visible, int32_t top, int32_t left, int32_t width, int32_t height) {
  std::string key = frame.objectName().toStdString();
  if (key.empty()) raise(err::InvalidCall);
  if (frames_.contains(key)) raise(kKeyInUse, kKeyInUseText);
  if (int32_t v = chosen(top, defaultTop_)) setFormTop(frame, v);
  if (int32_t v = chosen(left, defaultLeft_)) setFormLeft(frame, v);
  if (int32_t v = chosen(width, defaultWidth_)) setFormWidth(frame, v);
  if (int32_t v = chosen(height, defaultHeight_)) setFormHeight(frame, v);
  frame.setVisible(visible);
  frames_.add(frame, key);
  return true;
}

bool clsFrames::SetDefaultSize(int32_t width, int32_t height) {
  defaultWidth_ = width;
  defaultHeight_ = height;
  return true;
}

bool clsFrames::SetDefaultPosition(int32_t top, int32_t left) {
  defaultTop_ = top;
  defaultLeft_ = left;
  return true;
}

bool clsFrames::SetFrameSize(const std::string& key, int32_t width, int32_t height) {
  QGroupBox& frame = frames_.item(key);
  if (int32_t v = chosen(width, defaultWidth_)) setFormWidth(frame, v);
  if (int32_t v = chosen(height, defaultHeight_)) setFormHeight(frame, v);
  return true;
}

bool clsFrames::SetFramePos(const std::string& key, int32_t top, int32_t left) {
  QGroupBox& frame = frames_.item(key);
  if (int32_t v = chosen(top, defaultTop_)) setFormTop(frame, v);
  if (int32_t v = chosen(left, defaultLeft_)) setFormLeft(frame, v);
  return true;
}

bool clsFrames::AutoLoad(QWidget& form, bool visible) {
  // findChildren walks each widget's children in the order they were made.
  const QList<QGroupBox*> boxes = form.findChildren<QGroupBox*>();
  for (QGroupBox* box : boxes) AddFrame(*box, visible, 0, 0, 0, 0);
  return true;
}

void clsFrames::checkKeys(const std::vector<std::string>& keys) const {
  for (const std::string& key : keys) frames_.item(key);
}

void clsFrames::showOnly(const std::vector<std::string>& keys, bool named) {
  // Every name is checked before any panel changes, so a wrong name leaves
  // the page as it was.
  checkKeys(keys);
  for (QGroupBox* frame : frames_.frames()) frame->setVisible(keys.empty() ? named : !named);
  for (const std::string& key : keys) frames_.item(key).setVisible(named);
}

bool clsFrames::ShowFrame(const std::vector<std::string>& keys) {
  showOnly(keys, true);
  return true;
}

bool clsFrames::HideFrame(const std::vector<std::string>& keys) {
  showOnly(keys, false);
  return true;
}

bool clsFrames::RemoveFrame(const std::vector<std::string>& keys) {
  for (const std::string& key : keys)
    if (!frames_.contains(key)) raise(err::InvalidCall);
  for (const std::string& key : keys) frames_.remove(key);
  return true;
}

}  // namespace pellary
