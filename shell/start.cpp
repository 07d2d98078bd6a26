#include "shell/start.h"

#include <cstdio>
#include <map>
#include <memory>

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QPointer>

#include "core/app.h"
#include "core/databank.h"
#include "core/error_log.h"
#include "core/gui/help_keys.h"
#include "core/gui/placement.h"
#include "core/gui/plain_tip.h"
#include "core/gui/wizard/page_table.h"
#include "core/gui/wizard/placeholder_page.h"
#include "core/preview_lists.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/screen_link.h"
#include "core/shellwrap.h"
#include "core/trees.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "platform/help/help.h"
#include "platform/paths.h"
#include "platform/variant.h"
#include "reference/html_generator.h"
#include "reference/pages/frmPsionRef.h"
#include "reference/pages/frmReference.h"
#include "reference/pages/frmWinCEReference.h"
#include "reference/reference_tree.h"
#include "shell/drawn_report.h"
#include "shell/frmMDIMain.h"
#include "shell/frmManagerMain.h"
#include "shell/selection_procedures.h"
#include "shell/single_instance.h"
#include "shell/small_pages.h"
#include "standins/daytimer/daytimer_db.h"
#include "standins/notes/notes_control.h"
#include "standins/organizer/organizer_control.h"
#include "standins/outlook/outlook_automation.h"
#include "standins/outlook/outlook_store.h"
#include "standins/palm/palm_desktop.h"
#include "standins/psiwin/psiwin_engine.h"
#include "update/pages/frmManager2Update.h"
#include "update/pages/frmPortalPage.h"
#include "update/pages/frmRegistration.h"
#include "update/pages/frmUpdateSetup.h"
#include "update/update_manager.h"
#include "writers/pages/frmDayTimersSelect.h"
#include "writers/pages/frmLotusSelect.h"
#include "writers/pages/frmOrgDetails.h"
#include "writers/pages/frmPalmRef.h"
#include "writers/pages/frmPilot.h"
#include "writers/pages/frmPsion3Agenda.h"
#include "writers/pages/frmPsion5.h"
#include "writers/pages/outlook_pages.h"
#include "writers/palm/palm_writer.h"

