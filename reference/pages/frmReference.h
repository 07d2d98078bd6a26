// Wizard page 18: confirms and generates the PC reference pages.
#pragma once

#include <QWidget>
#include <memory>

class QLabel;
class QProgressBar;

namespace pellary {

class QtProgressBar;

inline constexpr const char* kReferencePageInfo =
    "Your reference section changes will now be completed\r\n\r\nPlease click 'Continue' to proceed";

class frmReference : public QWidget {
  Q_OBJECT
 public:
  explicit frmReference(QWidget* parent = nullptr);
  ~frmReference() override;

  void cmdNext_Click();
  void cmdBack_Click();

 private:
  QProgressBar* pbReference_;
  std::unique_ptr<QtProgressBar> progress_;
};

}  // namespace pellary
