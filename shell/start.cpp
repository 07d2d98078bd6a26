#include "shell/start.h"

#include <cstdio>
#include <memory>

#include <QApplication>

#include "core/app.h"
#include "core/databank.h"
#include "core/gui/placement.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/shellwrap.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/variant.h"
#include "shell/frmMDIMain.h"
#include "shell/single_instance.h"
#include "update/update_service.h"

namespace pellary {

namespace {
std::unique_ptr<SingleInstance>& instanceGuard() {
  static std::unique_ptr<SingleInstance> guard;
  return guard;
}
}  // namespace

ShellState& Bmm() {
  static ShellState state;
  return state;
}

void resetShellState() {
  Bmm() = ShellState{};
  instanceGuard().reset();
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
  std::string text = "set path=" + notesPath + ";" + Bshl_GetSystemDirectory() + ";%path%\r\n" +
                     "regsvr32 /s " + notesPath + "\\kestnotes.dll\r\n";
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
    if (!guard->claim()) return false;
    guard->setActivateHandler(activateMainWindow);
    instanceGuard() = std::move(guard);

    // 2. Run mode.
    RunModeChoice choice = Bmm_RunModeFromCommandLine(commandLine);
    Bupd_UpdateRun() = choice.updateRun;
    Bmm().runMode = choice.runMode;

    // 4. Every run: the databank and the platform codes.
    Bsql_OpenDataBanks();
    Bset_SetPlatforms();

    // 5. A silent run belongs to the update service.
    if (choice.updateRun) {
      Bupd_MainHandler(choice.runMode);
      return false;
    }

    // 7. First run.
    Bmm().Bmm_FirstRun = Bmm_ParseBoolean(Breg_GetRegSetting("User", "FirstRun"));

    // 8. The Lotus Notes control is registered once, on a first run for Notes.
    if (Bmm().Bmm_FirstRun && Bset().Bset_DatesPlat == 9) Bmm_RegisterNotesControl();

    // 9-11. The frame window.
    frmMDIMain& frame = mainFrame();
    Bpo_CenterForm(frame);
    frame.show();
    return true;
  });
}

}  // namespace pellary
