#include "writers/pages/frmOrgDetails.h"

#include <QApplication>
#include <QShowEvent>

#include "core/app.h"
#include "core/gui/password_box.h"
#include "core/gui/wizard/placeholder_page.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/scrambler.h"
#include "core/update_run.h"
#include "platform/errors.h"
#include "platform/msgbox.h"

namespace pellary {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

QLabel* label(const QString& text, const char* name, QWidget* parent, int x, int y, int w = 200) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  l->setGeometry(x, y, w, 20);
  return l;
}

bool firstSetUp() { return Bset().Bset_NoProfileCats; }

}  // namespace

frmOrgDetails::frmOrgDetails(QWidget* parent) : QWidget(parent) {
  setObjectName("frmOrgDetails");
  addSidePicture(*this, 2);
  addPageTitle(*this, "Lotus Organizer");
  lblFormInfo = new QLabel(this);
  lblFormInfo->setObjectName("lblFormInfo");
  lblFormInfo->setWordWrap(true);
  lblFormInfo->setGeometry(160, 45, 180, 300);

  fraUserInput = new QGroupBox(this);
  fraUserInput->setObjectName("fraUserInput");
  fraFilePsw = new QGroupBox(this);
  fraFilePsw->setObjectName("fraFilePsw");
  lblFileLabel = label("Available Files:", "lblFileLabel", fraFilePsw, 10, 10);
  lstFiles = new QListWidget(fraFilePsw);
  lstFiles->setObjectName("lstFiles");
  lstFiles->setGeometry(10, 32, 250, 160);
  txtSelectedFile = new QLineEdit(fraFilePsw);
  txtSelectedFile->setObjectName("txtSelectedFile");
  txtSelectedFile->setGeometry(10, 32, 250, 24);
  txtSelectedFile->setReadOnly(true);
  txtSelectedFile->hide();
  label("Password:", "Label5", fraFilePsw, 10, 205);
  txtPassword = new QLineEdit(fraFilePsw);
  txtPassword->setObjectName("txtPassword");
  txtPassword->setEchoMode(QLineEdit::Password);
  refuseUnscramblableCharacters(*txtPassword);
  txtPassword->setGeometry(10, 228, 250, 24);
  chkKeepPassword = new QCheckBox("Keep Your Password", fraFilePsw);
  chkKeepPassword->setObjectName("chkKeepPassword");
  chkKeepPassword->setGeometry(10, 260, 250, 22);

  fraDetails = new QGroupBox(this);
  fraDetails->setObjectName("fraDetails");
  label("Section Type:", "Label2", fraDetails, 10, 10);
  cboSectionType = new QComboBox(fraDetails);
  cboSectionType->setObjectName("cboSectionType");
  cboSectionType->setGeometry(10, 32, 250, 24);
  label("Display Time:", "Label1", fraDetails, 10, 66);
  cboDispTime = new QComboBox(fraDetails);
  cboDispTime->setObjectName("cboDispTime");
  cboDispTime->setGeometry(10, 88, 250, 24);
  lblListSection = label("Available Calendar Sections:", "lblListSection", fraDetails, 10, 122, 250);
  lstSections = new QListWidget(fraDetails);
  lstSections->setObjectName("lstSections");
  lstSections->setGeometry(10, 144, 250, 130);

  pbRecords = addPageProgress(*this, "pbRecords", QRect(160, 350, 450, 20));
  const PageFooter footer = addPageFooter(*this, QPoint(420, 378));
  cmdBack = footer.back;
  cmdNext = footer.next;

  connect(cmdNext, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  connect(cmdBack, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  connect(lstFiles, &QListWidget::itemClicked, this, [this] { lstFiles_Click(); });
  connect(lstSections, &QListWidget::itemClicked, this, [this] { lstSections_Click(); });
  // Arrow keys choose as a click does.
  connect(lstFiles, &QListWidget::itemSelectionChanged, this, [this] { lstFiles_Click(); });
  connect(lstSections, &QListWidget::itemSelectionChanged, this, [this] { enableNextForSections(); });
  connect(cboSectionType, &QComboBox::activated, this, [this] { cboSectionType_Click(); });

  Borg().view = this;
  Form_Load();
}

frmOrgDetails::~frmOrgDetails() {
  if (Borg().view == this) Borg().view = nullptr;
}

void frmOrgDetails::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) Form_Activate();
}

