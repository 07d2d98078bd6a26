// The parts the two Psion agenda pages share: the agenda-file frame, progress
// bar, Back and Next, the status bar, and the handheld file control Brindle
// whose device file dialog picks the agenda file; the chosen path shows in the
// text box.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/automation/dispatch.h"

namespace pellary {

class PsionAgendaPage : public QWidget {
 public:
  // Asks for an agenda file on the device; nothing when the user cancels.
  using FileChooser = std::function<std::optional<std::string>()>;

  PsionAgendaPage(const QString& formName, const QString& copyLabel, QWidget* parent);

  // Tests put their own chooser in place of the file control.
  void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
  // The file control, created on first use; nothing when it is not installed.
  std::shared_ptr<platform::Dispatch> brindle();

  QLabel* lblFormInfo = nullptr;
  QLineEdit* txtAgendaName = nullptr;
  QPushButton* cmdSelectAgnFile = nullptr;
  QProgressBar* prgProgress = nullptr;
  QPushButton* cmdBack = nullptr;
  QPushButton* cmdNext = nullptr;
  QStatusBar* Status = nullptr;

 protected:
  // The stored agenda file, the page texts for a returning user, and the
  // select button for a new one.
  void showStoredFile(const std::string& stored);
  // Empty text box: the exclamation box, false. Otherwise the buttons are
  // disabled and the hourglass shows.
  bool beginNext();
  void endNext();
  void selectFile();
  // The page's file type of the device dialog.
  virtual void addAgendaFilter(platform::Dispatch& control) = 0;

  FileChooser chooser_;
  std::shared_ptr<platform::Dispatch> Brindle;
  QTimer events_;
};

// Runs the device file dialog of a file control: Init as the agenda pages
// call it, the filter, the modal run; the chosen file's device path
// ("C:\Documents\Agenda") or nothing when the user cancels.
std::optional<std::string> chooseAgendaFile(platform::Dispatch& control,
                                            const std::function<void(platform::Dispatch&)>& addFilter);

}  // namespace pellary
