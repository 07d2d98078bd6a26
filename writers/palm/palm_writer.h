// The Palm Date Book writer and the update run's two Palm entries. The chosen
// user, the desktop paths and the reference output are the module's shared
// part (writers/palm/palm_module.h).
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "platform/hook.h"
#include "writers/event_record.h"
#include "writers/palm/palm_module.h"

namespace pellary {
void Bpm_WritePalmRecord(RelayEventRecord& record, int16_t& percent);
void Bpm_DeletePalmRecord(RelayEventRecord& record, int16_t& percent);
// Puts the HotSync folder on the process's search path.
void Bpm_SetPilotPath();
// The update run's entries for the Palm targets.
bool Bpm_SilentDates();
bool Bpm_SilentReference();

// The Date Book writer's state: the exchange file while it is open, and what
// the Palm page lends the writer.
struct PalmWriterState {
  std::string exchangePath;
  std::unique_ptr<std::ofstream> exchange;
  int16_t fileNumber = 0;
  // The Palm page's progress bar, hourglass and backup check box; unset when
  // the page is not loaded (the backup is then made, as the box starts ticked).
  std::function<void(int16_t)> setProgress;
  Hook<void(bool busy)> setBusy;
  std::function<bool()> backupChecked;
  const void* page = nullptr;  // the page that set the three above
  // The central writer's write pass and the profile commit; tests replace them.
  std::function<void()> writePass;
  std::function<void()> commitProfile;
};
// The Palm Date Book writer's state: the exchange file being written and the Palm page's hooks.
PalmWriterState& BpmWriter();
void resetPalmWriter();

// The exchange file's record bytes (also used by the writer).
std::string palmAddRecord(const RelayEventRecord& record);
std::string palmDeleteRecord(const RelayEventRecord& record);
// The note text of an add record, UTF-8.
std::string palmNoteText(const RelayEventRecord& record);

void Bpm_OpenPalmUpdateFile();
void Bpm_ClosePalmUpdateFile();
void Bpm_CallConduit(const std::string& datebookPath, const std::string& exchangePath);
// The whole Palm write; false when the user cancelled at the Date Book prompt.
bool Bpm_PalmHandler(int32_t userID);
}  // namespace pellary
