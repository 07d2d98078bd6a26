#include "shell/frmManager2.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "core/gui/check_list.h"
#include "core/gui/wizard/placeholder_page.h"
#include "core/previews.h"
#include "core/products.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "reference/reference_journal.h"
#include "shell/frmMDIMain.h"

namespace pellary {

namespace {
QTreeWidget* newList(QWidget* parent, const char* name, QRect geometry, const QStringList& headers) {
  auto* l = new QTreeWidget(parent);
  l->setObjectName(name);
  l->setGeometry(geometry);
  l->setColumnCount(int(headers.size()));
  l->setHeaderLabels(headers);
  l->header()->setSectionsClickable(true);
  return l;
}
}  // namespace

QString datesChangesCaption() {
  return "These changes will be made to your " + QString::fromStdString(Bset().Bset_DatesPlatShortName);
}

QString referenceChangesCaption() {
  QString text = "These changes will be made to the reference information on your " +
                 QString::fromStdString(Bset().Bset_RefPlat1ShortName);
  if (!Bset().Bset_RefPlat2ShortName.empty()) text += " && handheld device";
  return text;
}

frmManager2::frmManager2(QWidget* parent) : QWidget(parent) {
  setObjectName("frmManager2");
  addSidePicture(*this, 2);
  addPageTitle(*this, "Your changes");
  auto* datesLabel = new QLabel(datesChangesCaption(), this);
  datesLabel->setObjectName("lblDatesChanges");
  datesLabel->setGeometry(190, 50, 420, 20);
  lstDatePreview_ = newList(this, "lstDatePreview", {190, 72, 420, 150}, {"Tick to confirm", "Date", "Event"});
  auto* refLabel = new QLabel(referenceChangesCaption(), this);
  refLabel->setObjectName("lblReferenceChanges");
  refLabel->setTextFormat(Qt::PlainText);
  // The doubled ampersand of the caption shows as one.
  refLabel->setText(refLabel->text().replace("&&", "&"));
  refLabel->setGeometry(190, 230, 420, 20);
  lstReference_ = newList(this, "lstReference", {190, 252, 420, 100}, {"Tick to confirm", "Reference"});
  // The caption above each list is its name to a screen reader.
  lstDatePreview_->setAccessibleName(datesLabel->text());
  lstReference_->setAccessibleName(refLabel->text());
  dates_ = std::make_unique<QtCheckList>(lstDatePreview_, 1);
  reference_ = std::make_unique<QtCheckList>(lstReference_, 1);
  dates_->onTickChanged([this](QTreeWidgetItem* i, bool on) { lstDatePreview_ItemCheck(i, on); });
  reference_->onTickChanged([this](QTreeWidgetItem* i, bool on) { lstReference_ItemCheck(i, on); });
  connect(lstDatePreview_->header(), &QHeaderView::sectionClicked, this,
          [this](int c) { lstDatePreview_ColumnClick(c); });
  connect(lstReference_->header(), &QHeaderView::sectionClicked, this, [this](int c) { lstReference_ColumnClick(c); });

  const PageFooter footer = addPageFooter(*this, QPoint());
  QPushButton* back = footer.back;
  QPushButton* next = footer.next;
  connect(back, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  connect(next, &QPushButton::clicked, this, [this] { cmdNext_Click(); });

  previewTargets().install(dates_.get(), reference_.get());
}

frmManager2::~frmManager2() { previewTargets().uninstall(dates_.get(), reference_.get()); }

void frmManager2::cmdNext_Click() {
  if (Bupd_UpdateRun()) {
    if (mainFrameExists()) mainFrame().hide();
    return;
  }
  Bmm_FormAdvance();
}

void frmManager2::cmdBack_Click() {
  if (Bupd_UpdateRun()) {
    if (mainFrameExists()) mainFrame().hide();
    return;
  }
  Bmm_FormReverse();
}

void frmManager2::columnClick(QtCheckList& list, SortState& state, int column) {
  if (column != state.column) {
    state.column = column;
    state.descending = false;
  } else {
    state.descending = !state.descending;
  }
  list.sort(column, state.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void frmManager2::lstDatePreview_ItemCheck(QTreeWidgetItem* item, bool ticked) {
  lstDatePreview_->setCurrentItem(item);
  std::string key = QtCheckList::keyOf(item);
  Bsql_EditPreviewList(key, ticked);
  dates_->colour(item);
}

void frmManager2::lstReference_ItemCheck(QTreeWidgetItem* item, bool ticked) {
  lstReference_->setCurrentItem(item);
  Bhtm_ChangePreviewSelection(QtCheckList::keyOf(item), ticked, item->text(0).toStdString());
}

}  // namespace pellary
