// Module state of the databank access procedures: the current category and
// preview cursor of the category selection and previews, and the four cursors
// the final selection opens. Reset between runs and tests.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dao/recordset.h"

namespace pellary {

// One state for the whole program.
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

// The databank queries' state: the category in hand, the preview and final selection cursors.
DatabaseAccess& Bsql();
void resetDatabaseAccess();

}  // namespace pellary
