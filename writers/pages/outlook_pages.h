// The Outlook page, the floating guide window and the stand-in's folder picker.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>

#include "writers/outlook/outlook_writer.h"

namespace pellary {

class frmOutlookGuide;

class frmOutlook : public QWidget {
  Q_OBJECT
 public:
  explicit frmOutlook(QWidget* parent = nullptr);
  ~frmOutlook() override;
  void cmdNext_Click();
  void cmdBack_Click();

  QLabel* lblFormTitle = nullptr;
  QLabel* lblFormInfo = nullptr;
  QLabel* imgPicture = nullptr;
  QPushButton* cmdNext = nullptr;
  QPushButton* cmdBack = nullptr;
  frmOutlookGuide* guide() const { return guide_; }

 private:
  frmOutlookGuide* guide_ = nullptr;
};

// Stays on top of Outlook while the user opens the calendar, then shows the progress.
class frmOutlookGuide : public QWidget, public OutlookWindows {
  Q_OBJECT
 public:
  explicit frmOutlookGuide(frmOutlook* page = nullptr);
  ~frmOutlookGuide() override;
  void cmdContinue_Click();
  void cmdCancel_Click();
  // Shows the active Outlook explorer window of the guide's own Outlook object.
  void ShowOutlook();
  void CloseOutlook() {}

  QLabel* lblCount = nullptr;
  QProgressBar* pbWritingToOutlook = nullptr;
  QLabel* Image1 = nullptr;
  QPushButton* cmdContinue = nullptr;
  QPushButton* cmdCancel = nullptr;

  // OutlookWindows
  void showGuide(bool topRight) override;
  void hideGuide() override;
  void setGuideText(const std::string& text) override;
  void setProgress(int16_t percent) override;
  void setButtonsEnabled(bool enabled) override;
  void frameOutOfTheWay(bool away) override;
  void processEvents() override;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  frmOutlook* page_;
};

// The stand-in Outlook's explorer: the user moves to a folder of the store.
class OutlookFolderPicker : public QDialog {
  Q_OBJECT
 public:
  explicit OutlookFolderPicker(const std::string& currentFolderID, QWidget* parent = nullptr);
  std::string chosenFolderID() const;
  QTreeWidget* tvFolders = nullptr;
};

// Installs the folder picker as the stand-in explorer's window.
void installOutlookFolderPicker();

}  // namespace pellary
