#include "brindle/browse_dlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cctype>

#include "platform/paths.h"

namespace pellary::brindle {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
constexpr int kPathRole = Qt::UserRole;

std::string cut(std::string s, size_t max) {
  if (s.size() > max) s.resize(max);
  return s;
}

}  // namespace

CBrowseDlg::CBrowseDlg(QWidget* parent) : QDialog(parent) {
  noteDialogMade();
  setObjectName("CBrowseDlg");
  setModal(true);
  text_ = new QLabel;
  text_->setObjectName("lblText");
  text_->setWordWrap(true);
  tree_ = new QTreeWidget;
  tree_->setObjectName("tvwFolders");
  tree_->setHeaderHidden(true);
  tree_->setRootIsDecorated(true);
  acceptButton_ = new QPushButton("OK");
  acceptButton_->setObjectName("cmdOK");
  acceptButton_->setDefault(true);
  auto* cancel = new QPushButton("Cancel");
  cancel->setObjectName("cmdCancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(acceptButton_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(tree_, 1);
  layout->addLayout(buttons);

  connect(acceptButton_, &QPushButton::clicked, this, [this] { accept(); });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
  connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* i) { expanded(i); });
  connect(tree_, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* i) { collapsed(i); });
  connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* i) {
    current_ = i;
    acceptButton_->setEnabled(i && i != root_);
  });
}

CBrowseDlg::~CBrowseDlg() {
  if (sink_) sink_->setOwner(nullptr);
  if (engine_) engine_->Release();
  for (auto& r : queue_)
    if (r->listing) r->listing->Release();
  for (auto& r : abandoned_)
    if (r->listing) r->listing->Release();
  drives_.releaseAll();
  if (sink_) sink_->Release();
}

void CBrowseDlg::Init(const std::string& title, const std::string& buttonTitle, const std::string& text,
                      const std::string& folderName) {
  title_ = cut(title, 255);
  buttonTitle_ = cut(buttonTitle, 255);
  textLine_ = cut(text, 255);
  startFolder_ = cut(folderName, 259);
}

int CBrowseDlg::DoModal() {
  if (!widgetsAvailable()) return -1;
  initialise();
  return exec();
}

void CBrowseDlg::initialise() {
  if (initialised_) return;
  initialised_ = true;
  raise();
  activateWindow();
  setWindowTitle(q(title_));
  acceptButton_->setText(q(buttonTitle_));
  text_->setText(q(textLine_));
  acceptButton_->setEnabled(false);
  icons_ = buildIconTable();
  insertRoot(moduleString(102), 4);

  sink_ = new CPWBInfo;
  engine_ = startEngine(*sink_, *this);
}

void CBrowseDlg::postMessage(PostedMessage m) {
  QMetaObject::invokeMethod(
      this, [this, m] { onMessage(m); }, Qt::QueuedConnection);
}

void CBrowseDlg::insertRoot(const std::string& text, int image) {
  QSignalBlocker block(tree_);
  root_ = new QTreeWidgetItem(QStringList{q(text)});
  root_->setIcon(0, icons_.icon(size_t(image)));
  tree_->insertTopLevelItem(0, root_);
  current_ = nullptr;
  acceptButton_->setEnabled(false);
}

void CBrowseDlg::onMessage(const PostedMessage& m) {
  if (!engine_) return;
  switch (m.msg) {
    case kMsgStarted:
      if (m.lParam == 0) {
        sink_->setAwaited(1);
        engine_->Connect(0);
      }
      break;
    case kMsgLinkUp:
      if (m.lParam == 0) linkUp();
      break;
    case kMsgLinkDown: linkDown(); break;
    case kMsgValue:
      if (m.lParam == 0) {
        deviceValue_ = uint16_t(m.wParam);
        deviceItem();
        driveRestart();
      }
      break;
    case kMsgDrives:
      if (m.lParam == 0 && m.drives) driveWalkStart(*m.drives);
      break;
    case kMsgDriveInfo: driveWalkStep(m.lParam, m.answer); break;
    case kMsgListing: listingAnswer(m.lParam); break;
    default: break;
  }
}

void CBrowseDlg::linkUp() {
  sink_->setAwaited(4);
  engine_->RequestValue(2);
  result_.clear();
  navigating_ = !startFolder_.empty();
}

