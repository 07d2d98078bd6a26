#include "update/pages/frmManager2Update.h"

#include "core/gui/help_keys.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QTreeWidget>

#include "core/app.h"
#include "core/gui/check_list.h"
#include "core/gui/placement.h"
#include "core/previews.h"
#include "update/follow_on.h"
#include "update/pages/frmPortalPage.h"
#include "update/update_manager.h"

namespace pellary {

namespace {
std::unique_ptr<frmManager2Update>& previewSlot() {
  static std::unique_ptr<frmManager2Update> slot;
  return slot;
}
}  // namespace

frmManager2Update& updatePreviewWindow() {
  auto& slot = previewSlot();
  if (!slot) {
    slot = std::make_unique<frmManager2Update>();
    previewTargets().install(&slot->datesList(), &slot->referenceList());
  }
  return *slot;
}

bool updatePreviewExists() { return bool(previewSlot()); }

void unloadUpdatePreviewWindow() {
  if (previewSlot()) {
    previewTargets().uninstall(&previewSlot()->datesList(), &previewSlot()->referenceList());
    previewSlot().reset();
  }
}

std::function<void(frmManager2Update&)>& frmManager2Update::modalHook() {
  static std::function<void(frmManager2Update&)> hook;
  return hook;
}

frmManager2Update::frmManager2Update(QWidget* parent) : QDialog(parent) {
  setObjectName("frmManager2Update");
  setHelpTopic(*this, helptopic::UpdatePreview);
  setWindowTitle(QString::fromStdString(appTitle()));
  if (QWidget* main = QApplication::activeWindow()) setWindowIcon(main->windowIcon());

  lblDatesChanges_ = new QLabel("Changes to Dates", this);
  lblDatesChanges_->setObjectName("lblDatesChanges");
  lstDatePreview_ = new QTreeWidget(this);
  lstDatePreview_->setObjectName("lstDatePreview");
  lstDatePreview_->setRootIsDecorated(false);
  lstDatePreview_->setHeaderLabels({"Tick to confirm", "Date", "Event"});
  lblReferenceChanges_ = new QLabel("Changes to ref", this);
  lblReferenceChanges_->setObjectName("lblReferenceChanges");
  lstReference_ = new QTreeWidget(this);
  lstReference_->setObjectName("lstReference");
  lstReference_->setRootIsDecorated(false);
  lstReference_->setHeaderLabels({"Reference"});
  cmdBack_ = new QPushButton("&OK", this);
  cmdBack_->setObjectName("cmdBack");
  cmdNext_ = new QPushButton("&Cancel", this);
  cmdNext_->setObjectName("cmdNext");

  dates_ = std::make_unique<QtCheckList>(lstDatePreview_, 1);
  reference_ = std::make_unique<QtCheckList>(lstReference_, 0, false);
  dates_->onTickChanged([this](QTreeWidgetItem* item, bool) { lstDatePreview_ItemCheck(item); });

  connect(cmdBack_, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  connect(cmdNext_, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  lstDatePreview_->header()->setSectionsClickable(true);
  connect(lstDatePreview_->header(), &QHeaderView::sectionClicked, this,
          [this](int column) { lstDatePreview_ColumnClick(column); });
  ratio_ = 2.15;
  resize(int(9510 / twipsPerPixelX(this)), int(6480 / twipsPerPixelY(this)));
}

frmManager2Update::~frmManager2Update() = default;

PreviewList& frmManager2Update::datesList() { return *dates_; }
PreviewList& frmManager2Update::referenceList() { return *reference_; }

void frmManager2Update::cmdBack_Click() { hide(); }

void frmManager2Update::cmdNext_Click() {
  Bupd().Bupd_UpdateCancelled = true;
  hide();
}

// The frame's close button and Escape do what Cancel does: a window closed
// without OK has not confirmed the changes.
void frmManager2Update::reject() {
  Bupd().Bupd_UpdateCancelled = true;
  QDialog::reject();
}

void frmManager2Update::showModal() {
  if (modalHook()) {
    modalHook()(*this);
    return;
  }
  exec();
}

void frmManager2Update::lstDatePreview_ColumnClick(int column) {
  if (column < 0) return;
  if (column == sortColumn_)
    descending_ = !descending_;
  else
    sortColumn_ = column;
  lstDatePreview_->sortItems(sortColumn_, descending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void frmManager2Update::lstDatePreview_ItemCheck(QTreeWidgetItem* item) {
  lstDatePreview_->setCurrentItem(item);
  std::string key = QtCheckList::keyOf(item);
  bool ticked = QtCheckList::ticked(item);
  Bsql_EditPreviewList(key, ticked);
  dates_->colour(item);
}

void frmManager2Update::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const double tx = twipsPerPixelX(this), ty = twipsPerPixelY(this);
  const int minW = int(9510 / tx), minH = int(6480 / ty);
  if (width() < minW || height() < minH) {
    resize(std::max(width(), minW), std::max(height(), minH));
    return;
  }
  const int w = width(), h = height();
  auto px = [&](double twips) { return int(twips / tx); };
  auto py = [&](double twips) { return int(twips / ty); };
  lblDatesChanges_->setGeometry(px(200), py(100), px(3000), py(255));
  const int listTop = py(400);
  const int datesHeight = int(h / ratio_);
  lstDatePreview_->setGeometry(px(200), listTop, w - px(400), datesHeight);
  const int refTop = listTop + datesHeight + py(450);
  lstReference_->setGeometry(px(200), refTop, w - px(400), std::max(0, h - refTop - py(1200)));
  lblReferenceChanges_->setGeometry(px(200), refTop - py(345), px(3000), py(255));
  cmdBack_->setGeometry(w - px(3630), h - py(960), px(1500), py(375));
  cmdNext_->setGeometry(w - px(1710), h - py(960), px(1500), py(375));
  const int eventWidth =
      lstDatePreview_->width() - lstDatePreview_->columnWidth(0) - lstDatePreview_->columnWidth(1) - px(150);
  if (eventWidth > 0) lstDatePreview_->setColumnWidth(2, eventWidth);
  lstReference_->setColumnWidth(0, lstReference_->width());
}

void connectUpdatePreview() {
  updatePreviewShow() = [] {
    frmManager2Update& preview = updatePreviewWindow();
    Bpo_CentreOnScreen(preview);
    preview.showModal();
  };
}

}  // namespace pellary
