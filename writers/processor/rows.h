// Helpers shared by the central writer and the public-holiday writer.
#pragma once

#include <cstdint>
#include <string>

#include "core/profile_lists.h"
#include "platform/dao/recordset.h"

namespace pellary::rows {
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
}  // namespace pellary::rows
