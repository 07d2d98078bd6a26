#include "writers/pages/frmDayTimersSelect.h"

#include <QApplication>
#include <QDir>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStorageInfo>

#include "core/app.h"
#include "core/gui/password_box.h"
#include "core/gui/wizard/placeholder_page.h"
#include "core/registry.h"
#include "core/scrambler.h"
#include "core/shellwrap.h"
#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/paths.h"

namespace pellary {

namespace dt = standins::daytimer;

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

QLabel* label(const char* text, const char* name, QWidget* parent, int y) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  l->setGeometry(10, y, 250, 20);
  return l;
}

QLineEdit* field(const char* name, QWidget* parent, int y) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setGeometry(10, y, 250, 24);
  return e;
}

QGroupBox* panel(const char* name, QWidget* parent) {
  auto* g = new QGroupBox(parent);
  g->setObjectName(name);
  g->setGeometry(340, 45, 280, 300);
  return g;
}

}  // namespace

frmDayTimersSelect::frmDayTimersSelect(QWidget* parent) : QWidget(parent) {
  setObjectName("frmDayTimersSelect");
  addSidePicture(*this, 0);
  addPageTitle(*this, "Day-Timer Organizer");
  lblFormInfo = new QLabel(this);
  lblFormInfo->setObjectName("lblFormInfo");
  lblFormInfo->setWordWrap(true);
  lblFormInfo->setGeometry(160, 45, 170, 300);
  fraUserInput = panel("fraUserInput", this);

  fraSelectDatabase = panel("fraSelectDatabase", this);
  label("Databases:", "lblDatabase", fraSelectDatabase, 10);
  lstFiles = new QListWidget(fraSelectDatabase);
  lstFiles->setObjectName("lstFiles");
  lstFiles->setGeometry(10, 32, 250, 220);

  fraSelectDatabaseFile = panel("fraSelectDatabaseFile", this);
  label("Drive:", "lblDrive", fraSelectDatabaseFile, 10);
  drvDatabase = new QComboBox(fraSelectDatabaseFile);
  drvDatabase->setObjectName("drvDatabase");
  drvDatabase->setGeometry(10, 32, 250, 24);
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
    if (volume.isValid()) drvDatabase->addItem(volume.rootPath());
  if (drvDatabase->count() == 0) drvDatabase->addItem(QDir::rootPath());
  label("Folder:", "lblDirectory", fraSelectDatabaseFile, 62);
  dirDatabase = field("dirDatabase", fraSelectDatabaseFile, 84);
  filDatabase = new QListWidget(fraSelectDatabaseFile);
  filDatabase->setObjectName("filDatabase");
  filDatabase->setGeometry(10, 116, 250, 130);
  txtFileName = field("txtFileName", fraSelectDatabaseFile, 254);
  filDatabase->setAccessibleName("Files in the folder");
  txtFileName->setAccessibleName("Database file name");

  fraMultiUserLogin = panel("fraMultiUserLogin", this);
  lblUsername = label("User name:", "lblUsername", fraMultiUserLogin, 10);
  cboUserName = new QComboBox(fraMultiUserLogin);
  cboUserName->setObjectName("cboUserName");
  cboUserName->setGeometry(10, 32, 250, 24);
  lblPassword = label("Personal password:", "lblPassword", fraMultiUserLogin, 66);
  txtPassword = field("txtPassword", fraMultiUserLogin, 88);
  txtPassword->setEchoMode(QLineEdit::Password);
  refuseUnscramblableCharacters(*txtPassword);
  lblDBPassword = label("Database password:", "lblDBPassword", fraMultiUserLogin, 122);
  txtDBPassword = field("txtDBPassword", fraMultiUserLogin, 144);
  txtDBPassword->setEchoMode(QLineEdit::Password);
  refuseUnscramblableCharacters(*txtDBPassword);

  pbWritingToDayTimer = addPageProgress(*this, "pbWritingToDayTimer", QRect(160, 350, 450, 20));
  const PageFooter footer = addPageFooter(*this, QPoint(420, 378));
  cmdBack = footer.back;
  cmdNext = footer.next;

  connect(cmdNext, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  connect(cmdBack, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  connect(lstFiles, &QListWidget::itemDoubleClicked, this, [this] { lstFiles_DblClick(); });
  connect(dirDatabase, &QLineEdit::editingFinished, this, [this] { dirDatabase_Change(); });
  connect(filDatabase, &QListWidget::itemClicked, this, [this] { filDatabase_Click(); });
  connect(filDatabase, &QListWidget::itemDoubleClicked, this, [this] { cmdNext_Click(); });
  connect(drvDatabase, &QComboBox::currentTextChanged, this, [this] { drvDatabase_Change(); });
  connect(txtDBPassword, &QLineEdit::textChanged, this, [this] { cmdNext->setEnabled(true); });
  connect(txtPassword, &QLineEdit::textChanged, this, [this] { cmdNext->setEnabled(true); });
  connect(txtDBPassword, &QLineEdit::editingFinished, this,
          [this] { dbPassword_ = txtDBPassword->text().toStdString(); });
  connect(txtPassword, &QLineEdit::editingFinished, this,
          [this] { userPassword_ = txtPassword->text().toStdString(); });
  connect(cboUserName, &QComboBox::currentTextChanged, this, [this](const QString& t) { userName_ = t.toStdString(); });

  Bdt().progress = [this](int16_t percent) { pbWritingToDayTimer->setValue(percent); };
  Bdt().doEvents = [] { QApplication::processEvents(); };
  Form_Load();
}

frmDayTimersSelect::~frmDayTimersSelect() {
  Bdt().progress = nullptr;
  Bdt().doEvents = nullptr;
}

void frmDayTimersSelect::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) Form_Activate();
}

