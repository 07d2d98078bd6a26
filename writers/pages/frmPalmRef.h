// The Palm reference page: picks the HotSync user whose device gets the
// reference pages, optionally installs the viewer and its conduit, and writes
// the Palm reference section.
#pragma once

#include "writers/pages/palm_user_page.h"

namespace pellary {

class frmPalmRef : public PalmUserPage {
 public:
  explicit frmPalmRef(QWidget* parent = nullptr);

  void Form_Load();
  void cmdNext_Click();
  void cmdBack_Click();
  void InstallViewerAndConduit();

 private:
  QCheckBox* chkInstallViewer_ = nullptr;
};

}  // namespace pellary
