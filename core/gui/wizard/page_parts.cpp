#include "core/gui/wizard/page_parts.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPointer>
#include <QRegularExpression>
#include <QShortcut>
#include <QTextDocumentFragment>
#include <QTextEdit>

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

namespace {
bool namedByCaption(const QWidget* w) {
  return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
         qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
         qobject_cast<const QTextEdit*>(w);
}

QString captionOf(const QLabel* label) {
  QString text = label->text();
  if (label->textFormat() != Qt::PlainText && Qt::mightBeRichText(text))
    text = QTextDocumentFragment::fromHtml(text).toPlainText();
  text.remove(QRegularExpression("&(?!&)"));
  text = text.simplified();
  if (text.endsWith(':')) text.chop(1);
  return text;
}

// The label over w (its bottom at most 30 pixels above w's top, overlapping
// it sideways) or on its left on the same line, nearest first.
QLabel* captionLabel(QWidget* w) {
  QWidget* parent = w->parentWidget();
  if (!parent) return nullptr;
  const QRect r = w->geometry();
  QLabel* best = nullptr;
  int bestDistance = 1 << 30;
  for (QLabel* l : parent->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
    if (l->text().trimmed().isEmpty() || l->isHidden()) continue;
    const QRect g = l->geometry();
    int distance = -1;
    if (g.bottom() <= r.top() && r.top() - g.bottom() <= 30 && g.right() >= r.left() && g.left() <= r.right())
      distance = r.top() - g.bottom();
    else if (g.right() <= r.left() && r.left() - g.right() <= 40 && g.top() <= r.center().y() &&
             g.bottom() >= r.center().y())
      distance = r.left() - g.right();
    if (distance >= 0 && distance < bestDistance) {
      best = l;
      bestDistance = distance;
    }
  }
  return best;
}
}  // namespace

void nameControlsFromLabels(QWidget& root) {
  for (QWidget* w : root.findChildren<QWidget*>()) {
    if (!namedByCaption(w) || !w->accessibleName().isEmpty()) continue;
    // The line edit inside a combo box or a spin box is named with its owner.
    if (qobject_cast<QLineEdit*>(w) &&
        (qobject_cast<QComboBox*>(w->parentWidget()) || qobject_cast<QAbstractSpinBox*>(w->parentWidget())))
      continue;
    QLabel* label = captionLabel(w);
    if (!label) continue;
    const QString caption = captionOf(label);
    if (caption.isEmpty()) continue;
    w->setAccessibleName(caption);
    if (!label->buddy()) label->setBuddy(w);
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
