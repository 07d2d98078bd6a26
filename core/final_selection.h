// The final selection: four cursors over Event built from the profile
// category list (events to add, to delete, to re-check, public holidays), and
// the date rule that places an event against a category's window.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dao/recordset.h"

namespace pellary {

// Module state of the databank access procedures.
struct DatabaseAccess {
  // The current category (category selection, previews).
  int32_t Bsql_CurrentCatID = 0;
  int16_t Bsql_CurrentCatSetting = 0;
  dao::Recordset Bsql_rsPreview;
  int32_t Bsql_EventCount = 0;  // wider than the 16 bits it once had: big categories count
  std::string Bsql_PreviewNodeKey;
  int16_t Bsql_CategoryBits = 0;

  // The final selection; a cursor not opened is a closed Recordset.
  dao::Recordset Bsql_rsWrite, Bsql_rsDelete, Bsql_rsUpdate, Bsql_rsPubHol;
  bool Bsql_HaveNewEvents = false;
  bool Bsql_HaveDeletions = false;
  bool Bsql_HaveUpdates = false;
  bool Bsql_HavePubHols = false;
  // The category lists of the last call, as "(CatID = n) OR ..." texts.
  std::string writeList, deleteList, updateList, pubHolList;
};

DatabaseAccess& Bsql();
void resetDatabaseAccess();

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
