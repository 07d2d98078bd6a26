// The final selection: four cursors over Event built from the profile
// category list (events to add, to delete, to re-check, public holidays), and
// the date rule that places an event against a category's window. The
// cursors live in the databank access state (core/database_access.h).
#pragma once

#include <cstdint>
#include <string>

#include "core/database_access.h"

namespace pellary {

// The class of a profile category in the final selection.
enum class CategoryClass { None, PublicHoliday, Write, Delete, Update };
CategoryClass categoryClassOf(int16_t status, int16_t catSetting);

void Bsql_SetFinalRecordSelection();

// 0 outside the window, 1 a one-day event inside it, 2 a longer event touching
// it beyond the length threshold, 3 one touching it within the threshold.
// position is a 1-based category position, or 0 for no category.
int16_t Bsql_ValidateDate(double startDate, double endDate, int32_t position);

// Calendar arithmetic of the threshold units.
double addDays(double date, int32_t days);
double addMonths(double date, int32_t months);

}  // namespace pellary
