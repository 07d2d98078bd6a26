// What the two Palm pages share: the HotSync user list filled from the Palm
// user controls, the chosen-user text box, Back and Continue.
#pragma once

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/automation/dispatch.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace pellary {

class PalmUserPage : public QWidget {
 public:
  PalmUserPage(const std::string& formName, const QString& title, const std::string& frameName,
               const QString& frameCaption, QWidget* parent);
  ~PalmUserPage() override;

  // Choosing a line: the trimmed text into txtPilotUser and its ID into
  // Bpm_PalmUserID; an empty line does nothing.
  void lstPilotUsers_Click();
  void lstPilotUsers_DblClick() { lstPilotUsers_Click(); }
  void lstPilotUsers_KeyPress(int keyAscii);

  // The Palm controls (null when they cannot be created).
  std::shared_ptr<platform::Dispatch> UserManager1;
  std::shared_ptr<platform::Dispatch> UserData1;
  std::shared_ptr<platform::Dispatch> HotSyncApi;

 protected:
  // One line per HotSync user; the stored user's line selected.
  void fillUserList(int32_t storedID);
  void setBusy(bool busy);
  bool eventFilter(QObject* watched, QEvent* event) override;

  QGroupBox* frame_ = nullptr;
  QLabel* lblPilotInstructions_ = nullptr;
  QListWidget* lstPilotUsers_ = nullptr;
  QLineEdit* txtPilotUser_ = nullptr;
  QPushButton* cmdBack_ = nullptr;
  QPushButton* cmdNext_ = nullptr;
};

}  // namespace pellary
