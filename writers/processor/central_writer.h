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
