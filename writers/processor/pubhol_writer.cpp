#include "writers/processor/pubhol_writer.h"

#include "core/final_selection.h"
#include "core/profile_lists.h"
#include "core/writer_helpers.h"
#include "platform/errors.h"
#include "writers/processor/central_writer.h"
#include "writers/processor/final_preview.h"
#include "writers/processor/relay.h"

namespace pellary {

using namespace rows;

void Bplp_PubHolCentralWriter(bool preview) {
  trapped("Bplp_PubHolCentralWriter", [&] {
    ProcessorState& s = Bplp();
    dao::Recordset& rs = Bsql().Bsql_rsPubHol;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
      s.record.clear();
      if (retired(rs)) continue;
      int32_t eventID = number(rs, "EventID");
      const int32_t action = number(rs, "Action");
      findOrAppend(eventID, 0);
      const int32_t pos = eventPosition(eventID);
      const ProfileEventRecord before = Bsda().event(pos);
      const int16_t st = before.Status;
      const int16_t rowVersion = static_cast<int16_t>(number(rs, "Version"));

      std::string countries, newList;
      std::string found = Bplp_PubHolLookup(eventID);
      if (!found.empty()) {
        size_t bar = found.find('|');
        countries = found.substr(0, bar);
        newList = bar == std::string::npos ? std::string() : found.substr(bar + 1);
      }
      int16_t c = Bplp_ArrayCompare(newList, Bsda().holidayList(before.PubHol), before.Version, rowVersion);
      if ((st & (evstate::LeftOut | evstate::Removed)) && !(st & evstate::ChosenByHand)) c = 0;
      if (Bsql_ValidateDate(date(rs, "StartDate"), date(rs, "EndDate"), 0) == 0) c = 0;

      if (c == 2 || c == 4) {
        s.stage = "Update-deleting";
        buildDeleteRecord(before, rs, eventID);
        if (preview) {
          if (c == 2) {
            int16_t kind = 2;
            Bint_WriteToFinalPreview(s.record, kind, eventID);
            ++s.Bplp_TotalCount;
          }
        } else {
          ProfileEventRecord gone = before;
          gone.Status = 0;
          if (c == 2) gone.PubHol = Bsda_AddHolidayList(newList);
          intendEntry(gone);
          Bplp_DeleteRelay(s.record, s.percent);
          if (c == 4) recordEntry(gone);
        }
      }

      int16_t x = 0;
      std::string ids;
      double dateUsed = 0;
      if (c == 1 || c == 4) {
        s.stage = "Update-adding";
        RelayEventRecord& rec = s.record;
        rec.clear();
        std::string memo = text(rs, "Memo");
        rec.Memo = memo.empty() ? countries : memo + "\r\n" + countries;
        rec.Title = actionPrefix(action, x) + text(rs, "Title");
        rec.StartDate = date(rs, "StartDate");
        rec.EndDate = date(rs, "EndDate");
        rec.URL = text(rs, "URL");
        rec.TelCountry = text(rs, "TelCountry");
        rec.TelPrefix = text(rs, "TelPrefix");
        rec.Tel = text(rs, "Tel");
        rec.OnSale = date(rs, "OnSale");
        if (preview) {
          int16_t kind = c;
          Bint_WriteToFinalPreview(rec, kind, eventID);
          ++s.Bplp_TotalCount;
        } else {
          countOne();
          ProfileEventRecord will = Bsda().event(pos);
          will.Status = static_cast<int16_t>(evstate::InProfile | x);
          will.Version = rowVersion;
          will.DateUsed = rec.StartDate;
          will.AuxDate = 0;
          will.PlatMisc = Bsda_AddPlatMisc("");
          will.PubHol = Bsda_AddHolidayList(newList);
          intendEntry(will);
          ids = Bplp_WriteRelay(rec, s.percent);
          dateUsed = rec.StartDate;
        }
      }

      if (preview || c == 0) continue;
      ProfileEventRecord& p = Bsda().event(pos);
      if (c == 2) {
        p.Status = 0;
      } else {
        // The prefix bit is kept on a first write too, so that the removal
        // finds the entry by the title it was written with.
        p.Status = static_cast<int16_t>(evstate::InProfile | x);
        p.Version = rowVersion;
        p.DateUsed = dateUsed;
        p.AuxDate = 0;
        p.PlatMisc = Bsda_AddPlatMisc(ids);
      }
      p.PubHol = Bsda_AddHolidayList(newList);
      recordEntry(p);
    }
  });
}

}  // namespace pellary
