#include "core/gui/qt_messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include "platform/msgbox.h"

namespace pellary {

namespace {

int showQtMessage(const MessageRequest& req) {
  QString text = QString::fromStdString(req.text);
  // A lone CR is a line break in the program's texts.
  text.replace("\r\n", "\n").replace('\r', '\n');
  QMessageBox box;
  box.setWindowTitle(QString::fromStdString(req.title));
  // A message may carry a name or a value from outside: shown as written.
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  switch (req.style & mb::IconMask) {
    case mb::Critical: box.setIcon(QMessageBox::Critical); break;
    case mb::Question: box.setIcon(QMessageBox::Question); break;
    case mb::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case mb::Information: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  struct Choice {
    QMessageBox::StandardButton button;
    int answer;
  };
  std::vector<Choice> choices;
  switch (req.style & mb::ButtonsMask) {
    case mb::OKCancel: choices = {{QMessageBox::Ok, mb::OK}, {QMessageBox::Cancel, mb::Cancel}}; break;
    case mb::AbortRetryIgnore:
      choices = {{QMessageBox::Abort, mb::Abort}, {QMessageBox::Retry, mb::Retry}, {QMessageBox::Ignore, mb::Ignore}};
      break;
    case mb::YesNoCancel:
      choices = {{QMessageBox::Yes, mb::Yes}, {QMessageBox::No, mb::No}, {QMessageBox::Cancel, mb::Cancel}};
      break;
    case mb::YesNo: choices = {{QMessageBox::Yes, mb::Yes}, {QMessageBox::No, mb::No}}; break;
    case mb::RetryCancel: choices = {{QMessageBox::Retry, mb::Retry}, {QMessageBox::Cancel, mb::Cancel}}; break;
    default: choices = {{QMessageBox::Ok, mb::OK}}; break;
  }
  QMessageBox::StandardButtons buttons;
  for (const Choice& c : choices) buttons |= c.button;
  box.setStandardButtons(buttons);
  size_t def = size_t((req.style & mb::DefaultMask) / 256);
  if (def < choices.size()) box.setDefaultButton(choices[def].button);
  auto clicked = QMessageBox::StandardButton(box.exec());
  for (const Choice& c : choices)
    if (c.button == clicked) return c.answer;
  return choices.back().answer;
}

}  // namespace

void installQtMessagePresenter() { setMessagePresenter(showQtMessage); }

}  // namespace pellary