void CBrowseDlg::deviceItem() {
  clearBelowRoot();
  {
    QSignalBlocker block(tree_);
    delete root_;
    root_ = nullptr;
  }
  // Without the suite's entry the device item keeps a name of its own.
  insertRoot(deviceDisplayName(), 0);
}

void CBrowseDlg::driveRestart() {
  result_.clear();
  drives_.clear();
  sink_->setAwaited(5);
  const auto r = tessel::PathRecord::of("");
  engine_->RequestDrives(&r);
}

void CBrowseDlg::driveWalkStart(const tessel::DriveListRecord& record) {
  if (!drives_.start(*engine_, *sink_, record)) driveWalkEnd();
}

void CBrowseDlg::driveWalkStep(int32_t status, uint32_t answer) {
  if (!drives_.step(*engine_, *sink_, status, answer)) driveWalkEnd();
}

void CBrowseDlg::driveWalkEnd() {
  if (!root_) return;
  for (size_t i = 0; i < drives_.names().size(); ++i) {
    auto* item = new QTreeWidgetItem(QStringList{q(drives_.volumes()[i] + " (" + drives_.names()[i] + ")")});
    item->setIcon(0, icons_.icon(1));
    item->setData(0, kPathRole, q(drives_.names()[i]));
    root_->addChild(item);
  }
  current_ = root_;
  if (navigating_) {
    navTarget_ = root_;
    if (root_->isExpanded())
      expanded(root_);
    else
      root_->setExpanded(true);
  }
}

std::string CBrowseDlg::pathOf(const QTreeWidgetItem* item) {
  if (!item) return {};
  const QVariant v = item->data(0, kPathRole);
  return v.isValid() ? v.toString().toStdString() : std::string();
}

void CBrowseDlg::requestListing(QTreeWidgetItem* item, int mode) {
  auto req = std::make_unique<PendingListing>();
  req->item = item;
  req->mode = mode;
  const auto r = tessel::PathRecord::of(pathOf(item) + "\\*.*");
  PendingListing* raw = req.get();
  queue_.push_back(std::move(req));
  sink_->setAwaited(3);
  engine_->RequestListing(&r, &raw->listing);
}

void CBrowseDlg::stopNavigation() {
  navigating_ = false;
  result_ = startFolder_;
}

void CBrowseDlg::expanded(QTreeWidgetItem* item) {
  if (!engine_ || !item) return;
  current_ = item;
  if (navigating_ && item != navTarget_) stopNavigation();
  if (item->childCount() == 0) return;
  QTreeWidgetItem* first = item->child(0);
  current_ = first;
  first->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
  requestListing(first, 1);
}

void CBrowseDlg::deleteChildren(QTreeWidgetItem* item) {
  // Every queued request for a deleted item is only released when it comes.
  std::vector<QTreeWidgetItem*> gone;
  std::vector<QTreeWidgetItem*> stack;
  for (int i = 0; i < item->childCount(); ++i) stack.push_back(item->child(i));
  while (!stack.empty()) {
    auto* it = stack.back();
    stack.pop_back();
    gone.push_back(it);
    for (int i = 0; i < it->childCount(); ++i) stack.push_back(it->child(i));
  }
  for (auto& r : queue_)
    if (std::find(gone.begin(), gone.end(), r->item) != gone.end()) r->valid = false;
  if (std::find(gone.begin(), gone.end(), current_) != gone.end()) current_ = item;
  if (std::find(gone.begin(), gone.end(), navTarget_) != gone.end()) navTarget_ = nullptr;
  QSignalBlocker block(tree_);
  qDeleteAll(item->takeChildren());
}

void CBrowseDlg::collapsed(QTreeWidgetItem* item) {
  if (!engine_ || !item) return;
  if (navigating_) stopNavigation();
  deleteChildren(item);
  item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
  if (item == root_)
    driveRestart();
  else
    requestListing(item, 0);
}

