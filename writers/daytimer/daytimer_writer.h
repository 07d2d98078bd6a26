// The Day-Timer Organizer writer and its page: entries go into a Day-Timer
// database through its database object; no entry ID is kept, a delete finds
// its entry by day and title.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/hook.h"
#include "standins/daytimer/daytimer_db.h"
#include "writers/event_record.h"

namespace pellary {

struct DayTimerState {
  std::shared_ptr<standins::daytimer::DayTimerDatabase> Bdt_DayTimerDB;
  Hook<void(int16_t)> progress;  // pbWritingToDayTimer
  Hook<void()> doEvents;
  Hook<void()> writePass;
  Hook<void()> commit;
  Hook<void()> nextPage;
};

// The Day-Timer writer's state: the open Day-Timer database and the page's progress and next-step hooks.
DayTimerState& Bdt();
void resetBdt();

// The recent databases of daytimer.ini: the list rows (ending in "Other
// unlisted database..."), and per listed row its folder and user name.
struct DayTimerLists {
  std::vector<std::string> rows;
  std::vector<std::string> folders;
  std::vector<std::string> users;
};
inline constexpr const char* kOtherDatabase = "Other unlisted database...";

DayTimerLists Bdt_AddFilesToListbox(const std::string& iniPath);
std::string Bdt_GetLastDBPath();
bool Bdt_SetCurrentDB(platform::Dispatch& database, const std::string& path, const std::string& user,
                      const std::string& dbPassword, const std::string& userPassword);
bool Bdt_ConfirmSelections(const std::string& path);
void Bdt_RunWrite(std::shared_ptr<standins::daytimer::DayTimerDatabase> database);

int32_t Bdt_WriteToDayTimer(RelayEventRecord& record, int16_t& percent);
void Bdt_RemoveFromDayTimer(RelayEventRecord& record, int16_t& percent);

// The entry text the add stores.
std::string Bdt_EntryText(const RelayEventRecord& record);

}  // namespace pellary
