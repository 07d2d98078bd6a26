#include "core/gui/wizard/page_parts.h"

#include <QLinearGradient>
#include <QPainter>

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
  img->setGeometry(0, 0, 150, 410);
  img->setPixmap(makeSidePicture(variant));
  return img;
}

QLabel* addPageTitle(QWidget& page, const QString& text) {
  auto* title = new QLabel(text, &page);
  title->setObjectName("lblFormTitle");
  title->setGeometry(170, 10, 440, 28);
  QFont f = title->font();
  f.setBold(true);
  f.setPointSize(f.pointSize() + 4);
  title->setFont(f);
  return title;
}

QPushButton* addNextButton(QWidget& page, QPoint at, const QString& text, int width) {
  auto* next = new QPushButton(text, &page);
  next->setObjectName("cmdNext");
  next->setGeometry(at.x(), at.y(), width, 28);
  return next;
}

PageFooter addPageFooter(QWidget& page, QPoint backAt, const QString& nextText, int nextWidth) {
  PageFooter footer;
  footer.back = new QPushButton("< &Back", &page);
  footer.back->setObjectName("cmdBack");
  footer.back->setGeometry(backAt.x(), backAt.y(), 90, 28);
  footer.next = addNextButton(page, backAt + QPoint(100, 0), nextText, nextWidth);
  return footer;
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
