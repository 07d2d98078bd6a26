#include "update/pages/frmRegistration.h"

#include <QLabel>
#include <QPushButton>

#include "core/gui/wizard/placeholder_page.h"
#include "core/registry.h"
#include "core/wizard/page_engine.h"
#include "core/wizard/program_end.h"
#include "platform/errors.h"
#include "update/update_manager.h"

namespace pellary {

frmRegistration::frmRegistration(QWidget* parent) : QWidget(parent) {
  setObjectName("frmRegistration");
  addSidePicture(*this, 2);
  addPageTitle(*this, "Manual update setup");

  auto* info = new QLabel(kRegistrationInfo, this);
  info->setObjectName("lblFormInfo");
  info->setGeometry(170, 42, 440, 80);
  info->setWordWrap(true);

  auto* label2 = new QLabel("Configure your update settings NOW on the Brackwater Web site", this);
  label2->setObjectName("Label2");
  label2->setGeometry(170, 140, 440, 40);
  label2->setWordWrap(true);

  auto* quick = new QPushButton("&Quick set up", this);
  quick->setObjectName("cmdQuickSetup");
  quick->setGeometry(170, 200, 160, 30);
  auto* later = new QPushButton("&Remind me later", this);
  later->setObjectName("cmdRemindLater");
  later->setGeometry(170, 250, 160, 30);

  // Enter takes the choice that changes nothing now.
  makeDefaultButton(*this, later);
  connect(quick, &QPushButton::clicked, this, [this] { cmdQuickSetup_Click(); });
  connect(later, &QPushButton::clicked, this, [this] { cmdRemindLater_Click(); });
}

frmRegistration::~frmRegistration() {
  if (endHook_) removeProgramEndHook(endHook_);
}

// The program ends without unloading its windows: once the page has been
// shown, the end of the program (the frame's exit question included) is its unload.
void frmRegistration::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!endHook_) endHook_ = addProgramEndHook([this] { Form_Unload(); });
}

void frmRegistration::Form_Unload() { Breg_WriteRegSettings("User", "FirstRun", "False"); }

void frmRegistration::cmdQuickSetup_Click() {
  trapped("cmdQuickSetup_Click", [&] {
    window()->setCursor(Qt::WaitCursor);
    Form_Unload();
    int16_t runMode = 2;
    Bupd_MainHandler(runMode);
    Bmm_EndProgram();
  });
}

void frmRegistration::cmdRemindLater_Click() {
  trapped("cmdRemindLater_Click", [&] {
    Form_Unload();
    Bmm_EndProgram();
  });
}

}  // namespace pellary
