#include "hushbank/frmMain.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace pellary::hushbank {

frmMain::frmMain(QWidget* parent) : QWidget(parent) {
  setObjectName("frmMain");
  setWindowTitle(kNoticeCaption);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint);
  auto* outer = new QVBoxLayout(this);
  fraMain = new QFrame(this);
  fraMain->setObjectName("fraMain");
  fraMain->setFrameShape(QFrame::Box);
  outer->addWidget(fraMain);
  auto* inner = new QVBoxLayout(fraMain);
  lblMain = new QLabel(fraMain);
  lblMain->setObjectName("lblMain");
  lblMain->setAlignment(Qt::AlignCenter);
  inner->addWidget(lblMain);
  QString text = QString::fromUtf8(kNoticeText);
  lblMain->setText(text.replace("\r\n", "\n"));
  resize(360, 120);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
}

}  // namespace pellary::hushbank
