#include "core/gui/plain_tip.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

namespace pellary {

namespace {

constexpr int kGap = 16;  // between the pointer and the tip
constexpr int kShownMs = 10000;

class TipWindow : public QLabel {
 public:
  TipWindow()
      : QLabel(nullptr,
               Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
    setObjectName("plainTip");
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setPalette(QToolTip::palette());
    setFont(QToolTip::font());
    setMargin(6);
    setFrameShape(QFrame::Box);
    setAttribute(Qt::WA_ShowWithoutActivating);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &QWidget::hide);
    qApp->installEventFilter(this);
  }
  void restart() { timer_.start(kShownMs); }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    const QEvent::Type t = event->type();
    if (isVisible() && (t == QEvent::MouseButtonPress || t == QEvent::KeyPress || t == QEvent::Wheel)) hide();
    return false;  // the press goes on to where it was aimed
  }

 private:
  QTimer timer_;
};

QPointer<TipWindow>& tipSlot() {
  static QPointer<TipWindow> tip;
  return tip;
}

}  // namespace

void showPlainTip(const QPoint& pointer, const QString& text) {
  if (text.trimmed().isEmpty()) {
    hidePlainTip();
    return;
  }
  if (!tipSlot()) tipSlot() = new TipWindow();
  TipWindow* tip = tipSlot();
  tip->setText(text);
  // One line when it fits, else wrapped at the readable width.
  const QFontMetrics fm(tip->font());
  int longest = 0;
  for (const QString& line : text.split('\n')) longest = std::max(longest, fm.horizontalAdvance(line));
  const int frame = 2 * (tip->margin() + tip->frameWidth()) + 2;
  const int width = std::min(kTipMaxWidth, longest + frame);
  tip->setFixedWidth(width);
  tip->setFixedHeight(tip->heightForWidth(width) > 0 ? tip->heightForWidth(width) : tip->sizeHint().height());

  QScreen* screen = QGuiApplication::screenAt(pointer);
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
  int x = std::clamp(pointer.x() - kGap, area.left(), std::max(area.left(), area.right() - width + 1));
  int y = pointer.y() - kGap - tip->height();
  if (y < area.top()) y = pointer.y() + 2 * kGap;  // below, past the pointer's own picture
  tip->move(x, y);
  tip->show();
  tip->raise();
  tip->restart();
}

void hidePlainTip() {
  if (tipSlot()) tipSlot()->hide();
}

QLabel* plainTipWindow() {
  TipWindow* tip = tipSlot();
  return tip && tip->isVisible() ? tip : nullptr;
}

}  // namespace pellary
