#include "update/pages/proxy_question.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QScreen>
#include <algorithm>

#include "update/transport.h"

namespace pellary {

std::unique_ptr<QInputDialog> makeInputDialog(const std::string& prompt, const std::string& title) {
  auto dialog = std::make_unique<QInputDialog>();
  dialog->setWindowTitle(QString::fromStdString(title));
  dialog->setInputMode(QInputDialog::TextInput);
  QString text = QString::fromStdString(prompt);
  // A lone CR breaks the line in the program's texts.
  text.replace("\r\n", "\n").replace('\r', '\n');
  dialog->setLabelText(text);
  // The prompt is long: wrapped to a width that fits the screen.
  if (auto* label = dialog->findChild<QLabel*>()) label->setWordWrap(true);
  int width = 520;
  if (QScreen* screen = QGuiApplication::primaryScreen())
    width = std::min(width, screen->availableGeometry().width() - 40);
  dialog->setMinimumWidth(std::max(200, width));
  dialog->setMaximumWidth(QGuiApplication::primaryScreen()
                              ? QGuiApplication::primaryScreen()->availableGeometry().width()
                              : QWIDGETSIZE_MAX);
  dialog->adjustSize();
  return dialog;
}

namespace {
std::string askInDialog(const std::string& prompt, const std::string& title) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return {};
  std::unique_ptr<QInputDialog> dialog = makeInputDialog(prompt, title);
  return dialog->exec() == QDialog::Accepted ? dialog->textValue().toStdString() : std::string();
}
}  // namespace

void connectProxyQuestion() { setInputWindow(askInDialog); }

}  // namespace pellary
