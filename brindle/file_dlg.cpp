#include "brindle/file_dlg.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/paths.h"

namespace pellary::brindle {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

size_t countBackslashes(const std::string& s) { return size_t(std::count(s.begin(), s.end(), '\\')); }

std::string cut(std::string s, size_t max) {
  if (s.size() > max) s.resize(max);
  return s;
}

constexpr int kRawRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;

// Indents each Look-in item by its level.
class LookInDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem o = option;
    o.rect.setLeft(o.rect.left() + 8 * index.data(kLevelRole).toInt());
    QStyledItemDelegate::paint(painter, o, index);
  }
};

// Gives the name box's focus to the dialog: every selected list item is deselected.
class FocusDeselect final : public QObject {
 public:
  FocusDeselect(QObject* parent, QListWidget* list) : QObject(parent), list_(list) {}
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::FocusIn) list_->clearSelection();
    return QObject::eventFilter(o, e);
  }

 private:
  QListWidget* list_;
};

// The row the keyboard reaches is the row acted on: Tab into the list makes
// a row current without selecting it, and Return would then take the name
// box's text instead of the row the user sees marked.
class FocusSelectsCurrent final : public QObject {
 public:
  FocusSelectsCurrent(QObject* parent, QListWidget* list) : QObject(parent), list_(list) {}
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::FocusIn)
      QMetaObject::invokeMethod(
          this,
          [this] {
            QListWidgetItem* current = list_->currentItem();
            if (list_->hasFocus() && current && list_->selectedItems().isEmpty()) current->setSelected(true);
          },
          Qt::QueuedConnection);
    return QObject::eventFilter(o, e);
  }

 private:
  QListWidget* list_;
};

// Keeps the newest answer in hand, releasing the one it replaces.
template <class T>
void hold(T*& held, T* answer) {
  if (held && held != answer) held->Release();
  held = answer;
}

}  // namespace

CLookInComboBox::CLookInComboBox(CFileDlg* dialog) : QComboBox(dialog) { setItemDelegate(new LookInDelegate(this)); }

std::string CLookInComboBox::rawText(int index) const { return itemData(index, kRawRole).toString().toStdString(); }

CFileDlg::CFileDlg(QWidget* parent) : QDialog(parent) {
  noteDialogMade();
  setObjectName("CFileDlg");
  setModal(true);
  auto* top = new QHBoxLayout;
  auto* lookInLabel = new QLabel("Look &in:");
  lookIn_ = new CLookInComboBox(this);
  lookIn_->setObjectName("cboLookIn");
  lookInLabel->setBuddy(lookIn_);
  upButton_ = new QPushButton;
  upButton_->setObjectName("cmdUp");
  upButton_->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
  top->addWidget(lookInLabel);
  top->addWidget(lookIn_, 1);
  top->addWidget(upButton_);

  list_ = new QListWidget;
  list_->setObjectName("lstFiles");
  list_->setViewMode(QListView::ListMode);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);

  nameBox_ = new QLineEdit;
  nameBox_->setObjectName("txtFileName");
  nameBox_->setMaxLength(255);
  typeCombo_ = new QComboBox;
  typeCombo_->setObjectName("cboFileType");
  acceptButton_ = new QPushButton;
  acceptButton_->setObjectName("cmdOK");
  acceptButton_->setDefault(true);
  auto* cancel = new QPushButton("Cancel");
  cancel->setObjectName("cmdCancel");

  auto* nameRow = new QHBoxLayout;
  auto* nameLabel = new QLabel("File &name:");
  nameLabel->setBuddy(nameBox_);
  nameRow->addWidget(nameLabel);
  nameRow->addWidget(nameBox_, 1);
  nameRow->addWidget(acceptButton_);
  auto* typeRow = new QHBoxLayout;
  auto* typeLabel = new QLabel("Files of &type:");
  typeLabel->setBuddy(typeCombo_);
  typeRow->addWidget(typeLabel);
  typeRow->addWidget(typeCombo_, 1);
  typeRow->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(list_, 1);
  layout->addLayout(nameRow);
  layout->addLayout(typeRow);

  connect(acceptButton_, &QPushButton::clicked, this, [this] { acceptAction(); });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
  connect(upButton_, &QPushButton::clicked, this, [this] { upOneLevel(); });
  connect(list_, &QListWidget::itemClicked, this, [this] { namePicked(); });
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { acceptAction(); });
  connect(typeCombo_, &QComboBox::activated, this, [this](int i) { typeChanged(i); });
  connect(lookIn_, &QComboBox::activated, this, [this](int i) { lookInChosen(i); });
  nameBox_->installEventFilter(new FocusDeselect(this, list_));
  list_->installEventFilter(new FocusSelectsCurrent(this, list_));
  connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
    if (item && list_->hasFocus() && !item->isSelected()) item->setSelected(true);
  });
}

