#include "core/gui/plain_text.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

namespace pellary {

QString plainTip(const QString& text) {
  if (text.isEmpty()) return text;
  return Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
}

QString plainTip(const std::string& text) { return plainTip(QString::fromStdString(text)); }

void plainLabel(QLabel* label) {
  if (label) label->setTextFormat(Qt::PlainText);
}

namespace {
class AsWritten : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    // The tip window is a label too, but tips are set as plainTip makes them.
    if (event->type() == QEvent::Polish)
      if (auto* label = qobject_cast<QLabel*>(watched); label && label->windowType() != Qt::ToolTip)
        label->setTextFormat(Qt::PlainText);
    return false;
  }
};
}  // namespace

void showTextAsWritten(QApplication& app) {
  static AsWritten* filter = nullptr;
  if (filter) return;
  filter = new AsWritten(&app);
  app.installEventFilter(filter);
}

}  // namespace pellary
