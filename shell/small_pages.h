// The shell's small windows: the splash, the introduction (page 0), the
// returning-user banner (page 19), the "no changes" page (page 20) and the
// About box.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QWidget>

class QPushButton;
class QTextEdit;

namespace pellary {

class frmSplash : public QWidget {
  Q_OBJECT
 public:
  explicit frmSplash(QWidget* parent = nullptr);
};

class frmIntro : public QWidget {
  Q_OBJECT
 public:
  explicit frmIntro(QWidget* parent = nullptr);

  int16_t step() const { return step_; }
  QWidget* stepMark(int index) const { return marks_[index]; }
  QLabel* sideImage(int index) const { return pictures_[index]; }

  void cmdNext_Click();
  void cmdBack_Click() {}

 private:
  void showStep();
  int16_t step_ = 0;
  QLabel* pictures_[2];
  QLabel* marks_[3];
};

// A picture that answers clicks, as the forms' image controls do. It is a
// button to the keyboard and to a screen reader: it takes the focus, Space
// and Enter press it, and it reports itself as a button with its name.
class ClickImage : public QLabel {
  Q_OBJECT
 public:
  explicit ClickImage(QWidget* parent = nullptr);
  explicit ClickImage(const QString& text, QWidget* parent = nullptr);
 signals:
  void clicked();
  void doubleClicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

class frmManagerTop : public QWidget {
  Q_OBJECT
 public:
  explicit frmManagerTop(QWidget* parent = nullptr);

  void imgChangeSelection_Click();
  void imgChangeSelection_DblClick();
  ClickImage* imgChangeSelection() const { return change_; }

 private:
  ClickImage* change_;
};

class frmNoSelections : public QWidget {
  Q_OBJECT
 public:
  explicit frmNoSelections(QWidget* parent = nullptr);

  void cmdReviseSelection_Click();
  void cmdUpdateSettings_Click();
  void cmdExitProgram_Click();
};

class frmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit frmAbout(QWidget* parent = nullptr);
  void lblWebLink_Click();
  void cmdOk_Click() { close(); }
};

inline constexpr const char* kCopyrightNotice =
    "Copyright (c) 1999 Brackwater Software Ltd. All rights reserved. Pellary Almoner is a trademark of "
    "Brackwater Software Ltd.";
inline constexpr const char* kMakerHome = "http://www.brackwater.example/";
inline constexpr const char* kTechnicalSupport = "http://www.brackwater.example/technical_support.asp";

inline constexpr const char* kIntroLabel1 =
    "Choose from a wealth of information on the left...\r\n\r\n"
    "...to create your own selection on the right ready for your electronic calendar";
inline constexpr const char* kIntroLabel2 =
    "There are two different types of updateable information:\r\n\r\n"
    "Dates and events at the top e.g. bank holidays, football fixtures\r\n\r\n"
    "Reference information at the bottom";
inline constexpr const char* kNoSelectionsInfo =
    "You have not made any changes to your selection!    \r\n\r\n"
    "You can either return to make some changes to your selection, configure your Internet update service, "
    "or exit the program at this point";

// The picture of the summary page, which pages 19 and 20 show.
QPixmap summaryPicture();
// A generated logo.
QPixmap makeLogo(const QString& text, QColor colour);

}  // namespace pellary