CFileDlg::~CFileDlg() {
  if (sink_) sink_->setOwner(nullptr);
  // The engine goes first: its worker may still be filling the objects below.
  if (engine_) engine_->Release();
  releaseHeld();
  entrySlots_.releaseAll();
  listingSlots_.releaseAll();
  drives_.releaseAll();
  if (sink_) sink_->Release();
}

void CFileDlg::Init(int32_t open, const std::string& title, const std::string& buttonTitle, const std::string& fileName,
                    int32_t flags) {
  open_ = open;
  title_ = cut(title, 255);
  buttonTitle_ = cut(buttonTitle, 255);
  fileName_ = cut(fileName, 259);
  flags_ = flags;
}

void CFileDlg::AddFilterWildcard(const std::string& type, const std::string& wildcard) {
  wildcardNames_.push_back(type);
  wildcards_.push_back(wildcard);
}

void CFileDlg::AddFilterUID(const std::string& type, uint32_t uid0, uint32_t uid1, uint32_t uid2) {
  uidNames_.push_back(type);
  uidValues_.push_back({uid0, uid1, uid2});
}

int CFileDlg::DoModal() {
  if (!widgetsAvailable()) return -1;
  initialise();
  return exec();
}

void CFileDlg::initialise() {
  if (initialised_) return;
  initialised_ = true;
  raise();
  activateWindow();
  setWindowTitle(q(title_));
  acceptButton_->setText(q(buttonTitle_));
  if (uidNames_.empty() && wildcardNames_.empty()) AddFilterWildcard(moduleString(101), "*.*");
  typeCombo_->clear();
  for (const auto& n : uidNames_) typeCombo_->addItem(q(n));
  for (size_t i = 0; i < wildcardNames_.size(); ++i)
    typeCombo_->addItem(q(wildcardNames_[i] + " (" + wildcards_[i] + ")"));
  if (!uidValues_.empty()) std::copy(uidValues_[0].begin(), uidValues_[0].end(), currentUids_);
  typeCombo_->setCurrentIndex(0);
  depth_ = 0;
  icons_ = buildIconTable();
  showNotConnected();

  sink_ = new CPWInfo;
  engine_ = startEngine(*sink_, *this);
}

void CFileDlg::postMessage(PostedMessage m) {
  QMetaObject::invokeMethod(
      this, [this, m] { onMessage(m); }, Qt::QueuedConnection);
}

void CFileDlg::request(uint16_t state) { sink_->setAwaited(state); }

void CFileDlg::onMessage(const PostedMessage& m) {
  if (!engine_) return;
  switch (m.msg) {
    case kMsgStarted:
      if (m.lParam == 0) {
        request(1);
        engine_->Connect(0);
      }
      break;
    case kMsgLinkUp:
      if (m.lParam == 0) {
        request(4);
        engine_->RequestValue(2);
      }
      break;
    case kMsgLinkDown: linkDown(); break;
    case kMsgValue:
      if (m.lParam == 0) {
        deviceValue_ = uint16_t(m.wParam);
        driveRestart();
      }
      break;
    case kMsgDrives:
      if (m.lParam == 0 && m.drives) driveWalkStart(*m.drives);
      break;
    case kMsgDriveInfo:
      if (!drives_.step(*engine_, *sink_, m.lParam, m.answer)) showDriveLevel();
      break;
    case kMsgEntry:
      hold(entry_, entrySlots_.take(m.answer));
      navigationAnswer(m.lParam);
      break;
    case kMsgListing:
      hold(listing_, listingSlots_.take(m.answer));
      listingAnswer(m.lParam);
      break;
    case kMsgTypedEntry:
      hold(entry_, entrySlots_.take(m.answer));
      typedNameAnswer(m.lParam);
      break;
    default: break;
  }
}

void CFileDlg::releaseHeld() {
  if (listing_) listing_->Release();
  if (entry_) entry_->Release();
  listing_ = nullptr;
  entry_ = nullptr;
}

void CFileDlg::showNotConnected() {
  list_->clear();
  list_->addItem(new QListWidgetItem(icons_.icon(4), q(moduleString(102))));
}

void CFileDlg::driveRestart() {
  path_.clear();
  depth_ = 0;
  list_->clear();
  drives_.clear();
  releaseHeld();
  request(5);
  const auto record = tessel::PathRecord::of("");
  engine_->RequestDrives(&record);
}

