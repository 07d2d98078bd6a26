#include "writers/pages/frmPsion3Agenda.h"

#include <QApplication>

#include "core/registry.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "standins/psiwin/psiwin_engine.h"

namespace pellary {

frmPsion3Agenda::frmPsion3Agenda(QWidget* parent)
    : PsionAgendaPage("frmPsion3Agenda", "The Agenda file is copied to your PC, updated and copied back.", parent) {
  connect(cmdNext, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  connect(cmdBack, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  Bps3().view = this;
  Bps3().doEvents = [] {
    if (auto engine = std::dynamic_pointer_cast<standins::psiwin::PsiWinEngine>(Bps3().engine)) engine->pumpEvents();
    QApplication::processEvents();
  };
  connect(&events_, &QTimer::timeout, this, [] {
    if (auto engine = std::dynamic_pointer_cast<standins::psiwin::PsiWinEngine>(Bps3().engine)) engine->pumpEvents();
  });
  Form_Load();
}

frmPsion3Agenda::~frmPsion3Agenda() {
  if (Bps3().view == this) Bps3().view = nullptr;
}

void frmPsion3Agenda::Form_Load() {
  trapped("frmPsion3Agenda_Form_Load", [&] {
    Bps3_LoadControls();
    const std::string stored = Breg_GetRegSetting("Settings", "PsionAgendaFile");
    Bps3().agendaFile = stored;
    showStoredFile(stored);
  });
  events_.start();
}

void frmPsion3Agenda::cmdNext_Click() {
  if (!beginNext()) return;
  Bps3_SetAgendaFile(txtAgendaName->text().toStdString());
  if (Bps3_psion3Handler()) {
    Bint_DatesPending() = false;
    Bmm_GetNextForm();
  }
  endNext();
}

void frmPsion3Agenda::cmdBack_Click() { Bmm_FormReverse(); }

void frmPsion3Agenda::addAgendaFilter(platform::Dispatch& control) {
  control.call("AddFilterWildcard", {"Psion Agenda file", "*.agn"});
}

void frmPsion3Agenda::setStatus(const std::string& text) { Status->showMessage(QString::fromStdString(text)); }
void frmPsion3Agenda::setNextEnabled(bool enabled) { cmdNext->setEnabled(enabled); }
void frmPsion3Agenda::setProgress(int16_t percent) { prgProgress->setValue(percent); }
void frmPsion3Agenda::showProgress() { prgProgress->show(); }
void frmPsion3Agenda::setDefaultPointer() {
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

}  // namespace pellary
