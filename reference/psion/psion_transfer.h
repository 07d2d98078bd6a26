// Everything the Psion reference page does on the device, through the PsiWin
// engine control: the engine's answers become a state code that the timed
// operations poll; the drive list with its space check; the copies that Next
// starts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/hook.h"
#include "reference/psion/psion_section.h"

namespace pellary {

// The drive-details object of a drive (GetName, GetSize, GetDevFreeSpace).
struct PsionDriveDetails {
  std::string name;
  double size = 0;
  double freeSpace = 0;
};

// The engine control (PsiWinEngRef) as the page calls it; locations are 1 for
// the PC and 2 for the device. Answers come back through Bps5_EngineEvent.
class PsionEngineControl {
 public:
  virtual ~PsionEngineControl() = default;
  virtual void start() = 0;                                                            // 1 -> event 9
  virtual void connect(int32_t timeout) = 0;                                           // 2 -> event 10
  virtual void requestDriveList(int16_t side) = 0;                                     // 10 -> event 26
  virtual PsionDriveDetails driveDetails(int16_t side, const std::string& drive) = 0;  // 11 -> event 17
  virtual void copyFile(int16_t fromSide, const std::string& from, int16_t toSide, const std::string& to,
                        int32_t overwrite) = 0;                            // 5 -> event 11
  virtual void deleteFolder(int16_t side, const std::string& folder) = 0;  // 9 -> event 19
  virtual void createFolder(int16_t side, const std::string& folder) = 0;  // 13 -> event 20
  virtual void stopProgram(int16_t side, const std::string& path) = 0;     // 30 -> event 37
};

// What the transfer drives of the page.
class PsionPageView {
 public:
  virtual ~PsionPageView() = default;
  // A row of lstDrives: key, text, "Free space" and "Freespace" cells; grey rows are too small.
  virtual void addDriveRow(const std::string& key, const std::string& text, const std::string& freeSpace,
                           const std::string& freeBytes, bool grey) = 0;
  // Selects the row of that key; false when there is none.
  virtual bool selectDrive(const std::string& key) = 0;
  virtual void clearSelection() = 0;
  virtual bool driveGrey(const std::string& key) const = 0;
  virtual void setInfo(const std::string& text) = 0;
  virtual void setNextEnabled(bool enabled) = 0;
  virtual void normalPointer() = 0;
  virtual bool installViewer() const = 0;
  virtual void setProgressToMaximum() = 0;
};

struct PsionTransferState {
  int32_t Bps5_EngineState = 0;
  std::string Bps5_CurrentDrive;
  PsionDriveDetails Bps5_DriveInfo;
  int16_t Bps5_DriveCount = 0;
  bool Bps5_DriveInfoArrived = false;
  std::string Bps5_ChosenDrive;
  PsionEngineControl* engine = nullptr;
  PsionPageView* page = nullptr;
  // Lets pending events run once (the engine's answers among them).
  Hook<void()> yield;
  // Seconds; the waits' clock.
  std::function<double()> clock;
  double timeLimit = 300;
};

// The Psion link's state: the engine's state and the device's drives as the engine reported them.
PsionTransferState& Bps5Link();
void resetPsionTransfer();

// The engine's events by position; text is the drive list of event 26.
void Bps5_EngineEvent(int16_t event, int32_t code, const std::string& text = {});

int32_t Bps5_GetEngineState();
void Bps5_SetEngineState(int32_t state);
bool Bps5_StopProgram(const std::string& programPath);
bool Bps5_CopyToPsionAndWait(const std::string& pcPath, const std::string& devicePath);
bool Bps5_CreateDirAndWait(const std::string& folder);
bool Bps5_KillDirectory(const std::string& folder);
bool Bps5_GotDrives(const std::string& driveList);
void Bps5_GotDriveInfo(int32_t code);
void Bps5_SelectDrive(const std::string& key);
bool Bps5_Psion5Handler();
bool Bps5_Psion3Handler();
bool Bps5_CopyMenuFile();
std::string Bps5_GetRefLocation();

// The timed operations as the section copy's device.
class PsionEngineDeviceOps : public PsionDeviceOps {
 public:
  bool killDirectory(const std::string& f) override { return Bps5_KillDirectory(f); }
  bool copyToPsionAndWait(const std::string& pc, const std::string& dev) override {
    return Bps5_CopyToPsionAndWait(pc, dev);
  }
  bool createDirAndWait(const std::string& f) override { return Bps5_CreateDirAndWait(f); }
  bool stopProgram(const std::string& p) override { return Bps5_StopProgram(p); }
};

}  // namespace pellary
