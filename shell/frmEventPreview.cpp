#include "shell/frmEventPreview.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "core/app.h"
#include "core/gui/check_list.h"
#include "core/gui/help_keys.h"
#include "core/gui/placement.h"
#include "core/gui/plain_text.h"
#include "core/gui/wizard/page_parts.h"
#include "core/selection.h"
#include "platform/errors.h"
#include "platform/oledate.h"

namespace pellary {

namespace {
template <class W>
W* make(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* w = new W(text, parent);
  w->setObjectName(name);
  w->setGeometry(geometry);
  return w;
}
QDate qdateOf(double ole) {
  platform::CivilDateTime c = platform::civilFromOle(ole);
  return QDate(c.year, c.month, c.day);
}
double oleOf(const QDate& d) { return platform::oleFromCivil(d.year(), d.month(), d.day()); }
}  // namespace

frmEventPreview::frmEventPreview(std::function<void()> addToSelection, QWidget* parent)
    : QDialog(parent), add_(std::move(addToSelection)) {
  setObjectName("frmEventPreview");
  setWindowTitle(kAppTitle);
  setModal(true);
  // Its controls are laid out for this size.
  setFixedSize(560, 470);
  setHelpTopic(*this, helptopic::EventOptions);

  auto* settings = new QGroupBox(this);
  settings->setObjectName("fraSettingsPanel");
  settings->setGeometry(8, 8, 544, 96);
  make<QLabel>(settings, "lblTellMeWhen", "Tell me when:", {8, 8, 120, 20});
  chkHappen_ = make<QCheckBox>(settings, "chkHappen", "Events happen", {8, 30, 250, 20});
  chkOnSale_ = make<QCheckBox>(settings, "chkOnSale", "Tickets go on sale (where available)", {8, 52, 260, 20});
  make<QLabel>(settings, "lblDescriptionLen", "Length of description:", {290, 8, 200, 20});
  auto* descriptions = new QButtonGroup(this);
  optStandard_ = make<QRadioButton>(settings, "optStandard", "Standard", {290, 30, 120, 20});
  optDetailed_ = make<QRadioButton>(settings, "optDetailed", "Detailed", {290, 52, 120, 20});
  descriptions->addButton(optStandard_);
  descriptions->addButton(optDetailed_);

  auto* include = new QGroupBox(this);
  include->setObjectName("fraIncludeBar");
  include->setGeometry(8, 108, 544, 36);
  lblPriorityCaption_ = make<QLabel>(include, "lblPriorityCaption", "Include:", {8, 8, 70, 20});
  auto* priorities = new QButtonGroup(this);
  optAllEvents_ = make<QRadioButton>(include, "optAllEvents", "All", {90, 8, 80, 20});
  optMostEvents_ = make<QRadioButton>(include, "optMostEvents", "Most", {180, 8, 80, 20});
  optOnlyKeyEvents_ = make<QRadioButton>(include, "optOnlyKeyEvents", "Only key events", {270, 8, 160, 20});
  for (QRadioButton* b : {optAllEvents_, optMostEvents_, optOnlyKeyEvents_}) priorities->addButton(b);

  auto* lblList = make<QLabel>(this, "lblList", "List of events", {8, 150, 200, 20});
  lblCurrentCategory_ = make<QLabel>(this, "lblCurrentCategory", "", {8, 172, 544, 20});
  plainLabel(lblCurrentCategory_);  // a category name from the databank
  lstPreviews_ = new QTreeWidget(this);
  lstPreviews_->setObjectName("lstPreviews");
  lstPreviews_->setGeometry(8, 196, 544, 220);
  lstPreviews_->setColumnCount(2);
  lstPreviews_->setHeaderLabels({"Date", "Event"});
  lblList->setBuddy(lstPreviews_);
  list_ = std::make_unique<QtCheckList>(lstPreviews_, 0);
  list_->onTickChanged([this](QTreeWidgetItem* item, bool on) { lstPreviews_ItemCheck(item, on); });

  cmdSetDates_ = make<QPushButton>(this, "cmdSetDates", "&Preferences...", {8, 426, 120, 30});
  cmdOk_ = make<QPushButton>(this, "cmdOk", kAddCaption, {250, 426, 180, 30});
  auto* cancel = make<QPushButton>(this, "cmdCancel", "&Cancel", {440, 426, 110, 30});
  auto* options = new QLineEdit(this);
  options->setObjectName("txtOptions");
  options->setGeometry(0, 0, 0, 0);
  options->setFocusPolicy(Qt::NoFocus);
  options->setAccessibleName("Options");

  // Drawn over the dialog as a framed panel; what lies behind it is out of
  // use while it is open.
  fraSetDates_ = new QGroupBox("Preferences", this);
  fraSetDates_->setObjectName("fraSetDates");
  fraSetDates_->setGeometry(40, 40, 480, 350);
  fraSetDates_->setAutoFillBackground(true);
  fraSetDates_->setStyleSheet(
      "QGroupBox#fraSetDates { border: 2px solid palette(dark); border-radius: 4px;"
      " margin-top: 12px; padding-top: 8px; background: palette(window); }"
      " QGroupBox#fraSetDates::title { subcontrol-origin: margin; left: 8px; }");
  auto* display = new QGroupBox("Longer/recurring event settings", fraSetDates_);
  display->setObjectName("fraDisplay");
  display->setGeometry(8, 24, 464, 120);
  auto* lblEventDuration = make<QLabel>(display, "lblEventDuration", "For events longer than:", {8, 24, 170, 20});
  cboUnit_ = new QComboBox(display);
  cboUnit_->setObjectName("cboUnit");
  cboUnit_->setGeometry(190, 22, 120, 24);
  lblEventDuration->setBuddy(cboUnit_);
  make<QLabel>(display, "Label1", "show entry once and display * symbol in calendar (to denote recurrence)",
               {8, 50, 450, 20});
  chkDisplayExclamation_ = make<QCheckBox>(display, "chkDisplayExclamation",
                                           "display * symbol in calendar (to denote recurrence)", {8, 76, 450, 20});
  chkSetDateRange_ =
      make<QCheckBox>(fraSetDates_, "chkSetDateRange", "Set date range for this category", {8, 152, 300, 20});
  fraDateRange_ = new QGroupBox(fraSetDates_);
  fraDateRange_->setObjectName("fraDateRange");
  fraDateRange_->setGeometry(8, 176, 464, 100);
  lblStartDate_ = make<QLabel>(fraDateRange_, "lblStartDate", "Start date", {8, 12, 100, 20});
  calStartDate_ = new QDateEdit(fraDateRange_);
  calStartDate_->setObjectName("calStartDate");
  calStartDate_->setGeometry(120, 10, 140, 24);
  calStartDate_->setCalendarPopup(true);
  lblStartDate_->setBuddy(calStartDate_);
  lblEndDate_ = make<QLabel>(fraDateRange_, "lblEndDate", "End date", {8, 50, 100, 20});
  calEndDate_ = new QDateEdit(fraDateRange_);
  calEndDate_->setObjectName("calEndDate");
  calEndDate_->setGeometry(120, 48, 140, 24);
  calEndDate_->setCalendarPopup(true);
  lblEndDate_->setBuddy(calEndDate_);
  auto* okDates = make<QPushButton>(fraSetDates_, "cmdOkDates", "&OK", {250, 300, 100, 30});
  auto* cancelDates = make<QPushButton>(fraSetDates_, "cmdCancelDates", "&Cancel", {360, 300, 100, 30});
  fraSetDates_->hide();

  // Load: the length box.
  cboUnit_->clear();
  for (int i = 0; i < duration::kUnitCount; ++i)
    cboUnit_->addItem(QString::fromStdString(duration::unitText(i)), int(duration::codeOfPosition(i)));

  for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{chkHappen_, chkOnSale_, optStandard_, optDetailed_,
                                                                    optAllEvents_, optMostEvents_, optOnlyKeyEvents_})
    connect(b, &QAbstractButton::clicked, this, [this] { optionClicked(); });
  connect(chkSetDateRange_, &QAbstractButton::clicked, this, [this] { chkSetDateRange_Click(); });
  connect(cmdSetDates_, &QPushButton::clicked, this, [this] { cmdSetDates_Click(); });
  connect(okDates, &QPushButton::clicked, this, [this] { cmdOkDates_Click(); });
  connect(cancelDates, &QPushButton::clicked, this, [this] { cmdCancelDates_Click(); });
  connect(cmdOk_, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
  connect(cancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
  lstPreviews_->setAccessibleName("List of events");
  nameControlsFromLabels(*this);
}

frmEventPreview::~frmEventPreview() = default;

OptionControls frmEventPreview::options() const {
  OptionControls c;
  c.include = optOnlyKeyEvents_->isChecked() ? IncludeChoice::OnlyKey
              : optAllEvents_->isChecked()   ? IncludeChoice::All
                                             : IncludeChoice::Most;
  c.detailed = optDetailed_->isChecked();
  c.happen = chkHappen_->isChecked();
  c.onSale = chkOnSale_->isChecked();
  return c;
}

void frmEventPreview::setOptions(const OptionControls& c) {
  (c.include == IncludeChoice::OnlyKey ? optOnlyKeyEvents_
   : c.include == IncludeChoice::All   ? optAllEvents_
                                       : optMostEvents_)
      ->setChecked(true);
  (c.detailed ? optDetailed_ : optStandard_)->setChecked(true);
  chkHappen_->setChecked(c.happen);
  chkOnSale_->setChecked(c.onSale);
}

void frmEventPreview::setEnabledParts(bool include, bool onSale, bool dateRange) {
  for (QWidget* w :
       std::initializer_list<QWidget*>{optAllEvents_, optMostEvents_, optOnlyKeyEvents_, lblPriorityCaption_})
    w->setEnabled(include);
  chkOnSale_->setEnabled(onSale);
  for (QWidget* w : std::initializer_list<QWidget*>{chkSetDateRange_, fraDateRange_, lblStartDate_, lblEndDate_})
    w->setEnabled(dateRange);
}

void frmEventPreview::setCategoryCaption(const std::string& text) {
  lblCurrentCategory_->setText(QString::fromStdString(text));
}
std::string frmEventPreview::categoryCaption() const { return lblCurrentCategory_->text().toStdString(); }
void frmEventPreview::setOkCaption(const std::string& text) { cmdOk_->setText(QString::fromStdString(text)); }
PreviewList& frmEventPreview::eventList() { return *list_; }

DatePanel frmEventPreview::datePanel() const {
  DatePanel p;
  p.unitPosition = cboUnit_->currentIndex();
  p.displayStar = chkDisplayExclamation_->isChecked();
  p.setDateRange = chkSetDateRange_->isChecked();
  p.pickersEnabled = calStartDate_->isEnabled();
  p.startDate = oleOf(calStartDate_->date());
  p.endDate = oleOf(calEndDate_->date());
  return p;
}

void frmEventPreview::setDatePanel(const DatePanel& p) {
  cboUnit_->setCurrentIndex(p.unitPosition);
  chkDisplayExclamation_->setChecked(p.displayStar);
  chkSetDateRange_->setChecked(p.setDateRange);
  calStartDate_->setEnabled(p.pickersEnabled);
  calEndDate_->setEnabled(p.pickersEnabled);
  if (p.startDate != 0) calStartDate_->setDate(qdateOf(p.startDate));
  // No end stored: a year after the start, so that OK without touching the
  // dates stores a range that is accepted.
  calEndDate_->setDate(p.endDate != 0 ? qdateOf(p.endDate) : calStartDate_->date().addYears(1));
}

void frmEventPreview::setBehindPanelEnabled(bool enabled) {
  for (QObject* o : children())
    if (auto* w = qobject_cast<QWidget*>(o); w && w != fraSetDates_) w->setEnabled(enabled);
}

void frmEventPreview::showDatePanel() {
  setBehindPanelEnabled(false);
  fraSetDates_->setEnabled(true);
  fraSetDates_->show();
  fraSetDates_->raise();
  cboUnit_->setFocus(Qt::OtherFocusReason);
}

void frmEventPreview::hideDatePanel() {
  fraSetDates_->hide();
  fraSetDates_->setEnabled(false);
  setBehindPanelEnabled(true);
  cmdSetDates_->setFocus(Qt::OtherFocusReason);
}

void frmEventPreview::centreOnMainWindow() {
  if (Bpo().mainFrame)
    Bpo_CenterAdoptedOnMain(*this);
  else
    Bpo_CentreOnScreen(*this);
}

void frmEventPreview::optionClicked() {
  if (!settingUp_) Bsql_UpdateCategoryBits();
}

void frmEventPreview::chkSetDateRange_Click() {
  bool on = chkSetDateRange_->isChecked();
  calStartDate_->setEnabled(on);
  calEndDate_->setEnabled(on);
}

void frmEventPreview::cmdOkDates_Click() {
  if (Bsql_SetDateRangePreferences()) return;
  hideDatePanel();
  Bsql_RunSingleNodePreview();
}

void frmEventPreview::cmdOk_Click() {
  QString caption = cmdOk_->text();
  if (caption.size() > 1 && caption.at(1).toUpper() == QChar('A')) {
    if (add_) add_();
  } else {
    Bsql_ReCountEvents();
  }
  accept();
}

void frmEventPreview::lstPreviews_ItemCheck(QTreeWidgetItem* item, bool ticked) {
  lstPreviews_->setCurrentItem(item);
  std::string key = QtCheckList::keyOf(item);
  if (key != kPlaceholderRowKey) Bsql_EditPreviewList(key, ticked);
  list_->colour(item);
}

void frmEventPreview::frmEventPreview_Escape(int keyCode) {
  trapped("frmEventPreview_Escape", [&] {
    if (keyCode != 27) return;
    if (fraSetDates_->isVisible()) {
      hideDatePanel();
      return;
    }
    cmdCancel_Click();
  });
}

}  // namespace pellary
