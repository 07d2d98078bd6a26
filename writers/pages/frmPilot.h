// The Palm Date Book page: picks the HotSync user or profile whose Date Book
// gets the dates, whether it is backed up first, and runs the write.
#pragma once

#include "writers/pages/palm_user_page.h"

class QProgressBar;

namespace pellary {

class frmPilot : public PalmUserPage {
 public:
  explicit frmPilot(QWidget* parent = nullptr);
  ~frmPilot() override;

  void Form_Load();
  void cmdNext_Click();
  void cmdBack_Click();

 private:
  QCheckBox* chkBackupDatebook_ = nullptr;
  QProgressBar* ProgressBar_ = nullptr;
};

}  // namespace pellary