void frmDayTimersSelect::Form_Load() {
  cmdBack->setEnabled(false);
  const std::string ini = (dt::windowsFolder() / "daytimer.ini").string();
  try {
    database_ = std::dynamic_pointer_cast<dt::DayTimerDatabase>(platform::automation::createObject(dt::kDatabaseClass));
  } catch (const AppError&) {
  }
  if (!database_) {
    MsgBox("Cannot create reference to DTDBWrap.DTDBHandle", mb::Critical, appTitle());
    cmdNext->setEnabled(false);
    return;
  }
  Bdt_ClearCredentials();
  path_ = Breg_GetRegSetting("Settings", "DTDBName");
  storedUser_ = Breg_GetRegSetting("Settings", "DTUserName");
  const std::string s = Bse_StoredPassword(Breg_GetRegSetting("Settings", "DTOther"));
  if (!s.empty()) {
    const auto nul = s.find('\0');
    storedUserPassword_ = s.substr(0, nul);
    storedDbPassword_ = nul == std::string::npos ? std::string() : s.substr(nul + 1);
  }
  lists_ = Bdt_AddFilesToListbox(ini);
  lstFiles->clear();
  for (const auto& row : lists_.rows) lstFiles->addItem(q(row));
  lstFiles->setCurrentRow(0);
  if (!path_.empty()) {
    storedPath_ = path_;
    for (int i = 0; i < lstFiles->count(); ++i) {
      const std::string row = lstFiles->item(i)->text().toStdString();
      if (row.size() <= path_.size() && path_.compare(path_.size() - row.size(), row.size(), row) == 0) {
        lstFiles->setCurrentRow(i);
        break;
      }
    }
  }
}

void frmDayTimersSelect::Form_Activate() {
  frames_ = std::make_unique<clsFrames>();
  frames_->SetDefaultSize(4095, 5295);
  frames_->SetDefaultPosition(120, 5280);
  frames_->AutoLoad(*this, false);
  frames_->SetFrameSize("fraUserInput", 4195, 5995);
  frames_->ShowFrame({"fraUserInput"});
  frames_->RemoveFrame({"fraUserInput"});
  fraUserInput->lower();
  Bdt_ShowStepInfo(step_);
  frames_->ShowFrame({"fraSelectDatabase"});
}

void frmDayTimersSelect::Bdt_ClearCredentials() {
  txtDBPassword->clear();
  txtPassword->clear();
  path_.clear();
  dbPassword_.clear();
  userName_.clear();
  userPassword_.clear();
}

std::string frmDayTimersSelect::Bdt_SelectedDatabasePath() const {
  const int row = lstFiles->currentRow();
  if (row < 0) return {};
  std::string name = lstFiles->item(row)->text().toStdString();
  if (name.find('\\') == std::string::npos && name.find('/') == std::string::npos &&
      size_t(row) < lists_.folders.size()) {
    std::string folder = lists_.folders[size_t(row)];
    // The folders of daytimer.ini come without a final separator.
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    name = folder + name;
  }
  return name;
}

