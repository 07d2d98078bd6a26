#include "core/gui/wizard/page_parts.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPointer>
#include <QShortcut>

namespace pellary {

QPixmap makeSidePicture(int variant) {
  QPixmap pixmap(150, 410);
  QPainter p(&pixmap);
  static const QColor tops[] = {QColor(30, 70, 140), QColor(20, 110, 90), QColor(120, 60, 30)};
  QColor top = tops[(variant % 3 + 3) % 3];
  QLinearGradient g(0, 0, 0, pixmap.height());
  g.setColorAt(0, top);
  g.setColorAt(1, top.lighter(190));
  p.fillRect(pixmap.rect(), g);
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 4; ++i) {
    p.setBrush(QColor(255, 255, 255, 40 + 20 * i));
    p.drawEllipse(QPointF(30 + 25 * i, 70 + 80 * i + 10 * variant), 18.0 + 4 * i, 18.0 + 4 * i);
  }
  return pixmap;
}

QLabel* addSidePicture(QWidget& page, int variant) {
  auto* img = new QLabel(&page);
  img->setObjectName("imgPicture");
  img->setGeometry(kSidePictureRect);
  img->setPixmap(makeSidePicture(variant));
  return img;
}

QLabel* addPageTitle(QWidget& page, const QString& text) {
  auto* title = new QLabel(text, &page);
  title->setObjectName("lblFormTitle");
  title->setGeometry(kTitleRect);
  QFont f = title->font();
  f.setBold(true);
  f.setPointSize(f.pointSize() + 4);
  title->setFont(f);
  return title;
}

namespace {
constexpr const char* kDefaultButton = "defaultButton";

QPushButton* nextAtFooter(QWidget& page, const QString& text, int width) {
  auto* next = new QPushButton(text, &page);
  next->setObjectName("cmdNext");
  next->setGeometry(kFooterRight - width, kFooterTop, width, kButtonHeight);
  makeDefaultButton(page, next);
  return next;
}
}  // namespace

QPushButton* addNextButton(QWidget& page, QPoint, const QString& text, int width) {
  return nextAtFooter(page, text, width);
}

PageFooter addPageFooter(QWidget& page, QPoint, const QString& nextText, int nextWidth) {
  PageFooter footer;
  footer.back = new QPushButton("< &Back", &page);
  footer.back->setObjectName("cmdBack");
  footer.back->setAutoDefault(false);
  footer.back->setGeometry(kFooterRight - nextWidth - 10 - 90, kFooterTop, 90, kButtonHeight);
  footer.next = nextAtFooter(page, nextText, nextWidth);
  // Tab reaches Next first, as the focus starts there.
  QWidget::setTabOrder(footer.next, footer.back);
  return footer;
}

void makeDefaultButton(QWidget& page, QPushButton* button) {
  button->setDefault(true);
  page.setProperty(kDefaultButton, QVariant::fromValue(static_cast<QObject*>(button)));
  for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
    auto* enter = new QShortcut(QKeySequence(key), &page);
    enter->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(enter, &QShortcut::activated, &page, [pagePtr = QPointer<QWidget>(&page)] {
      if (!pagePtr) return;
      // Enter presses the focused button, as on any dialog; else the default.
      QPushButton* target = qobject_cast<QPushButton*>(QApplication::focusWidget());
      if (!target || !pagePtr->isAncestorOf(target)) target = defaultButton(*pagePtr);
      if (target && target->isVisible() && target->isEnabled()) target->click();
    });
  }
}

QPushButton* defaultButton(QWidget& page) {
  return qobject_cast<QPushButton*>(page.property(kDefaultButton).value<QObject*>());
}

QProgressBar* addPageProgress(QWidget& page, const char* name, const QRect& geometry) {
  auto* bar = new QProgressBar(&page);
  bar->setObjectName(name);
  bar->setRange(0, 100);
  bar->setGeometry(geometry);
  bar->hide();
  return bar;
}

}  // namespace pellary