namespace pellary {

namespace {
std::unique_ptr<SingleInstance>& instanceGuard() {
  static std::unique_ptr<SingleInstance> guard;
  return guard;
}

QPointer<frmSplash>& splashSlot() {
  static QPointer<frmSplash> splash;
  return splash;
}

// 3. The splash paints before the data loads.
void showSplash() {
  auto* splash = new frmSplash();
  splashSlot() = splash;
  auto* copyright = splash->findChild<QLabel*>("lblCopyright");
  copyright->setText(kCopyrightNotice);
  if (!Breg_GetRegSetting("Support", "Node0").empty()) splash->findChild<QLabel*>("imgOrreryLogo")->show();
  Bmm().helpFile = paths::appPath() + "\\Pellary Almoner.HLP";
  Bpo_CenterForm(*splash);
  Bpo_StayOnTop(*splash);
  splash->show();
  QCoreApplication::processEvents();
}

}  // namespace

frmSplash* splashWindow() { return splashSlot(); }

ShellState& Bmm() {
  static ShellState state;
  return state;
}

void resetShellState() {
  Bmm() = ShellState{};
  instanceGuard().reset();
  delete splashSlot().data();
  splashSlot() = nullptr;
  resetPageTable();
  resetWizardState();
  resetHtmlGenerator();
  resetReferenceTree();
  previewTargets().heldDates.clear();
  previewTargets().heldReference.clear();
  pageOverrides().clear();
}

namespace {
// The stand-ins for the outside components, created by class name like the
// programs they replace, and what core and the page engine ask of the layers
// above them.
void connectComponents() {
  standins::outlook::registerOutlookClasses();
  standins::palm::registerPalmControls();
  standins::psiwin::registerPsiWinClasses();
  standins::organizer::registerOrganizerClass();
  standins::notes::registerNotesClass();
  standins::daytimer::registerDayTimerClass();
  screenLink().firstRun = [] { return Bmm().Bmm_FirstRun; };
  // A tip shows near the pointer, inside the program, as plain text.
  platform::help::setPopupPresenter([](const platform::help::Request&, const std::string& text) {
    if (!text.empty()) showPlainTip(QCursor::pos(), QString::fromStdString(text));
  });
  Bhtm_ConnectToScreenLink();
  Bhtm_ConnectToPageEngine();
  Wizard().orryEdition = [] { return Bset().Bset_OrryEdition; };
  Wizard().fieldfareEdition = [] { return Bset().Bset_FieldfareEdition; };
  Wizard().setPilotPath = [] { Bpm_SetPilotPath(); };
  connectUpdatePreview();
  connectUpdatePortal();
}
}  // namespace

// In this order: the databank, the product table, profile 1, the platform codes.
void loadStartData() {
  connectComponents();
  Bsql_OpenDataBanks();
  Bset_SetProducts();
  Bset_GetProfileSettings(1);
  Bset_SetPlatforms();
}

// The category trees, then each product tab's reference tree.
void buildTrees() {
  Bset_CategoryLists();
  Bset_SetupReferenceTrees();
}

std::map<int16_t, WizardPages::Factory>& pageOverrides() {
  static std::map<int16_t, WizardPages::Factory> overrides;
  return overrides;
}

void registerPages() {
  WizardPages& t = PageTable();
  t.setSlot(page::Intro, [] { return new frmIntro(); });
  registerSelectionPages(t);
  t.setSlot(3, [] { return new frmPsion3Agenda(); });
  t.setSlot(4, [] { return new frmOutlook(); });
  t.setSlot(6, [] { return new frmPsion5(); });
  t.setSlot(7, [] { return new frmOrgDetails(); });
  t.setSlot(11, [] { return new frmDayTimersSelect(); });
  t.setSlot(13, [] { return new frmLotusSelect(); });
  t.setSlot(15, [] { return new frmPilot(); });
  t.setSlot(page::UpdateSetup, [] { return new frmUpdateSetup(); });
  t.setSlot(page::Registration, [] { return new frmRegistration(); });
  t.setSlot(page::Reference, [] { return new frmReference(); });
  t.setSlot(page::Banner, [] { return new frmManagerTop(); });
  t.setSlot(page::NoChanges, [] { return new frmNoSelections(); });
  t.setSlot(page::PalmRef, [] { return new frmPalmRef(); });
  t.setSlot(page::WinCERef, [] { return new frmWinCEReference(); });
  t.setSlot(page::PsionRef, [] { return new frmPsionRef(); });
  for (const auto& [slot, factory] : pageOverrides()) t.setSlot(slot, factory);
}

void Bmm_FillPageTable() {
  WizardPages& t = PageTable();
  t.setClientArea([] { return mainFrame().clientArea(); });
  t.setFileMenuHandler([] { mainFrame().mnuFile()->menuAction()->setEnabled(true); });
  t.setPageShownHandler([](QWidget* page) {
    if (mainFrameExists()) mainFrame().fitAccessKeys(page);
  });
  installHelpKey();
  Wizard().host = &t;
  // The forms are in their slots now; a writer page is loaded when it is
  // first shown, so a page that talks to a device does so only when the user
  // gets there. The summary is loaded now: Continue writes its lists before
  // it is shown.
  t.page(page::Summary);
}

int16_t firstPage(bool firstRun, int16_t runMode) {
  if (firstRun) return page::Intro;
  return runMode == 1 ? page::Selection : page::Banner;
}

RunModeChoice Bmm_RunModeFromCommandLine(const std::string& commandLine) {
  if (paths::equalsIgnoreCase(commandLine, "cue_timed")) return {true, 0};
  if (paths::equalsIgnoreCase(commandLine, "cue_demand")) return {true, 2};
  if (paths::equalsIgnoreCase(commandLine, "cue_setting")) return {false, 1};
  return {false, 0};
}

std::string commandLineText(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

bool Bmm_ParseBoolean(const std::string& text) {
  if (paths::equalsIgnoreCase(text, "true")) return true;
  if (paths::equalsIgnoreCase(text, "false")) return false;
  return Variant(text).toDouble() != 0.0;
}

void Bmm_RegisterNotesControl() {
  std::string notesPath = Breg_ReturnShortPathName(Breg_GetRegSetting("Settings", "NotesPath"));
  std::string batch = paths::appPath() + "\\regnotes.bat";
  std::string file = paths::resolve(batch).string();
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) raise(err::PathFileAccess);
  std::string text = "set path=" + notesPath + ";" + Bshl_GetSystemDirectory() + ";%path%\r\n" + "regsvr32 /s " +
                     notesPath + "\\kestnotes.dll\r\n";
  bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written) raise(err::PathFileAccess);
  std::string shortBatch = Breg_ReturnShortPathName(file);
  // The interpreter is absent on this platform; the outcome is not examined.
  Bshl_ShellAndWait("command.com", {"/c", shortBatch});
}

