#include "reference/psion/psion_transfer.h"

#include <chrono>

#include "core/app.h"
#include "core/products.h"
#include "core/registry.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "reference/file_helpers.h"
#include "reference/psion/psion_viewer.h"

namespace pellary {

namespace {

constexpr int16_t kPC = 1, kDevice = 2;
constexpr int32_t kFailed = 23;

PsionEngineControl& engine() {
  PsionEngineControl* e = Bps5Link().engine;
  if (!e) raise(err::InvalidCall, "No PsiWin engine");
  return *e;
}

double now() {
  const auto& clock = Bps5Link().clock;
  if (clock) return clock();
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void yieldOnce() { Bps5Link().yield(); }

// Polls the state until success, failure (23) or the time limit.
bool waitFor(int32_t success) {
  const double started = now();
  for (;;) {
    const int32_t state = Bps5Link().Bps5_EngineState;
    if (state == success) return true;
    if (state == kFailed || now() - started > Bps5Link().timeLimit) return false;
    yieldOnce();
  }
}

bool timed(const char* location, int32_t busy, int32_t success, const std::function<void()>& start) {
  return trapped(location, [&] {
    Bps5Link().Bps5_EngineState = busy;
    start();
    return waitFor(success);
  });
}

bool series5(int16_t code) { return code == 16 || code == 64 || code == 128 || code == 256; }

void message(const std::string& text, int icon) { MsgBox(text, mb::OKOnly | icon, appTitle()); }

bool finish() {
  Breg_WriteRegSettings("Settings", "Ref2Size", std::to_string(Bps5().Bps5_SectionSize));
  Bint_Ref2Pending() = false;
  if (PsionPageView* page = Bps5Link().page) page->normalPointer();
  yieldOnce();
  Bmm_GetNextForm();
  return true;
}

}  // namespace

PsionTransferState& Bps5Link() {
  static PsionTransferState state;
  return state;
}

void resetPsionTransfer() { Bps5Link() = PsionTransferState{}; }

int32_t Bps5_GetEngineState() { return Bps5Link().Bps5_EngineState; }
void Bps5_SetEngineState(int32_t state) { Bps5Link().Bps5_EngineState = state; }

void Bps5_EngineEvent(int16_t event, int32_t code, const std::string& text) {
  PsionTransferState& s = Bps5Link();
  int32_t& state = s.Bps5_EngineState;
  switch (event) {
    case 9:
      if (code == 0) {
        engine().connect(10000);
      } else {
        Bps5_Stub("PsiWinEng OnInit error #" + std::to_string(code));
        endProgram(0);
      }
      break;
    case 10:
      if (code == 0 || code == 2402) {
        engine().requestDriveList(kDevice);
        state = 17;
      } else {
        Bps5_Stub(code == 1121 ? std::string("Couldn't connect to device - please check the connections")
                               : "PsiWinEng OnConnect error #" + std::to_string(code));
        engine().connect(10000);
      }
      break;
    case 12:
      if (state != 5) engine().connect(10000);
      break;
    case 26:
      if (state == 17) {
        state = 18;
        if (Bps5_GotDrives(text) && s.page) {
          s.page->setNextEnabled(true);
          s.page->normalPointer();
        }
      }
      break;
    case 17:
      if (state == 15) {
        state = 16;
        Bps5_GotDriveInfo(code);
      }
      break;
    case 11:
      if (code == 0 || code == 183) {
        if (state == 8) state = 19;
        break;
      }
      switch (code) {
        case 2: Bps5_Stub("Error copying file : file not found"); break;
        case 33: Bps5_Stub("Error : Please close viewer program on device"); break;
        case 2250: Bps5_Stub("Error : connection to device lost. Please check your connections"); break;
        default: Bps5_Stub("Problem copying file : error #" + std::to_string(code));
      }
      if (s.page) s.page->setNextEnabled(true);
      // The waiting copy learns of the failure now, not after its time limit.
      if (state == 8) state = kFailed;
      break;
    case 19:
      if (code == 0 || code == 3) {
        if (state == 12) state = 14;
      } else {
        state = kFailed;
      }
      break;
    case 20:
      if (code == 0 || code == 183) {
        if (state == 11) state = 13;
      } else {
        state = kFailed;
      }
      break;
    case 27:
      if (code != 0 && code != 2) Bps5_Stub("Error getting file information : error #" + std::to_string(code));
      break;
    case 36:
      if (code != 0 && code != 1121)
        Bps5_Stub("Problem running update engine on Tessel device : error #" + std::to_string(code));
      break;
    case 37:
      if (state == 6) state = 22;
      break;
    default: break;
  }
}

bool Bps5_StopProgram(const std::string& programPath) {
  return timed("Bps5_StopProgram", 6, 22, [&] { engine().stopProgram(kDevice, programPath); });
}

bool Bps5_CopyToPsionAndWait(const std::string& pcPath, const std::string& devicePath) {
  return timed("Bps5_CopyToPsionAndWait", 8, 19, [&] { engine().copyFile(kPC, pcPath, kDevice, devicePath, 1); });
}

bool Bps5_CreateDirAndWait(const std::string& folder) {
  return timed("Bps5_CreateDirAndWait", 11, 13, [&] { engine().createFolder(kDevice, folder); });
}

bool Bps5_KillDirectory(const std::string& folder) {
  return trapped("Bps5_KillDirectory", [&] {
    Bps5Link().Bps5_EngineState = 12;
    engine().deleteFolder(kDevice, folder);
    if (!waitFor(14)) return false;
    Bps5Link().Bps5_EngineState = 11;
    engine().createFolder(kDevice, folder);
    return waitFor(13);
  });
}

bool Bps5_GotDrives(const std::string& driveList) {
  return trapped("Bps5_GotDrives", [&] {
    PsionTransferState& s = Bps5Link();
    for (size_t at = 0; at < driveList.size() && s.Bps5_DriveCount < 10; at += 4) {
      s.Bps5_CurrentDrive = driveList.substr(at, 3);
      s.Bps5_DriveInfo = engine().driveDetails(kDevice, s.Bps5_CurrentDrive);
      s.Bps5_EngineState = 15;
      // The details have no time limit: the engine always answers a drive query.
      // Without a message loop nothing could ever arrive.
      while (!s.Bps5_DriveInfoArrived && s.yield) yieldOnce();
      s.Bps5_DriveInfoArrived = false;
    }
    const std::string stored = Breg_GetRegSetting("Settings", "Ref2Loc");
    if (!stored.empty()) {
      if (s.page) {
        s.page->setInfo(
            "The reference section on the device will be updated \r\n\r\nPlease ensure the viewer program on the "
            "device is not running before pressing 'Next' to begin updating");
        if (!s.page->selectDrive(stored)) return false;
      }
    }
    s.Bps5_DriveCount = 0;
    return true;
  });
}

void Bps5_GotDriveInfo(int32_t code) {
  trapped("Bps5_GotDriveInfo", [&] {
    PsionTransferState& s = Bps5Link();
    if (code == 0 && s.Bps5_DriveCount <= 10 &&
        (Bset().Bset_RefPlat2 != 32 || paths::equalsIgnoreCase(s.Bps5_CurrentDrive, "M:\\"))) {
      const PsionDriveDetails& d = s.Bps5_DriveInfo;
      const double needed = double(Bps5_FreeSpaceRequired()) + 200;
      const bool grey = needed >= d.freeSpace || d.freeSpace < 1;
      const int64_t freeBytes = d.freeSpace > 0 ? static_cast<int64_t>(std::min(d.freeSpace, 9.0e18)) : 0;
      if (s.page) {
        s.page->addDriveRow(s.Bps5_CurrentDrive, s.Bps5_CurrentDrive + " ( " + d.name + " )",
                            Bps5_FormatFreeSpace(freeBytes), std::to_string(freeBytes), grey);
        if (!grey && s.Bps5_CurrentDrive == Breg_GetRegSetting("Settings", "Ref2Loc"))
          s.page->selectDrive(s.Bps5_CurrentDrive);
      }
      ++s.Bps5_DriveCount;
    }
    s.Bps5_DriveInfoArrived = true;
  });
}

void Bps5_SelectDrive(const std::string& key) {
  trapped("Bps5_SelectDrive", [&] {
    PsionTransferState& s = Bps5Link();
    if (s.page && s.page->driveGrey(key)) {
      s.page->clearSelection();
      if (!s.Bps5_ChosenDrive.empty()) s.page->selectDrive(s.Bps5_ChosenDrive);
      return;
    }
    s.Bps5_ChosenDrive = key;
    Breg_WriteRegSettings("Settings", "Ref2Loc", key);
  });
}

std::string Bps5_GetRefLocation() { return Breg_GetRegSetting("Settings", "Ref2Loc"); }

bool Bps5_CopyMenuFile() {
  try {
    const std::string pc = paths::appPath() + "\\menu.mnu";
    writeWholeFile(paths::resolve(pc), "");
    const int16_t code = Bset().Bset_RefPlat2;
    const std::string device = series5(code) ? "C:\\system\\apps\\mappa\\menu.mnu"
                               : code == 32  ? "M:\\app\\mappa\\menu.mnu"
                                             : "";
    return Bps5_CopyToPsionAndWait(pc, device);
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    Bps5_Stub("Failed to copy menu.mnu file");
    return false;
  }
}

bool Bps5_Psion5Handler() {
  return trapped("Bps5_Psion5Handler", [] {
    PsionTransferState& s = Bps5Link();
    if (!Bupd_UpdateRun())
      message("Please ensure the Mappa program is closed on your Psion device before clicking on OK to continue",
              mb::Exclamation);
    if (s.page && s.page->installViewer()) {
      Bps5_MakeSISInstallation();
      Bps5_InstallSIS();
    }
    const Psion5RefState& p = Bps5();
    if (Bps5_OutputReferenceSection(1, p.Bps5_MenuFileName, p.Bps5_PlatformFolder, true) == 0) {
      Bps5_Stub("Failed to copy files");
      return false;
    }
    if (!Bps5_StopProgram("C:\\System\\Apps\\KestMenu\\MenuDisplay.opo")) {
      Bps5_Stub("Failed to stop viewer program on device");
      return false;
    }
    if (!Bps5_CopyMenuFile()) {
      Bps5_Stub("Failed to copy files");
      return false;
    }
    return finish();
  });
}

bool Bps5_Psion3Handler() {
  return trapped("Bps5_Psion3Handler", [] {
    PsionTransferState& s = Bps5Link();
    if (!Bupd_UpdateRun())
      message("Please ensure the Mappa program is closed on your Psion 3 before clicking on OK to continue",
              mb::Exclamation);
    const bool viewer = s.page && s.page->installViewer();
    if (viewer && !Bps5_InstallPsion3Program()) {
      Bps5_Stub("Failed to install program");
      return false;
    }
    const Psion5RefState& p = Bps5();
    if (Bps5_OutputReferenceSection(1, p.Bps5_MenuFileName, p.Bps5_PlatformFolder, true) == 0 || !Bps5_CopyMenuFile()) {
      Bps5_Stub("Failed to copy files");
      return false;
    }
    if (!Bupd_UpdateRun() && s.page) s.page->setProgressToMaximum();
    if (viewer)
      message(
          "To complete the installation of the Mappa viewer, go to the System screen on your Psion 3, press "
          "'Psion + I' and select 'Mappa.opa'",
          mb::Information);
    return finish();
  });
}

}  // namespace pellary
