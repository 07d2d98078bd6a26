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

PlaceholderPage::PlaceholderPage(const std::string& formName, PageOutput output, QWidget* parent)
    : QWidget(parent), output_(output) {
  setObjectName(QString::fromStdString(formName));
  auto* img = new QLabel(this);
  img->setObjectName("imgPicture");
  img->setGeometry(0, 0, 150, 410);
  img->setPixmap(makeSidePicture(0));
  auto* title = new QLabel(QString::fromStdString(formName), this);
  title->setObjectName("lblFormTitle");
  title->setGeometry(170, 20, 400, 30);
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
