// The notice window that tells the user the installation is completing.
#pragma once

#include <QWidget>

class QFrame;
class QLabel;

namespace pellary::hushbank {

class frmMain : public QWidget {
  Q_OBJECT
 public:
  explicit frmMain(QWidget* parent = nullptr);
  QFrame* fraMain = nullptr;
  QLabel* lblMain = nullptr;
};

inline constexpr const char* kNoticeCaption = "Pellary Almoner installation";
inline constexpr const char* kNoticeText = "The Pellary Almoner installation is now completing\r\nPlease wait...";

}  // namespace pellary::hushbank
