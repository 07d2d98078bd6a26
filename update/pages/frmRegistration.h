// Page 17, "Manual update setup": enrol with the update service now or later.
// Leaving the page in any way ends the first run.
#pragma once

#include <QWidget>

namespace pellary {

class frmRegistration : public QWidget {
  Q_OBJECT
 public:
  explicit frmRegistration(QWidget* parent = nullptr);
  ~frmRegistration() override;

  void cmdQuickSetup_Click();
  void cmdRemindLater_Click();
  // Stores FirstRun "False".
  void Form_Unload();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  int endHook_ = 0;
};

inline constexpr const char* kRegistrationInfo =
    "You have chosen to update your dates and events manually. However, we still need to know your details in "
    "order for you to use the Internet update service.";

}  // namespace pellary
