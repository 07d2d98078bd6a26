#include "writers/pages/frmPilot.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "core/gui/wizard/page_parts.h"
#include "core/wizard/page_engine.h"
#include "writers/palm/palm_writer.h"

namespace pellary {

namespace {
const char* const kInstructions =
    "Please select the user name for the Palm Computing device to which you wish to write your Pellary Almoner "
    "dates and events\r\n\r\n"
    "Click 'Next' to write dates and events to your Palm Desktop Date Book, and then HotSync once to synchronise "
    "the information with your Palm Computing device";
}  // namespace

frmPilot::frmPilot(QWidget* parent)
    : PalmUserPage("frmPilot", "Updating Palm Desktop Date Book", "fraUserInput", QString(), parent) {
  chkBackupDatebook_ = new QCheckBox("Create Palm Desktop Date Book backup", frame_);
  chkBackupDatebook_->setObjectName("chkBackupDatebook");
  chkBackupDatebook_->setGeometry(240, 200, 215, 40);
  chkBackupDatebook_->setChecked(true);
  ProgressBar_ = addPageProgress(*frame_, "ProgressBar", QRect(10, 280, 440, 18));
  ProgressBar_->setValue(0);
  ProgressBar_->show();  // shown empty from the start on this page
  connect(cmdNext_, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  connect(cmdBack_, &QPushButton::clicked, this, [this] { cmdBack_Click(); });

  // The writer reaches the page's progress bar, pointer and check box.
  PalmWriterState& w = BpmWriter();
  w.setProgress = [this](int16_t percent) { ProgressBar_->setValue(percent); };
  w.setBusy = [this](bool busy) { setBusy(busy); };
  w.backupChecked = [this] { return chkBackupDatebook_->isChecked(); };
  w.page = this;
  Form_Load();
}

frmPilot::~frmPilot() {
  PalmWriterState& w = BpmWriter();
  if (w.page != this) return;  // a newer page has taken over
  w.setProgress = nullptr;
  w.setBusy = nullptr;
  w.backupChecked = nullptr;
  w.page = nullptr;
}

void frmPilot::Form_Load() {
  lblPilotInstructions_->setText(QString::fromUtf8(kInstructions).remove('\r'));
  lstPilotUsers_->clear();
  Bpm_GetUserIDFromRegistry();
  fillUserList(Bpm_PalmUserID());
  cmdNext_->setEnabled(true);
}

void frmPilot::cmdNext_Click() {
  setBusy(true);
  Bpm_SavePalmUserID();
  if (Bpm_PalmHandler(Bpm_PalmUserID())) {
    Bint_DatesPending() = false;
    Bmm_GetNextForm();
  }
  setBusy(false);
}

void frmPilot::cmdBack_Click() { Bmm_FormReverse(); }

}  // namespace pellary