void CFileDlg::driveWalkStart(const tessel::DriveListRecord& record) {
  // A device without drives: nothing to walk, show the empty drive level.
  if (!drives_.start(*engine_, *sink_, record)) showDriveLevel();
}

tessel::ParseResult CFileDlg::parse(const std::string& path) {
  tessel::ParseResult r;
  std::string text = cut(path, 259);
  engine_->ParsePath(text.c_str(), 0, 0, &r);
  return r;
}

void CFileDlg::showDriveLevel() {
  const auto parsed = parse(fileName_);
  const std::string text(parsed.text, strnlen(parsed.text, tessel::kTextBytes));
  if (text.empty()) {
    list_->clear();
    for (size_t i = 0; i < drives_.names().size(); ++i)
      list_->addItem(new QListWidgetItem(icons_.icon(1), q(drives_.volumes()[i] + " [" + drives_.names()[i] + "]")));
  } else {
    path_ = text;
    refresh();
  }
  rebuildLookIn();
}

void CFileDlg::refresh() {
  list_->clear();
  releaseHeld();
  request(2);
  const auto r = tessel::PathRecord::of(path_);
  engine_->RequestEntry(&r, entrySlots_.next());
}

void CFileDlg::requestListingOf(const std::string& folder) {
  depth_ = uint16_t(1 + countBackslashes(folder));
  std::string text = folder;
  if (text.empty() || text.back() != '\\') text += '\\';
  text += "*.*";
  if (listing_) listing_->Release();
  listing_ = nullptr;
  request(3);
  const auto r = tessel::PathRecord::of(text);
  engine_->RequestListing(&r, listingSlots_.next());
}

void CFileDlg::navigationAnswer(int32_t status) {
  if (status == 0 && entry_) {
    tessel::AttributeRecord attrs;
    entry_->Attributes(&attrs);
    entry_->Release();
    entry_ = nullptr;
    if (!(attrs.bits & tessel::kAttrFolder)) {
      const auto parsed = parse(path_);
      const size_t at = std::min(parsed.nameOffset(), path_.size());
      fileName_ = path_.substr(at);
      nameBox_->setText(q(fileName_));
      path_.resize(at > 0 ? at - 1 : 0);
      rebuildLookIn();
    }
  } else {
    if (entry_) entry_->Release();
    entry_ = nullptr;
    if (auto last = path_.rfind('\\'); last != std::string::npos) {
      nameBox_->setText(q(path_.substr(last + 1)));
      path_.resize(last);
    }
  }
  requestListingOf(path_);
}

bool CFileDlg::shown(const Walked& e) {
  if (e.folder) return true;
  const int index = typeCombo_->currentIndex();
  if (index >= 0 && size_t(index) < uidNames_.size()) {
    const auto& u = uidValues_[size_t(index)];
    return e.uids[0] == u[0] && e.uids[1] == u[1] && e.uids[2] == u[2];
  }
  const size_t w = size_t(std::max(index, 0)) - uidNames_.size();
  if (index < 0 || w >= wildcards_.size()) return false;
  if (wildcards_[w] == "*.*") return true;
  int32_t match = 0;
  engine_->MatchWildcard(e.name.c_str(), wildcards_[w].c_str(), 1, &match);
  return match == 1;
}

template <class Fn>
void CFileDlg::walkShown(Fn fn) {
  if (!listing_) return;
  listing_->Reset();
  for (;;) {
    tessel::IConnectEntry* entry = nullptr;
    uint32_t fetched = 0;
    listing_->Next(1, &entry, &fetched);
    if (fetched == 0 || !entry) break;
    Walked w;
    char name[tessel::kTextBytes] = {};
    entry->Name(name);
    w.name = std::string(name, strnlen(name, tessel::kTextBytes));
    tessel::AttributeRecord attrs;
    entry->Attributes(&attrs);
    w.folder = attrs.bits & tessel::kAttrFolder;
    const tessel::EntryRecord* rec = nullptr;
    if (entry->Record(&rec) == tessel::kOk && rec)
      for (int i = 0; i < 3; ++i) w.uids[i] = rec->uid(i);
    entry->Release();
    if (!shown(w)) continue;
    if (!fn(w)) break;
  }
}

