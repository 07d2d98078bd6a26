#include "update/pages/frmUpdateSetup.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include "core/app.h"
#include "core/gui/wizard/page_table.h"
#include "core/gui/wizard/placeholder_page.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/wizard/page_engine.h"
#include "core/wizard/program_end.h"
#include "core/wizard/update_interval.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "update/update_timer.h"

namespace pellary {

namespace {
QString text(const char* s) {
  QString t = QString::fromUtf8(s);
  return t.replace("\r\n", "\n");
}
}  // namespace

frmUpdateSetup::frmUpdateSetup(QWidget* parent) : QWidget(parent) {
  setObjectName("frmUpdateSetup");
  addSidePicture(*this, 2);
  addPageTitle(*this, "Stay up to date!");

  auto* info = new QLabel(this);
  info->setObjectName("lblFormInfo");
  info->setGeometry(170, 42, 440, 120);
  info->setWordWrap(true);

  auto* frmAuto = new QGroupBox(this);
  frmAuto->setObjectName("frmAuto");
  frmAuto->setGeometry(170, 170, 440, 104);
  optAuto0_ = new QRadioButton("Automatically", frmAuto);
  optAuto0_->setObjectName("optAuto");
  optAuto0_->setProperty("index", 0);
  optAuto0_->setGeometry(10, 8, 200, 22);
  auto* settings = new QLabel(frmAuto);
  settings->setObjectName("lblUpdateSettings");
  settings->setGeometry(30, 30, 405, 36);
  settings->setWordWrap(true);
  cboUpdateTime_ = new QComboBox(frmAuto);
  cboUpdateTime_->setObjectName("cboUpdateTime");
  cboUpdateTime_->setGeometry(30, 70, 200, 24);

  auto* frmManual = new QGroupBox(this);
  frmManual->setObjectName("frmManual");
  frmManual->setGeometry(170, 278, 440, 76);
  optAuto1_ = new QRadioButton("Manually", frmManual);
  optAuto1_->setObjectName("optAuto");
  optAuto1_->setProperty("index", 1);
  optAuto1_->setGeometry(10, 8, 200, 22);
  auto* manualText = new QLabel("Click the Pellary Almoner icon on the desktop to run an update manually", frmManual);
  manualText->setGeometry(70, 32, 360, 36);
  manualText->setWordWrap(true);
  auto* warning = new QLabel(frmManual);
  warning->setObjectName("imgWarning");
  warning->setGeometry(30, 32, 32, 32);
  warning->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));

  const PageFooter footer = addPageFooter(*this, QPoint(), "&Finish");
  QPushButton* back = footer.back;
  QPushButton* next = footer.next;
  settings->setBuddy(cboUpdateTime_);

  // Load.
  info->setText(text(kUpdateSetupInfo));
  settings->setText("How often would you like your calendar and reference section updated?");
  // The options sit in different frames; one group keeps them exclusive, so
  // that they are one choice to the keyboard and to a screen reader.
  auto* choice = new QButtonGroup(this);
  choice->setExclusive(true);
  choice->addButton(optAuto0_, 0);
  choice->addButton(optAuto1_, 1);
  optAuto0_->setChecked(true);
  QWidget::setTabOrder(optAuto0_, cboUpdateTime_);
  QWidget::setTabOrder(cboUpdateTime_, optAuto1_);
  QWidget::setTabOrder(optAuto1_, next);
  for (const UpdateInterval& i : kUpdateIntervals) cboUpdateTime_->addItem(i.text, i.code);
  // The box selects its first item by itself; a stored code that matches no
  // item must leave nothing selected, so that Finish keeps the stored values.
  cboUpdateTime_->setCurrentIndex(-1);
  Bint_GetUpdateSettings(*cboUpdateTime_);

  connect(optAuto0_, &QRadioButton::clicked, this, [this] { optAuto_Click(0); });
  connect(optAuto1_, &QRadioButton::clicked, this, [this] { optAuto_Click(1); });
  connect(next, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  connect(back, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
}

void frmUpdateSetup::optAuto_Click(int index) {
  optAuto(index)->setChecked(true);
  optAuto(1 - index)->setChecked(false);
}

void frmUpdateSetup::cmdNext_Click() {
  trapped("UpdateSetup_cmdNext", [&] {
    // The saved interval takes effect: the user's session scheduler starts
    // the timed runs, and manual updates take its timer away.
    if (optAuto1_->isChecked()) {
      std::string code = kManualUpdateCode;
      Bint_SaveUpdateFreq(code);
      timer::Bint_ApplyUpdateTimer(0);
      if (Breg_GetRegSetting("CUE", "CustomerID").empty()) {
        Bmm_FormAdvance();
        return;
      }
    } else {
      if (cboUpdateTime_->currentIndex() >= 0) {
        std::string code = std::to_string(cboUpdateTime_->currentData().toInt());
        Bint_SaveUpdateFreq(code);
      }
      timer::Bint_ApplyUpdateTimer(Bint_StoredUpdateCode().value_or(0));
    }
    if (Bset().Bset_DatesPlat == 12 || Bset().Bset_RefPlat2 == 2) MsgBox(kHotSyncNow, mb::Information, appTitle());
    Bmm_EndProgram();
  });
}

void frmUpdateSetup::cmdBack_Click() { Bmm_FormReverse(); }

}  // namespace pellary
