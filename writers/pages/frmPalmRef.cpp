#include "writers/pages/frmPalmRef.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "core/gui/wizard/page_table.h"
#include "core/products.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "reference/html_generator.h"
#include "reference/reference_journal.h"
#include "standins/palm/palm_desktop.h"
#include "writers/palm/palm_module.h"

namespace pellary {

namespace {
const char* const kInstructions =
    "Please select the user name for the Palm Computing device on which you wish to view your reference "
    "information\r\n\r\n"
    "If you have not already installed the Mappa viewer on your Palm Computing device, tick the appropriate "
    "box\r\n\r\n"
    "Click 'Next' once you have made your selection\r\n\r\n"
    "Please note: To read the reference information on your Palm Computing device you must HotSync twice (if "
    "the Mappa viewer is not already installed on your device). If the Mappa viewer is installed you will only "
    "need to HotSync once";

// The label shows line feeds only; the text keeps its CR LF pairs.
QString labelText(const char* text) { return QString::fromUtf8(text).remove('\r'); }

// The page of slot 21 when it holds this form (loaded on demand, not shown).
frmPalmRef* tablePage() {
  WizardPages& table = PageTable();
  if (!table.hasForm(page::PalmRef)) return nullptr;
  return dynamic_cast<frmPalmRef*>(table.page(page::PalmRef));
}

// The writer reaches the page in the table through this, never the page
// itself; connected wherever this page is linked in.
[[maybe_unused]] const bool connected = [] {
  loadedPalmRefPage() = []() -> std::optional<PalmRefPage> {
    frmPalmRef* f = tablePage();
    if (!f) return std::nullopt;
    return PalmRefPage{f->UserData1, f->HotSyncApi, reinterpret_cast<intptr_t>(f)};  // the page stands for its window
  };
  return true;
}();
}  // namespace

frmPalmRef::frmPalmRef(QWidget* parent)
    : PalmUserPage("frmPalmRef", "Updating Palm Computing reference information", "fraPilot", "Palm Computing Device",
                   parent) {
  setWindowTitle("Palm Computing Device");
  lblPilotInstructions_->setProperty("instructions", QString::fromUtf8(kInstructions));
  chkInstallViewer_ = new QCheckBox("&Install Mappa viewer to Palm device", frame_);
  chkInstallViewer_->setObjectName("chkInstallViewer");
  chkInstallViewer_->setGeometry(240, 200, 215, 40);
  connect(cmdNext_, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  connect(cmdBack_, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
  Form_Load();
}

void frmPalmRef::Form_Load() {
  trapped("frmPalmRef.Form_Load", [this] {
    lblPilotInstructions_->setText(labelText(kInstructions));
    lstPilotUsers_->clear();
    Bpm_GetUserIDFromRegistry();
    chkInstallViewer_->setChecked(Bpm_PalmUserID() == 0);
    fillUserList(Bpm_PalmUserID());
    cmdNext_->setEnabled(true);
    // A profile that already has reference topics keeps its device.
    lstPilotUsers_->setEnabled(Bset().Bset_NoProfileRefs);
  });
}

void frmPalmRef::InstallViewerAndConduit() {
  trapped("frmPalmRef.InstallViewerAndConduit", [] {
    Bpm_RegisterRefConduit();
    Bpm_RestartHotsync();
    Bpm_InstallRefViewer(Bpm_PalmUserID());
  });
}

void frmPalmRef::cmdNext_Click() {
  trapped("frmPalmRef.cmdNext_Click", [this] {
    setBusy(true);
    Bpm_SavePalmUserID();
    if (chkInstallViewer_->isChecked()) InstallViewerAndConduit();
    // This run's choices count when the PC pages did not apply them already.
    Bhtm_InitialiseHandler();
    Bpm_PalmReferenceHandler();
    Bint_Ref2Pending() = false;
    setBusy(false);
    Bmm_GetNextForm();
  });
}

void frmPalmRef::cmdBack_Click() {
  trapped("frmPalmRef.cmdBack_Click", [] { Bmm_FormReverse(); });
}

}  // namespace pellary
