#include "support/stored_profile.h"

#include <string>

#include "core/entry_journal.h"

namespace pellary::testing {

std::map<long, StoredEvent> storedProfileEvents(dao::Database& db, long profileID) {
  std::map<long, StoredEvent> out;
  dao::Recordset rs = db.openRecordset("SELECT * FROM ProfileEventList WHERE ProfileID = " + std::to_string(profileID));
  for (; !rs.eof(); rs.moveNext())
    out[rs["EventID"].value().toLong()] = {rs["CatID"].value().toLong(), rs["Status"].value().toLong(),
                                           rs["AddStatus"].value().toLong()};
  for (const EntryJournal::Row& r : pendingEntryRows(db.path())) {
    if (r.profileID != profileID) continue;
    if (r.status == 0)
      out.erase(r.eventID);
    else
      out[r.eventID] = {r.catID, r.status, 0};
  }
  return out;
}

}  // namespace pellary::testing