void CBrowseDlg::listingAnswer(int32_t status) {
  if (deferredEnd_ != 0) {
    const int result = deferredEnd_ == 1 ? 1 : 0;
    discardQueue();
    clearBelowRoot();
    done(result);
    return;
  }
  if (queue_.empty()) return;
  std::unique_ptr<PendingListing> req = std::move(queue_.front());
  queue_.pop_front();
  if (req->valid) {
    if (status == 0 && req->listing) {
      req->listing->Reset();
      const std::string base = pathOf(req->item);
      for (;;) {
        tessel::IConnectEntry* entry = nullptr;
        uint32_t fetched = 0;
        req->listing->Next(1, &entry, &fetched);
        if (fetched == 0 || !entry) break;
        tessel::AttributeRecord attrs;
        entry->Attributes(&attrs);
        if (attrs.bits & tessel::kAttrFolder) {
          char name[tessel::kTextBytes] = {};
          entry->Name(name);
          const std::string n(name, strnlen(name, tessel::kTextBytes));
          auto* child = new QTreeWidgetItem(QStringList{q(n)});
          QIcon icon;
          for (const auto& size : icons_.icon(2).availableSizes())
            icon.addPixmap(icons_.icon(2).pixmap(size), QIcon::Normal);
          for (const auto& size : icons_.icon(3).availableSizes())
            icon.addPixmap(icons_.icon(3).pixmap(size), QIcon::Selected);
          child->setIcon(0, icon.isNull() ? icons_.icon(2) : icon);
          child->setData(0, kPathRole, q(base + "\\" + n));
          req->item->addChild(child);
        }
        entry->Release();
      }
    }
    if (req->mode == 1) {
      QTreeWidgetItem* parent = req->item->parent();
      QTreeWidgetItem* next = nullptr;
      if (parent) {
        const int at = parent->indexOfChild(req->item);
        if (at + 1 < parent->childCount()) next = parent->child(at + 1);
      }
      if (next) {
        next->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
        requestListing(next, 1);
      } else {
        navigationStep(parent);
      }
    }
  }
  if (req->listing) req->listing->Release();
}

void CBrowseDlg::navigationStep(QTreeWidgetItem* parent) {
  if (!navigating_ || !parent) return;
  size_t at = result_.size();
  while (at < startFolder_.size() && startFolder_[at] != '\\') result_ += startFolder_[at++];
  QTreeWidgetItem* found = nullptr;
  for (int i = 0; i < parent->childCount(); ++i)
    if (paths::equalsIgnoreCase(pathOf(parent->child(i)), result_)) {
      found = parent->child(i);
      break;
    }
  if (!found) {
    // The start folder is not on the device: the tree stays where it got to.
    navigating_ = false;
    return;
  }
  if (paths::equalsIgnoreCase(result_, startFolder_)) {
    navigating_ = false;
    tree_->setCurrentItem(found);
    found->setSelected(true);
    tree_->scrollToItem(found);
    tree_->setFocus();
    return;
  }
  navTarget_ = found;
  result_ += '\\';
  if (found->isExpanded())
    expanded(found);
  else
    found->setExpanded(true);
}

void CBrowseDlg::discardQueue() {
  // Requests still on their way stay until the engine is gone.
  while (!queue_.empty()) {
    abandoned_.push_back(std::move(queue_.front()));
    queue_.pop_front();
  }
}

void CBrowseDlg::clearBelowRoot() {
  if (!root_) return;
  deleteChildren(root_);
}

void CBrowseDlg::accept() {
  QTreeWidgetItem* selected = tree_->currentItem();
  if (!selected || selected == root_) return;
  result_ = pathOf(selected);
  if (!queue_.empty()) {
    deferredEnd_ = 1;
    return;
  }
  clearBelowRoot();
  done(1);
}

void CBrowseDlg::reject() {
  if (!queue_.empty()) {
    deferredEnd_ = 2;
    return;
  }
  clearBelowRoot();
  done(0);
}

void CBrowseDlg::linkDown() {
  for (auto& r : queue_) r->valid = false;
  {
    QSignalBlocker block(tree_);
    clearBelowRoot();
    delete root_;
    root_ = nullptr;
  }
  navTarget_ = nullptr;
  insertRoot(moduleString(102), 4);
  sink_->setAwaited(1);
}

std::optional<std::string> CBrowseDlg::folderName() const {
  if (!engine_) return std::nullopt;
  return result_;
}

}  // namespace pellary::brindle
