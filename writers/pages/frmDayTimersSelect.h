// The Day-Timer Organizer page: step 0 lists the recent databases, step 1
// shows the file boxes or the login boxes; Next opens, confirms and writes.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <memory>
#include <string>

#include "core/gui/frames.h"
#include "writers/daytimer/daytimer_writer.h"

namespace pellary {

class frmDayTimersSelect : public QWidget {
 public:
  explicit frmDayTimersSelect(QWidget* parent = nullptr);
  ~frmDayTimersSelect() override;

  void Form_Load();
  void Form_Activate();
  void cmdNext_Click();
  void cmdBack_Click();
  void lstFiles_DblClick();
  // The file boxes: a new folder, and a click on a file.
  void dirDatabase_Change();
  // A drive chosen in the drive box: its root in the folder box, or "Device
  // not Ready" and the drive of the folder shown.
  void drvDatabase_Change();
  void filDatabase_Click();
  void Bdt_ShowHelp();

  int16_t step() const { return step_; }
  const std::string& path() const { return path_; }

  QLabel* lblFormInfo = nullptr;
  QGroupBox* fraUserInput = nullptr;
  QGroupBox* fraSelectDatabase = nullptr;
  QListWidget* lstFiles = nullptr;
  QGroupBox* fraSelectDatabaseFile = nullptr;
  QComboBox* drvDatabase = nullptr;
  QLineEdit* dirDatabase = nullptr;
  QListWidget* filDatabase = nullptr;
  QLineEdit* txtFileName = nullptr;
  QGroupBox* fraMultiUserLogin = nullptr;
  QComboBox* cboUserName = nullptr;
  QLabel* lblUsername = nullptr;
  QLineEdit* txtPassword = nullptr;
  QLabel* lblPassword = nullptr;
  QLineEdit* txtDBPassword = nullptr;
  QLabel* lblDBPassword = nullptr;
  QPushButton* cmdBack = nullptr;
  QPushButton* cmdNext = nullptr;
  QProgressBar* pbWritingToDayTimer = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Bdt_ClearCredentials();
  std::string Bdt_SelectedDatabasePath() const;
  bool Bdt_ShowFileSelection();
  bool Bdt_CheckLogin();
  void Bdt_ShowStepInfo(int16_t mode);
  void takeListChoice();

  std::shared_ptr<standins::daytimer::DayTimerDatabase> database_;
  std::shared_ptr<standins::daytimer::DayTimerDatabaseInfo> info_;
  int16_t step_ = 0;
  std::string path_;
  std::string storedPath_;
  std::string dbPassword_, userName_, userPassword_;
  std::string storedUser_, storedUserPassword_, storedDbPassword_;
  std::unique_ptr<clsFrames> frames_;
  DayTimerLists lists_;
};

}  // namespace pellary
