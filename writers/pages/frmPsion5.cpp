#include "writers/pages/frmPsion5.h"

#include <QApplication>

#include "core/registry.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "standins/psiwin/psiwin_engine.h"

namespace pellary {

frmPsion5::frmPsion5(QWidget* parent)
    : PsionAgendaPage("frmPsion5", "Your Agenda file is updated on the connected device.", parent) {
  connect(cmdNext, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  connect(cmdBack, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  Bpsi().view = this;
  connect(&events_, &QTimer::timeout, this, [] {
    if (auto engine = std::dynamic_pointer_cast<standins::psiwin::PsiWinEngine>(Bpsi().engine)) engine->pumpEvents();
  });
  Form_Load();
}

frmPsion5::~frmPsion5() {
  if (Bpsi().view == this) Bpsi().view = nullptr;
}

void frmPsion5::Form_Load() {
  trapped("frmPsion5_Form_Load", [&] {
    Bpsi_LoadControls();
    const std::string stored = Breg_GetRegSetting("Settings", "PsionAgendaFile");
    Bpsi().agendaFile = stored;
    showStoredFile(stored);
  });
  events_.start();
}

void frmPsion5::cmdNext_Click() {
  if (!beginNext()) return;
  Bpsi_SetAgendaFile(txtAgendaName->text().toStdString());
  if (Bpsi_psion5Handler()) {
    Bint_DatesPending() = false;
    Bmm_GetNextForm();
  }
  endNext();
}

void frmPsion5::cmdBack_Click() { Bmm_FormReverse(); }

void frmPsion5::addAgendaFilter(platform::Dispatch& control) {
  control.call("AddFilterUID", {"Psion Agenda file", int32_t(0x10000050), int32_t(0x1000006D), int32_t(0x10000084)});
}

void frmPsion5::setNextEnabled(bool enabled) { cmdNext->setEnabled(enabled); }
void frmPsion5::setProgress(int16_t percent) { prgProgress->setValue(percent); }
void frmPsion5::setProgressVisible(bool visible) { prgProgress->setVisible(visible); }
void frmPsion5::setDefaultPointer() {
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

}  // namespace pellary