void frmDayTimersSelect::takeListChoice() {
  Bdt_ClearCredentials();
  if (lstFiles->currentRow() >= 0 && lstFiles->currentRow() != lstFiles->count() - 1)
    path_ = Bdt_SelectedDatabasePath();
}

void frmDayTimersSelect::lstFiles_DblClick() { takeListChoice(); }

void frmDayTimersSelect::cmdNext_Click() {
  if (!database_) return;
  bool ok = false;
  if (step_ == 0) {
    takeListChoice();
    ok = !path_.empty() ? Bdt_CheckLogin() : Bdt_ShowFileSelection();
    if (!ok) {
      ++step_;
      cmdBack->setEnabled(true);
    }
  } else {
    // What is in the boxes now, however Next was reached (access key, Enter
    // or click), not only what a finished edit left behind.
    if (!txtDBPassword->isHidden()) dbPassword_ = txtDBPassword->text().toStdString();
    if (!txtPassword->isHidden()) userPassword_ = txtPassword->text().toStdString();
    ok = Bdt_CheckLogin();
  }
  int16_t mode = 0;
  for (QWidget* w :
       {static_cast<QWidget*>(txtDBPassword), static_cast<QWidget*>(cboUserName), static_cast<QWidget*>(txtPassword)})
    mode += w->isHidden() ? 0 : 1;
  Bdt_ShowStepInfo(mode);
  if (!ok || !Bdt_ConfirmSelections(path_)) return;
  cmdNext->setEnabled(false);
  cmdBack->setEnabled(false);
  if (path_.size() >= 4 && paths::equalsIgnoreCase(path_.substr(path_.size() - 4), ".bfl"))
    path_.resize(path_.size() - 4);
  Breg_WriteRegSettings("Settings", "DTDBName", path_);
  Breg_WriteRegSettings("Settings", "DTUserName", userName_);
  Breg_WriteRegSettings("Settings", "DTOther", Bse_LongCodeUp(userPassword_ + std::string(1, '\0') + dbPassword_));
  pbWritingToDayTimer->setValue(0);
  pbWritingToDayTimer->show();
  Bdt_RunWrite(database_);
}

void frmDayTimersSelect::cmdBack_Click() {
  if (step_ == 0) return;
  cmdNext->setEnabled(true);
  cmdBack->setEnabled(false);
  --step_;
  Bdt_ClearCredentials();
  Bdt_ShowStepInfo(step_);
  if (frames_) frames_->ShowFrame({"fraSelectDatabase"});
}

bool frmDayTimersSelect::Bdt_ShowFileSelection() {
  if (!path_.empty()) return true;
  const std::string last = Bdt_GetLastDBPath();
  if (!last.empty()) dirDatabase->setText(q(paths::resolve(last).string()));
  cmdNext->setEnabled(false);
  Bdt_ShowStepInfo(step_);
  if (frames_) frames_->ShowFrame({"fraSelectDatabaseFile"});
  dirDatabase_Change();
  if (!txtFileName->text().isEmpty()) filDatabase_Click();
  return false;
}

void frmDayTimersSelect::dirDatabase_Change() {
  filDatabase->clear();
  const QDir dir(dirDatabase->text());
  for (const QString& f : dir.entryList({"*.bfl", "*.BFL"}, QDir::Files, QDir::Name)) filDatabase->addItem(f);
  if (filDatabase->count() > 0) {
    filDatabase->setCurrentRow(0);
    filDatabase_Click();
  } else {
    txtFileName->clear();
    cmdNext->setEnabled(false);
  }
}

void frmDayTimersSelect::drvDatabase_Change() {
  const QString drive = drvDatabase->currentText();
  const QStorageInfo volume(drive);
  if (volume.isValid() && volume.isReady() && QDir(drive).isReadable()) {
    dirDatabase->setText(drive);
    dirDatabase_Change();
    return;
  }
  MsgBox("Device not Ready", mb::Exclamation, appTitle());
  // Back to the drive that holds the folder shown.
  const QString holding =
      QStorageInfo(dirDatabase->text().isEmpty() ? QDir::rootPath() : dirDatabase->text()).rootPath();
  const QSignalBlocker quiet(drvDatabase);
  int index = drvDatabase->findText(holding);
  if (index < 0) {
    drvDatabase->addItem(holding);
    index = drvDatabase->count() - 1;
  }
  drvDatabase->setCurrentIndex(index);
}

