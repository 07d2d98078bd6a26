// Wizard page 23: the reference section (and, when asked, the viewer) for a
// Psion Series 3 or Series 5 device.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/automation/dispatch.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace pellary {

class PsiWinEngineAdapter;
class PsionPageView;
class QtProgressBar;

inline constexpr const char* kPsionNoChangeMessage =
    "Unable to make changes to handheld device.\r\n\r\nPlease check that the Mappa viewer program AND any Word or "
    "Sheet files related to it are closed.\r\n\r\nTo resume the process you will need to click the NEXT button, "
    "after clicking OK below.";

class frmPsionRef : public QWidget {
  Q_OBJECT
 public:
  explicit frmPsionRef(QWidget* parent = nullptr);
  ~frmPsionRef() override;

  void Form_Load();
  void cmdBack_Click();
  void cmdNext_Click();
  void lstDrives_ItemClick(QTreeWidgetItem* item);
  // Asks for a folder on the device; nothing when the user cancels.
  using FolderChooser = std::function<std::optional<std::string>()>;
  void cmdBrowse_Click();
  // Tests put their own chooser in place of the browse control.
  void setFolderChooser(FolderChooser chooser) { chooser_ = std::move(chooser); }
  // The handheld browse control, created on first use; nothing when it is not
  // installed.
  std::shared_ptr<platform::Dispatch> gantry();
  // Lets the engine's waiting answers run.
  void pumpEngine();

 private:
  class View;
  QLabel* lblFormInfo_;
  QLabel* lblRequiredSpace_;
  QTreeWidget* lstDrives_;
  QCheckBox* chkInstallViewer_;
  QLineEdit* txtFolder_;
  QPushButton* cmdBrowse_;
  QPushButton* cmdBack_;
  QPushButton* cmdNext_;
  QProgressBar* progressBar_;
  QTimer* pump_;
  std::unique_ptr<PsiWinEngineAdapter> ownEngine_;
  std::unique_ptr<QtProgressBar> progress_;
  std::unique_ptr<View> view_;
  FolderChooser chooser_;
  std::shared_ptr<platform::Dispatch> Gantry;
};

}  // namespace pellary
