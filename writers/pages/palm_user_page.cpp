#include "writers/pages/palm_user_page.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "core/gui/wizard/placeholder_page.h"
#include "platform/errors.h"
#include "standins/palm/palm_desktop.h"
#include "writers/palm/palm_module.h"

namespace pellary {

namespace {
std::shared_ptr<platform::Dispatch> tryCreate(const char* className) {
  try {
    return createPalmControl(className);
  } catch (const AppError&) {
    return nullptr;  // no Palm Desktop: the list stays empty
  }
}
}  // namespace

PalmUserPage::PalmUserPage(const std::string& formName, const QString& title, const std::string& frameName,
                           const QString& frameCaption, QWidget* parent)
    : QWidget(parent) {
  setObjectName(QString::fromStdString(formName));
  addSidePicture(*this, 2);
  addPageTitle(*this, title);

  frame_ = new QGroupBox(frameCaption, this);
  frame_->setObjectName(QString::fromStdString(frameName));
  frame_->setGeometry(160, 45, 460, 305);
  lblPilotInstructions_ = new QLabel(frame_);
  lblPilotInstructions_->setObjectName("lblPilotInstructions");
  lblPilotInstructions_->setWordWrap(true);
  lblPilotInstructions_->setGeometry(10, 20, 440, 120);
  auto* lblAvailable = new QLabel("Available users/devices", frame_);
  lblAvailable->setObjectName("lblAvailableUsers");
  lblAvailable->setGeometry(10, 145, 200, 18);
  lstPilotUsers_ = new QListWidget(frame_);
  lstPilotUsers_->setObjectName("lstPilotUsers");
  lstPilotUsers_->setGeometry(10, 165, 210, 110);
  auto* lblUser = new QLabel("Selected user/device", frame_);
  lblUser->setObjectName("lblUser");
  lblUser->setGeometry(240, 145, 200, 18);
  txtPilotUser_ = new QLineEdit(frame_);
  txtPilotUser_->setObjectName("txtPilotUser");
  txtPilotUser_->setReadOnly(true);
  txtPilotUser_->setGeometry(240, 165, 210, 24);

  const PageFooter footer = addPageFooter(*this, QPoint(400, 360), "&Continue >", 110);
  cmdBack_ = footer.back;
  cmdNext_ = footer.next;

  connect(lstPilotUsers_, &QListWidget::itemClicked, this, [this] { lstPilotUsers_Click(); });
  connect(lstPilotUsers_, &QListWidget::itemDoubleClicked, this, [this] { lstPilotUsers_DblClick(); });
  lstPilotUsers_->installEventFilter(this);

  UserManager1 = tryCreate(standins::palm::kUserManagerClass);
  UserData1 = tryCreate(standins::palm::kUserDataClass);
  HotSyncApi = tryCreate(standins::palm::kHotSyncApiClass);
}

PalmUserPage::~PalmUserPage() = default;

void PalmUserPage::fillUserList(int32_t storedID) {
  lstPilotUsers_->clear();
  if (!UserManager1 || !UserData1) return;
  int32_t count = UserManager1->call(1).toLong();
  for (int32_t i = 0; i < count; ++i) {
    Variant id = UserManager1->call(5, {i}).toLong();
    UserData1->call(14, {platform::ByRef(id)});
    std::string name = UserData1->call(1).toString();
    if (UserData1->call(4).toBool()) name += " - Profile";
    auto* item = new QListWidgetItem(QString::fromStdString(name));
    item->setData(Qt::UserRole, id.toLong());
    lstPilotUsers_->insertItem(i, item);
    if (id.toLong() == storedID) {
      lstPilotUsers_->setCurrentItem(item);
      txtPilotUser_->setText(QString::fromStdString(name));
    }
  }
}

void PalmUserPage::lstPilotUsers_Click() {
  QListWidgetItem* item = lstPilotUsers_->currentItem();
  if (!item) return;
  QString text = item->text().trimmed();
  if (text.isEmpty()) return;
  txtPilotUser_->setText(text);
  Bpm_PalmUserID() = item->data(Qt::UserRole).toInt();
}

void PalmUserPage::lstPilotUsers_KeyPress(int keyAscii) {
  if (keyAscii == 13) lstPilotUsers_Click();
}

bool PalmUserPage::eventFilter(QObject* watched, QEvent* event) {
  const bool keyEvent = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
  if (watched == lstPilotUsers_ && keyEvent) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      // Enter in the list chooses the user and stays on the page: the list
      // keeps the key from the page's Enter-presses-Next shortcut.
      if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
      }
      lstPilotUsers_KeyPress(13);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void PalmUserPage::setBusy(bool busy) {
  if (busy)
    setCursor(Qt::WaitCursor);
  else
    unsetCursor();
  QApplication::processEvents();
}

}  // namespace pellary
