// The event processor: from the final selection and the profile lists, the
// entries to add, change and delete; listed (preview) or written (write
// pass). Its state, and the row helpers the public-holiday writer shares.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/profile_lists.h"
#include "platform/dao/recordset.h"
#include "writers/event_record.h"

namespace pellary {

void Bplp_CentralWriter(bool preview);

// What the update pass does with an event of a changed category; the values
// are the preview's action codes.
enum class UpdateAction : int16_t {
  Keep = 0,     // as it stands
  Add = 1,      // written for the first time
  Remove = 2,   // taken off the target
  Rewrite = 4,  // taken off and written again as the row reads now
};
struct UpdateDecision {
  UpdateAction action = UpdateAction::Keep;
  bool leftOut = false;  // a removal leaves the event unticked (Status 1), not unchosen (0)
};
// What the decision needs of the event's row and its profile records.
struct UpdateFacts {
  int16_t status = 0;          // the event's profile Status
  int16_t writtenVersion = 0;  // the version the target holds, 0 for none
  int16_t rowVersion = 0;      // the version of the row
  bool aboveLevel = false;     // the row's priority is above what its category takes
  bool categoryStars = false;  // the category marks longer events with "*"
};
// outsideWindow tells whether the row's dates fall outside the category's
// window; it is asked only when the answer decides (it reads the profile and
// may report an error).
UpdateDecision decideUpdate(const UpdateFacts& facts, const std::function<bool()>& outsideWindow);

struct ProcessorState {
  // Preview rows of the last preview pass: the percentage's denominator.
  int32_t Bplp_TotalCount = 0;
  // Entries handled by write passes since the program started.
  int32_t Bplp_DoneCount = 0;
  std::string stage;
  RelayEventRecord record;
  int16_t percent = 0;
  // Stand in for the relays' writers when set (tests and benchmarks).
  std::function<std::string(RelayEventRecord&, int16_t&)> writeOverride;
  std::function<void(RelayEventRecord&, int16_t&)> deleteOverride;
};
// The event processor's state: the preview and done counts, the stage for error reports, the entry being relayed.
ProcessorState& Bplp();
void resetProcessorState();

// done / total x 100, rounded half to even, capped at 100; 100 when nothing was counted.
int16_t progressPercent(int32_t done, int32_t total);

// The entry-ID string split at the first "^": the main ID and the tickets ID.
std::string mainEntryID(const std::string& ids);
std::string ticketsEntryID(const std::string& ids);

// Helpers shared by the central writer and the public-holiday writer.
namespace rows {
// A column of the current row; Null reads as "" or 0.
std::string text(const dao::Recordset& rs, const char* name);
double date(const dao::Recordset& rs, const char* name);
int32_t number(const dao::Recordset& rs, const char* name);
// An older version of an event, kept only for the titles of delete records:
// it neither adds nor removes anything by itself.
bool retired(const dao::Recordset& rs);
// "Cancelled: ", "Postponed: ", "Updated: " for Action 1, 2, 3, with the status bit.
std::string actionPrefix(int32_t action, int16_t& bit);
// One more entry handled: the done count and the percentage.
void countOne();
// The event's profile record, appended (Status 2, Version 0) when it has none.
ProfileEventRecord& findOrAppend(int32_t eventID, int32_t catID);
// Title, entry ID and start date of the entry as it was written.
void buildDeleteRecord(const ProfileEventRecord& p, dao::Recordset& r, int32_t eventID);
// Removes the main entry and, when one was written, the tickets entry;
// after is the record as it stands once they are gone.
void relayDeletes(const ProfileEventRecord& p, const ProfileEventRecord& after);
// Stores the event's record as the target now holds it, for targets whose
// entries land one by one (a batched target's file changes only at its end).
void recordEntry(const ProfileEventRecord& p);
// The record as it will stand once the next relay lands (same targets).
void intendEntry(const ProfileEventRecord& p);
}  // namespace rows

}  // namespace pellary
