// The Lotus Organizer page: step 0 picks the file and password, step 1 the
// entry type, hour and section; Next then runs the write.
#pragma once

#include <QCheckBox>
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
#include "writers/organizer/organizer_writer.h"

namespace pellary {

class frmOrgDetails : public QWidget, public OrgView {
 public:
  explicit frmOrgDetails(QWidget* parent = nullptr);
  ~frmOrgDetails() override;

  void Form_Load();
  void Form_Activate();
  void cmdNext_Click();
  void cmdBack_Click();
  void lstFiles_Click();
  void lstSections_Click();
  void cboSectionType_Click();

  void PopulateSectionList(const std::string& list);
  void PopulateDispTime();
  void SaveDetails() override;

  int16_t step() const { return step_; }

  // OrgView
  void setNavigationEnabled(bool enabled) override;
  int selectedSection() const override;
  void setProgress(int16_t percent) override;
  void showProgress() override;

  QLabel* lblFormInfo = nullptr;
  QGroupBox* fraUserInput = nullptr;
  QGroupBox* fraFilePsw = nullptr;
  QListWidget* lstFiles = nullptr;
  QLabel* lblFileLabel = nullptr;
  QLineEdit* txtSelectedFile = nullptr;
  QLineEdit* txtPassword = nullptr;
  QCheckBox* chkKeepPassword = nullptr;
  QGroupBox* fraDetails = nullptr;
  QComboBox* cboSectionType = nullptr;
  QComboBox* cboDispTime = nullptr;
  QListWidget* lstSections = nullptr;
  QLabel* lblListSection = nullptr;
  QProgressBar* pbRecords = nullptr;
  QPushButton* cmdNext = nullptr;
  QPushButton* cmdBack = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  bool initDetails();
  void ShowDetails();
  void frmOrgDetails_ShowStepInfo(int16_t step);
  void enableNextForSections();
  // A message when the chosen section type has no section in the file.
  void tellWhenNoSection();

  int16_t step_ = 0;
  std::unique_ptr<clsFrames> frames_;
};

}  // namespace pellary