int CFileDlg::iconOf(const Walked& e) {
  if (e.folder) return 2;
  if (deviceValue_ < 32) {
    for (size_t i = 5; i < icons_.keys.size(); ++i) {
      int32_t match = 0;
      const std::string pattern = "*" + icons_.keys[i];
      engine_->MatchWildcard(e.name.c_str(), pattern.c_str(), 1, &match);
      if (match == 1) return int(i);
    }
  } else {
    char text[64];
    std::snprintf(text, sizeof text, "{%X,%X,%X}", e.uids[0], e.uids[1], e.uids[2]);
    for (size_t i = 5; i < icons_.keys.size(); ++i)
      if (paths::equalsIgnoreCase(text, icons_.keys[i])) return int(i);
  }
  return 4;
}

void CFileDlg::listingAnswer(int32_t status) {
  if (status == 0 && listing_) {
    list_->clear();
    walkShown([&](const Walked& w) {
      list_->addItem(new QListWidgetItem(icons_.icon(size_t(iconOf(w))), q(w.name)));
      return true;
    });
    rebuildLookIn();
    return;
  }
  if (auto last = path_.rfind('\\'); last != std::string::npos) {
    path_.resize(last);
    requestListingOf(path_);
  }
}

void CFileDlg::rebuildLookIn() {
  QSignalBlocker block(lookIn_);
  lookIn_->clear();
  auto add = [&](const std::string& raw, const std::string& text, int icon, int level) {
    lookIn_->addItem(icons_.icon(size_t(icon)), q(text));
    const int i = lookIn_->count() - 1;
    lookIn_->setItemData(i, q(raw), kRawRole);
    lookIn_->setItemData(i, level, kLevelRole);
    return i;
  };
  add("", deviceDisplayName(), 0, 0);
  int selected = 0;
  for (size_t d = 0; d < drives_.names().size(); ++d) {
    const std::string& drive = drives_.names()[d];
    const int driveItem = add(drive, drives_.volumes()[d] + " [" + drive + "]", 1, 1);
    if (path_.empty() || std::toupper((unsigned char)path_[0]) != std::toupper((unsigned char)drive[0])) continue;
    if (path_.size() <= 3) {
      selected = driveItem;
      continue;
    }
    auto folderItem = [&](const std::string& p) {
      const size_t n = countBackslashes(p);
      return add(p, p.substr(p.rfind('\\') + 1), 3, int(1 + n));
    };
    const std::string start = drive + "\\";
    for (size_t i = start.size(); i < path_.size(); ++i)
      if (path_[i] == '\\') folderItem(path_.substr(0, i));
    selected = folderItem(path_);
  }
  lookIn_->setCurrentIndex(selected);
}

void CFileDlg::lookInChosen(int index) {
  if (!engine_) return;
  if (index > 0) {
    path_ = lookIn_->rawText(index);
    depth_ = uint16_t(1 + countBackslashes(path_));
    refresh();
  } else if (index == 0) {
    depth_ = 0;
    fileName_.clear();
    driveRestart();
  }
}

void CFileDlg::upOneLevel() {
  if (!engine_ || depth_ == 0) return;
  --depth_;
  if (depth_ == 0) {
    fileName_.clear();
    driveRestart();
    return;
  }
  if (auto last = path_.rfind('\\'); last != std::string::npos) path_.resize(last);
  refresh();
}

void CFileDlg::typeChanged(int index) {
  if (!engine_) return;
  if (index >= 0 && size_t(index) < uidValues_.size())
    std::copy(uidValues_[size_t(index)].begin(), uidValues_[size_t(index)].end(), currentUids_);
  // The drive level lists no files, so it stays as it is.
  if (depth_ == 0) return;
  refresh();
}

void CFileDlg::namePicked() {
  if (!engine_ || drives_.names().empty() || depth_ == 0) return;
  const int row = list_->currentRow();
  if (row < 0 || !list_->currentItem() || !list_->currentItem()->isSelected()) return;
  int count = 0;
  walkShown([&](const Walked& w) {
    if (count++ != row) return true;
    if (!w.folder) nameBox_->setText(q(w.name));
    return false;
  });
}

void CFileDlg::end(int result) { done(result); }

void CFileDlg::accept() { acceptAction(); }

void CFileDlg::reject() { done(0); }

