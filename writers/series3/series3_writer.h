// The Series 3 Agenda writer and its page: the agenda file is copied from the
// device to the program folder through the PsiWin engine, entries are added
// and marked deleted in the copy through Quoll, and the copy goes back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/automation/dispatch.h"
#include "platform/hook.h"
#include "writers/event_record.h"

namespace pellary {

// What the writer shows on its page; the page implements it, tests record it.
class Psion3View {
 public:
  virtual ~Psion3View() = default;
  virtual void setStatus(const std::string& text) = 0;  // first panel of the status bar
  virtual void setNextEnabled(bool enabled) = 0;
  virtual void setProgress(int16_t percent) = 0;
  virtual void showProgress() = 0;
  virtual void setDefaultPointer() = 0;
};

// Engine state codes.
inline constexpr int32_t kPsiCopyAwaited = 8;
inline constexpr int32_t kPsiCopyDone = 19;
inline constexpr int32_t kPsiFailed = 23;

struct Psion3State {
  std::string agendaFile;   // on the device; setting PsionAgendaFile
  std::string messagePath;  // the device path as the engine's messages name it
  std::string pcPath;       // program folder + "\Psi3.agn"
  int32_t stateCode = 0;
  std::shared_ptr<platform::Dispatch> engine;  // PsiWin3Eng
  std::shared_ptr<platform::Dispatch> quoll;   // Psion3Agenda
  Psion3View* view = nullptr;
  // Waits give up after these many seconds.
  int32_t toPcLimit = 400;
  int32_t toDeviceLimit = 600;
  // Seconds since midnight; never empty (a clock that reads 0 would keep a
  // wait from ending).
  std::function<double()> timer;
  // Lets pending window messages (and the engine's events) run once.
  Hook<void()> doEvents;
  // The central writer's write pass and the profile write-back.
  Hook<void()> writePass;
  Hook<void()> commit;
};

// The Series 3 writer's state: the agenda's device and PC paths, the PsiWin engine and Quoll, the wait limits.
Psion3State& Bps3();
// Fresh module state with the default hooks.
void resetBps3();

int32_t Bps3_AddEvent(RelayEventRecord& record, int16_t& percent);
void Bps3_DelEvent(RelayEventRecord& record, int16_t& percent);

void Bps3_SetAgendaFile(const std::string& path);
bool Bps3_psion3Handler();
void Bps3_PsiWinError(const std::string& message);
// Each character the Series 3 shows from code page 850 becomes the character
// whose Windows-1252 code is its code page 850 byte, so that Quoll's
// conversion to Windows-1252 writes the code page 850 byte.
std::string Bps3_SpecialChar(const std::string& text);
// The memo in the compact handheld layout (before conversion).
std::string Bps3_NoteText(const RelayEventRecord& record);

// The page's load: creates the engine and Quoll controls when missing, wires
// the engine's events to Bps3_EngineEvent and starts the engine.
void Bps3_LoadControls();
// The page's handlers of the engine's events.
void Bps3_EngineEvent(int16_t event, int32_t code);

}  // namespace pellary