void frmDayTimersSelect::filDatabase_Click() {
  if (!filDatabase->currentItem()) return;
  txtFileName->setText(filDatabase->currentItem()->text());
  path_ = (std::filesystem::path(dirDatabase->text().toStdString()) / txtFileName->text().toStdString()).string();
  cmdNext->setEnabled(true);
}

bool frmDayTimersSelect::Bdt_CheckLogin() {
  info_ = database_->databaseInfo(path_);
  if (!info_) return false;
  const bool plain = info_->userCount() == 0 && info_->dbPasswordFlag() == 0;
  if (!plain) {
    txtDBPassword->setVisible(info_->dbPasswordFlag() != 0);
    lblDBPassword->setVisible(info_->dbPasswordFlag() != 0);
    const bool login = info_->noLoginFlag() == 0;
    for (QWidget* w : {static_cast<QWidget*>(cboUserName), static_cast<QWidget*>(lblUsername),
                       static_cast<QWidget*>(txtPassword), static_cast<QWidget*>(lblPassword)})
      w->setVisible(login);
    const bool needed = (userName_.empty() && info_->noLoginFlag() == 0) ||
                        (dbPassword_.empty() && info_->dbPasswordFlag() != 0);
    if (needed) {
      cboUserName->clear();
      for (int32_t i = 0; i < info_->userCount(); ++i) cboUserName->addItem(q(info_->userName(i)));
      if (frames_) frames_->ShowFrame({"fraMultiUserLogin"});
      const int stored = storedUser_.empty() ? -1 : cboUserName->findText(q(storedUser_), Qt::MatchExactly);
      if (stored >= 0) {
        cboUserName->setCurrentIndex(stored);
        userName_ = storedUser_;
      } else {
        cboUserName->setCurrentIndex(cboUserName->count() > 0 ? 0 : -1);
        userName_ = cboUserName->currentText().toStdString();
      }
      if (storedPath_ != path_) {
        txtPassword->clear();
        txtDBPassword->clear();
      } else {
        if (!storedUserPassword_.empty()) {
          txtPassword->setText(q(storedUserPassword_));
          userPassword_ = storedUserPassword_;
        }
        if (!storedDbPassword_.empty()) {
          txtDBPassword->setText(q(storedDbPassword_));
          dbPassword_ = storedDbPassword_;
        }
      }
      if (info_->dbPasswordFlag() != 0) {
        cmdNext->setEnabled(false);
        txtDBPassword->setFocus();
      }
      return false;
    }
  }
  return Bdt_SetCurrentDB(*database_, path_, userName_, dbPassword_, userPassword_);
}

void frmDayTimersSelect::Bdt_ShowStepInfo(int16_t mode) {
  std::string text;
  if (step_ == 0) {
    text =
        "Pellary Almoner is now ready to update your selection of dates and events to Day-Timer Organizer"
        "The available Day-Timer database(s) are listed to the right, please select one and click 'Next'. If the "
        "database you wish to use is not listed, please select 'Other unlisted database' and click 'Next'";
  } else if (step_ == 1 && path_.empty()) {
    text = "Please select the Day-Timer Organizer database you wish to use";
  } else if (step_ == 1 && mode == 1) {
    text = "The Day-Timer database you have chosen is password protected.Please enter the password and click on 'Next'";
  } else if (step_ == 1 && mode == 2) {
    text =
        "To use the Day-Timer database you have chosen you must select your username and enter your personal "
        "password then click on 'Next'";
  } else if (step_ == 1 && mode == 3) {
    text =
        "The Day-Timer database you have chosen is password protected. You also need to select your username and "
        "enter your personal password to gain access.When you have completed these details please click on 'Next'";
  }
  lblFormInfo->setText(q(text));
}

void frmDayTimersSelect::Bdt_ShowHelp() {
  Bhp_HelpME(!fraMultiUserLogin->isHidden() || !fraSelectDatabaseFile->isHidden() ? 70 : 69);
}

}  // namespace pellary
