#include "writers/pages/outlook_pages.h"

#include "core/gui/help_keys.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <functional>

#include "core/app.h"
#include "core/gui/placement.h"
#include "core/gui/wizard/placeholder_page.h"
#include "core/wizard/page_engine.h"
#include "core/wizard/program_end.h"
#include "standins/outlook/outlook_store.h"

namespace pellary {

namespace {
const char* kInfo =
    "Pellary Almoner is now ready to update your selection of dates and events in your Microsoft Outlook calendar"
    "\r\n\r\nThe calendar entries will be assigned the following category:\r\rPellary Almoner dates\r\r"
    "A brief description of the event will appear in your calendar, further details will be stored as notes to "
    "the event";

QString display(const char* text) { return QString::fromUtf8(text).replace("\r\n", "\n").replace('\r', '\n'); }
}  // namespace

frmOutlook::frmOutlook(QWidget* parent) : QWidget(parent) {
  setObjectName("frmOutlook");
  imgPicture = addSidePicture(*this, 3);
  lblFormTitle = addPageTitle(*this, "MS Outlook");
  lblFormInfo = new QLabel(display(kInfo), this);
  lblFormInfo->setObjectName("lblFormInfo");
  lblFormInfo->setWordWrap(true);
  lblFormInfo->setGeometry(170, 45, 440, 300);
  lblFormInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  const PageFooter footer = addPageFooter(*this, QPoint(400, 360), "&Continue >");
  cmdBack = footer.back;
  cmdNext = footer.next;
  connect(cmdBack, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  connect(cmdNext, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  guide_ = new frmOutlookGuide(this);
  Bout().windows = guide_;
  installOutlookFolderPicker();
}

frmOutlook::~frmOutlook() {
  if (Bout().windows == guide_) Bout().windows = nullptr;
  delete guide_;
}

void frmOutlook::cmdNext_Click() { Bout_InitialiseOutlook(); }
void frmOutlook::cmdBack_Click() { Bmm_FormReverse(); }

frmOutlookGuide::frmOutlookGuide(frmOutlook* page)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint), page_(page) {
  setObjectName("frmOutlookGuide");
  setHelpTopic(*this, helptopic::OutlookGuide);
  setWindowTitle(QString::fromStdString(appTitle()));
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setPixmap(makeSidePicture(3).scaled(48, 96));
  lblCount = new QLabel(this);
  lblCount->setObjectName("lblCount");
  lblCount->setWordWrap(true);
  pbWritingToOutlook = addPageProgress(*this, "pbWritingToOutlook", QRect());
  cmdContinue = new QPushButton("&Continue >", this);
  cmdContinue->setObjectName("cmdContinue");
  cmdCancel = new QPushButton("Cancel", this);
  cmdCancel->setObjectName("cmdCancel");
  auto* text = new QVBoxLayout;
  text->addWidget(lblCount);
  text->addWidget(pbWritingToOutlook);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdCancel);
  buttons->addWidget(cmdContinue);
  text->addLayout(buttons);
  auto* row = new QHBoxLayout(this);
  row->addWidget(Image1);
  row->addLayout(text, 1);
  resize(360, 140);
  connect(cmdContinue, &QPushButton::clicked, this, [this] { cmdContinue_Click(); });
  connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

frmOutlookGuide::~frmOutlookGuide() {
  if (Bout().windows == this) Bout().windows = nullptr;
}

void frmOutlookGuide::cmdContinue_Click() {
  if (Bout_CheckOutlook()) Bout_BeginWriting();
}

void frmOutlookGuide::cmdCancel_Click() { Bmm_CancelProgram(); }

void frmOutlookGuide::closeEvent(QCloseEvent* e) {
  // Closing is the exit question; a No keeps the guide.
  e->ignore();
  Bmm_CancelProgram();
}

void frmOutlookGuide::ShowOutlook() {
  if (Bout().application) Bout_ShowOutlook();
}

void frmOutlookGuide::showGuide(bool topRight) {
  show();
  if (topRight)
    Bpo_URAlign(*this);
  else
    Bpo_CentreOnScreen(*this);
  Bpo_StayOnTop(*this);
}

void frmOutlookGuide::hideGuide() { hide(); }

void frmOutlookGuide::setGuideText(const std::string& text) { lblCount->setText(display(text.c_str())); }

void frmOutlookGuide::setProgress(int16_t percent) {
  pbWritingToOutlook->setValue(percent);
  pbWritingToOutlook->show();
}

void frmOutlookGuide::setButtonsEnabled(bool enabled) {
  cmdContinue->setEnabled(enabled);
  cmdCancel->setEnabled(enabled);
  if (page_) {
    page_->cmdBack->setEnabled(enabled);
    page_->cmdNext->setEnabled(enabled);
  }
}

void frmOutlookGuide::frameOutOfTheWay(bool away) {
  // The frame gives up staying in front while Outlook is in use, and comes back after.
  if (QWidget* frame = Bpo_MainFrame()) {
    if (away) {
      frame->setProperty("outlookWriting", 1);
      frame->lower();
    } else {
      frame->setProperty("outlookWriting", 0);
      frame->raise();
      frame->activateWindow();
    }
  }
}

void frmOutlookGuide::processEvents() { QApplication::processEvents(); }

OutlookFolderPicker::OutlookFolderPicker(const std::string& currentFolderID, QWidget* parent) : QDialog(parent) {
  using namespace standins::outlook;
  setObjectName("frmOutlookExplorer");
  setWindowTitle("Outlook");
  tvFolders = new QTreeWidget(this);
  tvFolders->setObjectName("tvFolders");
  tvFolders->setHeaderHidden(true);
  Store& s = store();
  std::function<void(QTreeWidgetItem*, const std::string&)> fill = [&](QTreeWidgetItem* parentItem,
                                                                       const std::string& parentID) {
    for (Folder* f : s.children(parentID)) {
      auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(tvFolders);
      item->setText(0, QString::fromStdString(f->name));
      item->setData(0, Qt::UserRole, QString::fromStdString(f->entryID));
      if (f->entryID == currentFolderID) tvFolders->setCurrentItem(item);
      fill(item, f->entryID);
    }
  };
  fill(nullptr, "");
  tvFolders->expandAll();
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Open the folder to work in:", this));
  layout->addWidget(tvFolders);
  layout->addWidget(box);
  resize(320, 360);
}

std::string OutlookFolderPicker::chosenFolderID() const {
  QTreeWidgetItem* item = tvFolders->currentItem();
  return item ? item->data(0, Qt::UserRole).toString().toStdString() : std::string();
}

void installOutlookFolderPicker() {
  standins::outlook::session().onDisplay = [](standins::outlook::ExplorerState& explorer) {
    OutlookFolderPicker picker(explorer.currentFolderID);
    if (picker.exec() == QDialog::Accepted && !picker.chosenFolderID().empty())
      explorer.currentFolderID = picker.chosenFolderID();
  };
}

}  // namespace pellary
