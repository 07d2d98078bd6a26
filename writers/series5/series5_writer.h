// The Series 5 Agenda writer and its page: entries go straight into the agenda
// file on the connected device through PsiWin's agenda object, each add giving
// back the entry's ID for the profile.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/automation/dispatch.h"
#include "platform/hook.h"
#include "writers/event_record.h"

namespace pellary {

class Psion5View {
 public:
  virtual ~Psion5View() = default;
  virtual void setNextEnabled(bool enabled) = 0;
  virtual void setProgress(int16_t percent) = 0;
  virtual void setProgressVisible(bool visible) = 0;
  virtual void setDefaultPointer() = 0;
};

struct Psion5State {
  std::string version;     // "2.1", "2.2" or empty
  std::string agendaFile;  // setting PsionAgendaFile
  std::shared_ptr<platform::Dispatch> agendaClass;
  std::shared_ptr<platform::Dispatch> agenda;
  int32_t stateCode = 0;
  std::shared_ptr<platform::Dispatch> engine;  // PsiWinEng
  Psion5View* view = nullptr;
  Hook<void()> writePass;
  Hook<void()> commit;
};

// The Series 5 writer's state: the agenda file and its objects, the PsiWin engine and the page.
Psion5State& Bpsi();
void resetBpsi();

std::string Bpsi_AddEvent(RelayEventRecord& record, int16_t& percent);
void Bpsi_DelEvent(RelayEventRecord& record, int16_t& percent);

void Bpsi_SetAgendaFile(const std::string& path);
bool Bpsi_psion5Handler();
void Bpsi_Failure(const std::string& message);
// The entry's note in the compact handheld layout.
std::string Bpsi_NoteText(const RelayEventRecord& record);

// The page's load: the engine control, its events wired to Bpsi_EngineEvent,
// and its start.
void Bpsi_LoadControls();
void Bpsi_EngineEvent(int16_t event, int32_t code);

}  // namespace pellary
