// Wizard page 22: the reference pages for a Windows CE device. The first
// Next connects and offers the device's locations; the next one generates
// the pages and copies them.
#pragma once

#include <QWidget>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace pellary {

class QtProgressBar;
class WinCEPageView;

class frmWinCEReference : public QWidget {
  Q_OBJECT
 public:
  explicit frmWinCEReference(QWidget* parent = nullptr);
  ~frmWinCEReference() override;

  void Form_Load();
  void cmdNext_Click();

 private:
  class View;
  QLabel* lblFormTitle_;
  QLabel* lblFormInfo_;
  QLabel* lblStatusMessage_;
  QGroupBox* fraWinCELocation_;
  QComboBox* cboWinCELocation_;
  QPushButton* cmdNext_;
  QProgressBar* pbReference_;
  std::unique_ptr<QtProgressBar> progress_;
  std::unique_ptr<View> view_;
  bool busy_ = false;
};

// Title and instructions of the page for a device reference code.
std::string winCEPageTitle(int16_t refPlat2);
std::string winCEPageInstructions(int16_t refPlat2);

}  // namespace pellary