void CFileDlg::acceptAction() {
  if (!engine_ || drives_.names().empty()) return;
  const auto selected = list_->selectedItems();
  if (!selected.isEmpty()) {
    const int row = list_->row(selected.front());
    if (depth_ == 0) {
      if (row < 0 || size_t(row) >= drives_.names().size()) return;
      path_ = drives_.names()[size_t(row)];
      depth_ = 1;
      refresh();
      return;
    }
    std::optional<Walked> picked;
    int count = 0;
    walkShown([&](const Walked& w) {
      if (count++ != row) return true;
      picked = w;
      return false;
    });
    if (!picked) return;
    std::copy(std::begin(picked->uids), std::end(picked->uids), currentUids_);
    if (picked->folder) {
      if (path_.empty() || path_.back() != '\\') path_ += '\\';
      path_ += picked->name;
      ++depth_;
      refresh();
      return;
    }
    fileName_ = path_;
    if (fileName_.empty() || fileName_.back() != '\\') fileName_ += '\\';
    fileName_ += picked->name;
    if (open_ != 1 && (flags_ & 1) &&
        ask(formatString(103, picked->name), mb::YesNo | mb::Exclamation, moduleString(105)) != mb::Yes)
      return;
    end(1);
    return;
  }

  const std::string text = cut(nameBox_->text().toStdString(), 259);
  if (text.empty()) return;
  fileName_ = text;
  pathBeforeTyped_ = path_;
  if (text.find(':') != std::string::npos) {
    path_ = text;
    const bool bareDrive = (text.size() == 2 && text[1] == ':') || (text.size() == 3 && text.substr(1) == ":\\");
    if (bareDrive) {
      if (fileName_.back() != '\\') fileName_ += '\\';
      fileName_ += "*.*";
      nameBox_->clear();
      path_ = text.substr(0, 2);
      depth_ = 1;
      refresh();
      return;
    }
  } else if (text[0] == '\\') {
    path_ = path_.substr(0, std::min<size_t>(2, path_.size())) + text;
  } else {
    path_ += "\\" + text;
  }
  request(7);
  const auto r = tessel::PathRecord::of(path_);
  if (entry_) entry_->Release();
  entry_ = nullptr;
  engine_->RequestEntry(&r, entrySlots_.next());
}

void CFileDlg::typedNameAnswer(int32_t status) {
  const std::string typed = nameBox_->text().toStdString();
  if (status == 0 && entry_) {
    tessel::AttributeRecord attrs;
    entry_->Attributes(&attrs);
    entry_->Release();
    entry_ = nullptr;
    if (attrs.bits & tessel::kAttrFolder) {
      nameBox_->clear();
      refresh();
      return;
    }
    if (open_ != 1 && (flags_ & 1)) {
      if (ask(formatString(103, typed), mb::YesNo | mb::Exclamation, moduleString(105)) == mb::Yes) {
        fileName_ = path_;
        end(1);
      } else {
        // The dialog stays in the folder it lists.
        path_ = pathBeforeTyped_;
      }
      return;
    }
    fileName_ = path_;
    end(1);
    return;
  }
  if (entry_) entry_->Release();
  entry_ = nullptr;
  if (path_.find_first_of("*?") != std::string::npos) {
    list_->clear();
    releaseHeld();
    const auto parsed = parse(path_);
    const auto r = tessel::PathRecord::of(path_);
    const size_t at = std::min(parsed.nameOffset(), path_.size());
    path_.resize(at > 0 ? at - 1 : 0);
    depth_ = uint16_t(1 + countBackslashes(path_));
    request(3);
    engine_->RequestListing(&r, listingSlots_.next());
    return;
  }
  if (open_ == 1) {
    ask(formatString(104, typed), mb::OKOnly | mb::Exclamation, moduleString(500));
    // The list still shows the folder it showed before the lookup.
    path_ = pathBeforeTyped_;
    return;
  }
  const auto parsed = parse(path_);
  if (parsed.driveLength == 0) return;
  fileName_ = path_;
  end(2);
}

void CFileDlg::linkDown() {
  fileName_.clear();
  list_->clear();
  releaseHeld();
  drives_.clear();
  {
    QSignalBlocker block(lookIn_);
    lookIn_->clear();
  }
  nameBox_->clear();
  path_.clear();
  depth_ = 0;
  showNotConnected();
  request(1);
}

std::optional<std::string> CFileDlg::pathName() const {
  if (!engine_) return std::nullopt;
  return path_;
}

std::optional<std::string> CFileDlg::fileName() const {
  if (!engine_) return std::nullopt;
  return fileName_;
}

std::optional<std::string> CFileDlg::fileExt() const {
  if (!engine_) return std::nullopt;
  // Only a dot of the name itself counts, not one in a folder above it.
  const size_t dot = fileName_.rfind('.');
  const size_t slash = fileName_.rfind('\\');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  return fileName_.substr(dot + 1);
}

bool CFileDlg::fileType(uint32_t& uid0, uint32_t& uid1, uint32_t& uid2) const {
  if (!engine_) return false;
  uid0 = currentUids_[0];
  uid1 = currentUids_[1];
  uid2 = currentUids_[2];
  return true;
}

}  // namespace pellary::brindle
