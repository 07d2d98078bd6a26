#include "core/gui/wizard/placeholder_page.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

#include "core/products.h"
#include "core/wizard/page_engine.h"

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

PlaceholderPage::PlaceholderPage(const std::string& formName, PageOutput output, QWidget* parent)
    : QWidget(parent), output_(output) {
  setObjectName(QString::fromStdString(formName));
  addSidePicture(*this, 0);
  addPageTitle(*this, QString::fromStdString(formName));
  auto* back = new QPushButton("< &Back", this);
  back->setObjectName("cmdBack");
  back->setGeometry(400, 360, 90, 28);
  auto* next = new QPushButton("&Next >", this);
  next->setObjectName("cmdNext");
  next->setGeometry(500, 360, 90, 28);
  connect(back, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  connect(next, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
}

void PlaceholderPage::cmdNext_Click() {
  WizardState& w = Wizard();
  switch (output_) {
    case PageOutput::None: Bmm_FormAdvance(); return;
    case PageOutput::Dates: w.Bint_DatesPending = false; break;
    case PageOutput::DeviceRef: w.Bint_Ref2Pending = false; break;
    case PageOutput::PcRef:
      // Shown for the PC pages first, then again for a device code of 1.
      if (w.Bint_Ref1Pending && refPlat1Page(Bset().Bset_RefPlat1) == page::Reference)
        w.Bint_Ref1Pending = false;
      else
        w.Bint_Ref2Pending = false;
      break;
  }
  Bmm_GetNextForm();
}

void PlaceholderPage::cmdBack_Click() { Bmm_FormReverse(); }

}  // namespace pellary