bool Main(const std::string& commandLine) {
  return trapped("Main", [&]() -> bool {
    // 1. One running copy: a later start brings the first copy's window forward.
    auto guard = std::make_unique<SingleInstance>(SingleInstance::defaultName());
    if (!guard->claim()) {
      // The running copy was brought forward; a scheduler that started an
      // update run must not read that as an update made.
      if (Bmm_RunModeFromCommandLine(commandLine).updateRun) {
        const std::string text = "Another copy of " + std::string(kAppTitle) + " is running; no update was made";
        appendErrorLog(errorLogLine(int32_t(err::AnotherCopyRuns), "Main", text));
        std::fprintf(stderr, "pelmon: %s\n", text.c_str());
        endProgram(kExitHandedOver);
      }
      return false;
    }
    guard->setActivateHandler(activateMainWindow);
    instanceGuard() = std::move(guard);

    // 2. Run mode.
    RunModeChoice choice = Bmm_RunModeFromCommandLine(commandLine);
    Bupd_UpdateRun() = choice.updateRun;
    Bmm().runMode = choice.runMode;

    // 3. The splash.
    if (!choice.updateRun) showSplash();

    // 4. Every run: the databank, products, profile and platform codes. The
    // product table lays out the selection screen's tabs, so in an
    // interactive run the screen exists first.
    if (!choice.updateRun) selectionScreen();
    loadStartData();

    // Every run knows its forms: a silent run creates a page it needs
    // (the Palm reference page's controls) without showing it.
    registerPages();

    // 5. A silent run belongs to the update service.
    if (choice.updateRun) {
      Bupd_MainHandler(choice.runMode);
      return false;
    }

    // 6. The trees of the selection screen.
    buildTrees();

    // 7. First run.
    Bmm().Bmm_FirstRun = Bmm_ParseBoolean(Breg_GetRegSetting("User", "FirstRun"));

    // 8. The Lotus Notes control is registered once, on a first run for Notes.
    if (Bmm().Bmm_FirstRun && Bset().Bset_DatesPlat == 9) Bmm_RegisterNotesControl();

    // 9. The page table, then the frame centred.
    Bmm_FillPageTable();
    frmMDIMain& frame = mainFrame();
    Bpo_CenterForm(frame);

    // 10. The first page.
    int16_t first = firstPage(Bmm().Bmm_FirstRun, choice.runMode);
    PageTable().alignPage(first);
    PageTable().showPage(first);
    Bmm_CurrentPage() = first;
    // Starting on the selection screen must leave File > Exit usable, and
    // its tips counting from now.
    if (first == page::Selection) {
      PageTable().enableFileMenu();
      PageTable().enableToolTipTimer();
      Bint_ToolTipStamp() = toolTipStampNow();
    }

    // 11. The frame, and the splash hidden for the rest of the run.
    reportFirstPaint(frame);
    frame.show();
    if (splashWindow()) splashWindow()->hide();
    return true;
  });
}

}  // namespace pellary
