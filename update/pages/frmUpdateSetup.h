// Page 16, "Stay up to date!": automatic updates at one of eight intervals,
// or manual updates. Finish stores the choice and ends the program, or goes
// on to the sign-up page for a manual user not yet enrolled.
#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace pellary {

class frmUpdateSetup : public QWidget {
  Q_OBJECT
 public:
  explicit frmUpdateSetup(QWidget* parent = nullptr);

  QComboBox* cboUpdateTime() const { return cboUpdateTime_; }
  // index 0 "Automatically", 1 "Manually".
  QRadioButton* optAuto(int index) const { return index == 0 ? optAuto0_ : optAuto1_; }

  void optAuto_Click(int index);
  void cmdNext_Click();
  void cmdBack_Click();

 private:
  QComboBox* cboUpdateTime_;
  QRadioButton* optAuto0_;
  QRadioButton* optAuto1_;
};

inline constexpr const char* kUpdateSetupInfo =
    "Your FREE Internet update service will commence in February 2000, keeping your Pellary Almoner up to date "
    "with:\r\n\r\n- New, amended, updated and cancelled dates and events\r\n"
    "- New and updated reference section information\r\n\r\n"
    "Configure your update settings now to ensure your Pellary Almoner is ready";
inline constexpr const char* kHotSyncNow = "Please HotSync now to copy your data to your Palm Computing device";

}  // namespace pellary