void frmOrgDetails::Form_Load() {
  trapped("frmSelectFile_Form_Load", [&] {
    Borg_PutFilesInArray();
    lstFiles->clear();
    for (const auto& f : Borg().Borg_RecentFiles)
      if (!f.empty()) lstFiles->addItem(q(Borg_DisplayFileName(f)));
  });
}

void frmOrgDetails::Form_Activate() {
  frames_ = std::make_unique<clsFrames>();
  frames_->SetDefaultSize(4095, 5895);
  frames_->SetDefaultPosition(120, 5280);
  frames_->AutoLoad(*this, false);
  frames_->SetFrameSize("fraUserInput", 4095, 5895);
  frames_->ShowFrame({"fraUserInput"});
  frames_->RemoveFrame({"fraUserInput"});
  fraUserInput->lower();
  frmOrgDetails_ShowStepInfo(step_);
  frames_->ShowFrame({"fraFilePsw"});
  cmdBack->setEnabled(false);
  const std::string userFile = Breg_GetRegSetting("Settings", "OrgUserFile");
  const auto found = lstFiles->findItems(q(userFile), Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (!userFile.empty() && !found.isEmpty()) lstFiles->setCurrentItem(found.first());
  if (Breg_GetRegSetting("Settings", "OrgKeepPassword") == "TRUE") {
    chkKeepPassword->setChecked(true);
    txtPassword->setText(q(Bse_StoredPassword(Breg_GetRegSetting("Settings", "OrgPassword"))));
  }
  if (!firstSetUp() && !userFile.empty()) {
    txtSelectedFile->setText(q(Borg_DisplayFileName(userFile)));
    txtSelectedFile->show();
    lstFiles->hide();
    lblFileLabel->setText("File selected");
    cmdNext->setEnabled(true);
  } else {
    cmdNext->setEnabled(!lstFiles->selectedItems().isEmpty());
  }
}

void frmOrgDetails::lstFiles_Click() { cmdNext->setEnabled(!lstFiles->selectedItems().isEmpty()); }
void frmOrgDetails::lstSections_Click() { cmdNext->setEnabled(true); }

void frmOrgDetails::enableNextForSections() {
  if (lstSections->count() == 0) {
    cmdNext->setEnabled(false);
    return;
  }
  if (!lstSections->selectedItems().isEmpty() || lstSections->count() == 1) cmdNext->setEnabled(true);
}

void frmOrgDetails::cboSectionType_Click() {
  auto& control = Borg_Control();
  const int index = cboSectionType->currentIndex();
  control.put(4, int32_t(index));
  cboDispTime->setEnabled(index == 0);
  control.call(12);
  platform::DispatchArgs none;
  const std::string list = control.invoke(13, none, platform::automation::InvokeKind::PropertyGet).toString();
  PopulateSectionList(list);
  if (lstSections->count() > 0) lstSections->setCurrentRow(0);
  enableNextForSections();
  // Before the details show, the file is not open yet and has no list.
  if (step_ == 1) tellWhenNoSection();
}

void frmOrgDetails::tellWhenNoSection() {
  if (lstSections->count() != 0) return;
  MsgBox("Your Organizer file has no " + cboSectionType->currentText().toStdString() +
             " section. Please choose another section type, or add such a section in Organizer.",
         mb::Exclamation, appTitle());
}

void frmOrgDetails::PopulateSectionList(const std::string& list) {
  lstSections->clear();
  for (const auto& name : Borg_ParseSections(list)) lstSections->addItem(q(name));
}

void frmOrgDetails::PopulateDispTime() {
  trapped("frmOrgDetails_PopulateDispTime", [&] {
    cboDispTime->clear();
    for (int h = 7; h <= 21; ++h) cboDispTime->addItem(QString("%1:00").arg(h, 2, 10, QChar('0')));
    cboDispTime->setCurrentIndex(2);
    const std::string stored = Breg_GetRegSetting("Settings", "OrgDispTime");
    if (!stored.empty() && stored != "0") {
      const int index = Variant(stored).toInteger() - 7;
      if (index < 0 || index >= cboDispTime->count()) pellary::raise(err::InvalidCall, "Display time out of range");
      cboDispTime->setCurrentIndex(index);
    }
  });
}

void frmOrgDetails::SaveDetails() {
  trapped("frmOrgDetails_SaveDetails", [&] {
    const QString type = cboSectionType->currentText();
    if (type == "Calendar") {
      Breg_WriteRegSettings("Settings", "OrgEntType", "0");
      Breg_WriteRegSettings("Settings", "OrgDispTime", std::to_string(cboDispTime->currentText().left(2).toInt()));
    } else if (type == "Anniversary") {
      Breg_WriteRegSettings("Settings", "OrgEntType", "1");
    } else if (type == "Planner") {
      Breg_WriteRegSettings("Settings", "OrgEntType", "2");
    }
    const int index = selectedSection();
    if (index < 0) pellary::raise(err::SubscriptOutOfRange, "No section chosen");
    Breg_WriteRegSettings("Settings", "OrgSection", Borg().Borg_Sections[size_t(index)].sSectionInternalName);
    Breg_WriteRegSettings("Settings", "OrgUsrSection", Borg().Borg_Sections[size_t(index)].sSectionUserName);
  });
}

void frmOrgDetails::ShowDetails() {
  trapped("frmOrgDetails.ShowDetails", [&] {
    if (chkKeepPassword->isChecked()) {
      Breg_WriteRegSettings("Settings", "OrgKeepPassword", "TRUE");
      Breg_WriteRegSettings("Settings", "OrgPassword", Bse_LongCodeUp(txtPassword->text().toStdString()));
    } else {
      Breg_WriteRegSettings("Settings", "OrgKeepPassword", "FALSE");
      Breg_DeleteRegSetting("Settings", "OrgPassword");
    }
    if (firstSetUp()) {
      const int row = lstFiles->currentRow();
      if (row >= 0 && row < 7) Breg_WriteRegSettings("Settings", "OrgUserFile", Borg().Borg_RecentFiles[size_t(row)]);
    }
  });
}

bool frmOrgDetails::initDetails() {
  return trapped("initDetails", [&] {
    if (Bupd_UpdateRun()) return false;
    const std::string version = Borg_ReturnOrganizerVersion();
    const int16_t code = Borg_VersionCode(version);
    const std::string password = txtPassword->text().toStdString();
    cboSectionType->clear();
    cboSectionType->addItems({"Calendar", "Anniversary", "Planner"});
    PopulateDispTime();
    const std::string entType = Breg_GetRegSetting("Settings", "OrgEntType");
    const std::string userFile = Breg_GetRegSetting("Settings", "OrgUserFile");
    const std::string dispTime = Breg_GetRegSetting("Settings", "OrgDispTime");
    int16_t hour = 9;
    if (firstSetUp())
      hour = dispTime.empty() ? int16_t(9) : Variant(dispTime).toInteger();
    else
      hour = int16_t(cboDispTime->currentIndex() + 7);
    if (hour < 7 || hour > 21) hour = 9;
    cboDispTime->setCurrentIndex(hour - 7);
    Borg().Borg_DispTime = hour;
    int16_t entryType = 0;
    if (!entType.empty()) {
      entryType = Variant(entType).toInteger();
      if (entryType < 0 || entryType > 2) entryType = 0;
    }
    cboSectionType->setCurrentIndex(entryType);
    cboSectionType_Click();
    cboDispTime->setCurrentIndex(hour - 7);
    if (Borg_Initialise_Control(code, entryType, hour, userFile, password) != 0) return false;
    cmdBack->setEnabled(true);
    cboSectionType->show();
    cboDispTime->show();
    lstSections->show();
    lblListSection->show();
    auto& control = Borg_Control();
    control.call(12);
    platform::DispatchArgs none;
    PopulateSectionList(control.invoke(13, none, platform::automation::InvokeKind::PropertyGet).toString());
    if (lstSections->count() > 0) lstSections->setCurrentRow(0);
    lstSections->setVisible(lstSections->count() >= 2);
    enableNextForSections();
    if (lstSections->count() >= 2) {
      const auto match = lstSections->findItems(q(Breg_GetRegSetting("Settings", "OrgUsrSection")),
                                                Qt::MatchExactly | Qt::MatchCaseSensitive);
      if (!match.isEmpty()) lstSections->setCurrentItem(match.first());
    }
    return true;
  });
}

void frmOrgDetails::cmdNext_Click() {
  if (step_ == 1) {
    Borg_RunWrite();
    return;
  }
  const std::string stored = Breg_GetRegSetting("Settings", "OrgUserFile");
  // A returning user without a stored file picks one from the list like a new one.
  const bool choosing = firstSetUp() || stored.empty();
  if (choosing) {
    const int row = lstFiles->currentRow();
    if (row >= 0 && row < 7) Breg_WriteRegSettings("Settings", "OrgUserFile", Borg().Borg_RecentFiles[size_t(row)]);
  }
  if (!initDetails()) return;
  // A stored section type the file no longer has: the user picks another.
  if (firstSetUp() || lstSections->count() == 0) {
    step_ = 1;
    tellWhenNoSection();
    ShowDetails();
    if (frames_) frames_->ShowFrame({"fraDetails"});
    lblListSection->setVisible(!lstSections->isHidden());
    cmdBack->setEnabled(true);
    frmOrgDetails_ShowStepInfo(1);
    QApplication::processEvents();
  } else {
    ShowDetails();
    Borg_RunWrite();
  }
}

void frmOrgDetails::cmdBack_Click() {
  if (step_ != 1) return;
  cmdNext->setEnabled(true);
  cmdBack->setEnabled(false);
  step_ = 0;
  frmOrgDetails_ShowStepInfo(0);
  if (frames_) frames_->ShowFrame({"fraFilePsw"});
}

void frmOrgDetails::frmOrgDetails_ShowStepInfo(int16_t step) {
  if (step == 0)
    lblFormInfo->setText(
        "Pellary Almoner will now write your selection of dates and events to the Lotus Organizer file of your "
        "choice\r\n\r\nClick on the file from the list opposite, this will be the Organizer file to which all "
        "subsequent Pellary Almoner dates are written\r\n\r\nIf the Lotus Organizer file is password protected you "
        "must enter this too. To avoid entering your password in future, tick the appropriate box");
  else if (step == 1)
    lblFormInfo->setText(
        "Lotus Organizer allows you to write your Pellary Almoner dates as either 'Calendar', 'Anniversary' or "
        "'Planner' events. Please choose the manner in which you would like your Pellary Almoner dates to be "
        "written\r\n\r\nIf you choose to store dates as 'Calendar' events, please select the time of day you would "
        "like attributed to your Pellary Almoner dates");
}

void frmOrgDetails::setNavigationEnabled(bool enabled) {
  cmdNext->setEnabled(enabled);
  cmdBack->setEnabled(enabled);
}

int frmOrgDetails::selectedSection() const {
  const int row = lstSections->currentRow();
  if (row < 0 || row >= 10) return -1;
  if (lstSections->count() > 1 && !lstSections->item(row)->isSelected()) return -1;
  return row;
}

void frmOrgDetails::setProgress(int16_t percent) { pbRecords->setValue(percent); }
void frmOrgDetails::showProgress() { pbRecords->show(); }

}  // namespace pellary
