// The Lotus Notes page: server, database and password; Next logs on and writes.
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

namespace pellary {

class frmLotusSelect : public QWidget {
 public:
  explicit frmLotusSelect(QWidget* parent = nullptr);
  ~frmLotusSelect() override;

  void Form_Load();
  void cmdNext_Click();

  QLabel* lblFormTitle = nullptr;
  QLabel* lblFormInfo = nullptr;
  QGroupBox* fraUserInput = nullptr;
  QLineEdit* txtServer = nullptr;
  QLineEdit* txtUserFile = nullptr;
  QLineEdit* txtPassword = nullptr;
  QCheckBox* chkKeepPassword = nullptr;
  QProgressBar* pbRecords = nullptr;
  QPushButton* cmdNext = nullptr;
  QPushButton* cmdBack = nullptr;
};

}  // namespace pellary
