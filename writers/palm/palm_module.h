// The Palm module's shared part: the chosen HotSync user, the Palm Desktop
// paths, and the Palm reference output (the "KestOrry.cdi" table, the viewer's
// conduit registration, the HotSync restart and the viewer installation). The
// Date Book writer and both Palm pages build on it; everything Palm lives in
// this folder and depends only on the layers below.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/automation/dispatch.h"

namespace pellary {

// The most records the reference table can number (three digits each); a
// larger choice is cut to it, with a message saying how many topics went.
inline constexpr int32_t kMostTableRecords = 999;

struct PalmModuleState {
  int32_t Bpm_PalmUserID = 0;
  // The reference walk's queue of (template ID, record number) pairs.
  std::vector<std::pair<int32_t, int32_t>> queue;
  int16_t queueCount = 0;
  int16_t queueRead = 0;
  std::pair<int32_t, int32_t> currentPair{0, 0};
  // Starts a desktop tool ("condreg.exe", "RestartHS.exe"). The default hands
  // it to the Palm Desktop stand-in, which records it.
  std::function<int32_t(intptr_t window, const std::string& file, const std::string& operation,
                        const std::string& parameters, int32_t show)>
      shellExecute;
};
PalmModuleState& Bpm();
void resetPalmModule();

int32_t& Bpm_PalmUserID();
// PalmUserID of section User: its number, 0 when empty; not a number is reported.
void Bpm_GetUserIDFromRegistry();
void Bpm_SavePalmUserID();

// The HotSync program's folder with its trailing separator; raises 9 when the
// stored HotSyncPath has no folder part.
std::string Bpm_GetHotSyncDir();
// The Palm Desktop folder that holds one folder per user.
std::string Bpm_GetDesktopPath();
// The user's folder name below the desktop folder; empty when the user-data
// control does not know the user.
std::string Bpm_GetUserName(int32_t userID);

void Bpm_enQueue(int32_t a, int32_t b);
void Bpm_deQueue();
// Writes the table into the program folder's Palm folder and copies it into
// the chosen user's Brackwater\Mappa folder.
void Bpm_OutputPalmReference(const std::string& sourceFolder, int32_t rootTemplateID);
void Bpm_PalmReferenceHandler();
void Bpm_RegisterRefConduit();
void Bpm_RestartHotsync();
// Traps nothing: a failing status is raised to the caller.
void Bpm_InstallRefViewer(int32_t userID);

// What the writer uses of the Palm reference page while the page table holds
// it; the pages library connects loadedPalmRefPage, and the function
// gives nothing while the table holds no such page.
struct PalmRefPage {
  std::shared_ptr<platform::Dispatch> userData, hotSyncApi;
  intptr_t window = 0;
};
std::function<std::optional<PalmRefPage>()>& loadedPalmRefPage();

// The Palm reference page's controls: those of the loaded page, else controls
// of the module's own (the page need not be shown for the writer to use them).
std::shared_ptr<platform::Dispatch> palmRefUserData();
std::shared_ptr<platform::Dispatch> palmRefHotSyncApi();
intptr_t palmRefWindow();
// Creates a Palm control by class name, registering the Palm Desktop
// stand-in's classes when nothing else has.
std::shared_ptr<platform::Dispatch> createPalmControl(const std::string& className);

}  // namespace pellary
