// Wizard page 23: the reference section (and, when asked, the viewer) for a
// Psion Series 3 or Series 5 device.
#pragma once

#include <QWidget>
#include <memory>

class QCheckBox;
class QLabel;
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
  // Lets the engine's waiting answers run.
  void pumpEngine();

 private:
  class View;
  QLabel* lblFormInfo_;
  QLabel* lblRequiredSpace_;
  QTreeWidget* lstDrives_;
  QCheckBox* chkInstallViewer_;
  QPushButton* cmdBack_;
  QPushButton* cmdNext_;
  QProgressBar* progressBar_;
  QTimer* pump_;
  std::unique_ptr<PsiWinEngineAdapter> ownEngine_;
  std::unique_ptr<QtProgressBar> progress_;
  std::unique_ptr<View> view_;
};

}  // namespace pellary
