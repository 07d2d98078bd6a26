// The parts the two Psion agenda pages share: the agenda-file frame, progress
// bar, Back and Next, the status bar, and the file picker that stands where
// the handheld file-browser control sits (a plain path field with a Browse
// button until that control is wired in).
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

namespace pellary {

class PsionAgendaPage : public QWidget {
 public:
  // Asks for an agenda file on the device; nothing when the user cancels.
  using FileChooser = std::function<std::optional<std::string>()>;

  PsionAgendaPage(const QString& formName, const QString& copyLabel, QWidget* parent);

  void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

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

  FileChooser chooser_;
  QTimer events_;
};

// The device file dialog's stand-in: picks a file in the stand-in device's
// folder and gives it as a device path ("C:\Documents\Agenda.agn").
std::optional<std::string> chooseDeviceFile(QWidget* parent, const QString& filter);
// A path below the device folder as a device path; empty when it is not below.
std::string deviceFilePath(const std::string& hostPath);

}  // namespace pellary
