#include "writers/pages/frmLotusSelect.h"

#include <QApplication>

#include "core/app.h"
#include "core/gui/password_box.h"
#include "core/gui/wizard/placeholder_page.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/scrambler.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "writers/notes/notes_writer.h"

namespace pellary {

namespace {

QLineEdit* field(const char* name, QWidget* parent, int y) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setGeometry(10, y, 260, 24);
  return e;
}

void label(const char* text, const char* name, QWidget* parent, int y) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  l->setGeometry(10, y, 260, 20);
}

}  // namespace

frmLotusSelect::frmLotusSelect(QWidget* parent) : QWidget(parent) {
  setObjectName("frmLotusSelect");
  addSidePicture(*this, 2);
  lblFormTitle = addPageTitle(*this, "Lotus Notes");
  lblFormInfo = new QLabel(this);
  lblFormInfo->setObjectName("lblFormInfo");
  lblFormInfo->setWordWrap(true);
  lblFormInfo->setGeometry(160, 45, 170, 300);
  fraUserInput = new QGroupBox(this);
  fraUserInput->setObjectName("fraUserInput");
  fraUserInput->setGeometry(340, 45, 280, 260);
  label("Server name", "Label1", fraUserInput, 10);
  txtServer = field("txtServer", fraUserInput, 32);
  label("Notes database filename", "Label2", fraUserInput, 66);
  txtUserFile = field("txtUserFile", fraUserInput, 88);
  label("Notes database password:", "Label3", fraUserInput, 122);
  txtPassword = field("txtPassword", fraUserInput, 144);
  txtPassword->setEchoMode(QLineEdit::Password);
  refuseUnscramblableCharacters(*txtPassword);
  chkKeepPassword = new QCheckBox("Remember my password", fraUserInput);
  chkKeepPassword->setObjectName("chkKeepPassword");
  chkKeepPassword->setGeometry(10, 178, 260, 22);
  pbRecords = addPageProgress(*this, "pbRecords", QRect(160, 350, 450, 20));
  const PageFooter footer = addPageFooter(*this, QPoint(420, 378));  // Back does nothing here
  cmdBack = footer.back;
  cmdNext = footer.next;
  connect(cmdNext, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  BLot().progress = [this](int16_t percent) { pbRecords->setValue(percent); };
  BLot().doEvents = [] { QApplication::processEvents(); };
  Form_Load();
}

frmLotusSelect::~frmLotusSelect() {
  BLot().progress = nullptr;
  BLot().doEvents = nullptr;
}

void frmLotusSelect::Form_Load() {
  if (Bupd_UpdateRun()) return;
  for (QWidget* w : {static_cast<QWidget*>(txtUserFile), static_cast<QWidget*>(txtServer),
                     static_cast<QWidget*>(cmdNext), static_cast<QWidget*>(txtPassword)})
    w->show();
  txtUserFile->clear();
  txtPassword->clear();
  txtUserFile->setText(QString::fromStdString(Breg_GetRegSetting("Settings", "LotusUserFile")));
  const std::string server = Breg_GetRegSetting("Settings", "LotusServer");
  txtServer->setText(server.empty() ? QString("Local") : QString::fromStdString(server));
  if (Breg_GetRegSetting("Settings", "LotusKeepPassword") == "TRUE") {
    txtPassword->setText(QString::fromStdString(Bse_StoredPassword(Breg_GetRegSetting("Settings", "LotusPassword"))));
    chkKeepPassword->setChecked(true);
  }
  lblFormTitle->setText("Lotus Notes");
  lblFormInfo->setText(
      "Pellary Almoner is now ready to update your selection of dates and events to your Lotus Notes calendar\r\n\r\n"
      "Please complete the information about your Lotus Notes mail file to begin the process. \r\n"
      "If you are unsure please use 'Help' or ask your systems administrator \r\n\r\n"
      "To avoid entering your Lotus Notes password every time you use Pellary Almoner and the Internet update "
      "service tick the box 'Remember my password'. Your password will be encrypted for security purposes");
  if (!Bset().Bset_NoProfileCats) {
    txtUserFile->setEnabled(false);
    txtServer->setEnabled(false);
  }
}

void frmLotusSelect::cmdNext_Click() {
  std::string server = txtServer->text().toStdString();
  if (paths::equalsIgnoreCase(server, "local")) server.clear();
  auto& control = BLot_Control();
  Variant serverArg = server;
  platform::DispatchArgs logon{platform::ByRef(serverArg), txtUserFile->text().toStdString(),
                               txtPassword->text().toStdString()};
  control.callRef(3, logon);
  platform::DispatchArgs none;
  const std::string status = control.invoke(5, none, platform::automation::InvokeKind::PropertyGet).toString();
  if (status != "0$$") {
    MsgBox(status.size() >= 4 ? status.substr(3) : std::string("Error opening the file specified"), mb::Exclamation,
           appTitle());
    return;
  }
  for (QWidget* w : {static_cast<QWidget*>(cmdNext), static_cast<QWidget*>(txtServer),
                     static_cast<QWidget*>(txtUserFile), static_cast<QWidget*>(txtPassword)})
    w->setEnabled(false);
  pbRecords->show();
  // The database is kept as soon as it opened, so that a run that fails part
  // way leaves the next run writing to the same one.
  Breg_WriteRegSettings("Settings", "LotusServer", server);
  Breg_WriteRegSettings("Settings", "LotusUserFile", txtUserFile->text().toStdString());
  BLot().writePass();
  if (chkKeepPassword->isChecked()) {
    const std::string password = txtPassword->text().toStdString();
    if (password.empty())
      Breg_WriteRegSettings("Settings", "LotusBlankPassword", "TRUE");
    else
      Breg_WriteRegSettings("Settings", "LotusPassword", Bse_LongCodeUp(password));
    Breg_WriteRegSettings("Settings", "LotusKeepPassword", "TRUE");
  } else {
    Breg_WriteRegSettings("Settings", "LotusKeepPassword", "FALSE");
  }
  control.call(4);
  BLot().commit();
  Bint_DatesPending() = false;
  BLot().nextPage();
}

}  // namespace pellary
