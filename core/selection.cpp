#include "core/selection.h"

#include "core/databank.h"
#include "core/database_access.h"
#include "core/field_values.h"
#include "core/final_selection.h"
#include "core/profile_lists.h"
#include "core/screen_link.h"
#include "core/status_bits.h"
#include "core/tree_keys.h"
#include "core/tree_view.h"
#include "core/writer_helpers.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"

namespace pellary {

namespace {
// One week, longer events marked with "*".
constexpr int16_t kNewCategoryDuration = duration::Star | duration::OneWeek;
}  // namespace

std::string countPrefix(int32_t count, int32_t total) {
  return "(" + std::to_string(count) + " of " + std::to_string(total) + ") ";
}

void Bsql_SetSingleNodePreview(const std::string& key) {
  trapped("Bsql_SetSingleNodePreview", [&] {
    DatabaseAccess& q = Bsql();
    q.Bsql_CurrentCatID = catIDOfCategoryKey(key);
    q.Bsql_CurrentCatSetting = settingOfCategoryKey(key);
    if (q.Bsql_rsPreview.isOpen()) q.Bsql_rsPreview.close();
    q.Bsql_rsPreview = Bsql_DataBank().openRecordset(
        std::string("SELECT Event.*, EventCat.CatID, Products.ProgProductID ") +
        "FROM Event, EventCat, Tertiary, Products, Primary WHERE Event.EventID = EventCat.EventID AND " +
        "EventCat.CatID = Tertiary.CatID AND Tertiary.PID = Primary.PID AND Primary.ProductID = Products.ProductID AND " +
        "(EventCat.CatID= " + std::to_string(q.Bsql_CurrentCatID) + ")  ORDER BY Event.StartDate ASC");
    // A category without events has no rows to move to.
    ignoring(err::DbNoCurrentRecord, [&] {
      q.Bsql_rsPreview.moveLast();
      q.Bsql_rsPreview.moveFirst();
    });
    q.Bsql_EventCount = 0;
  });
}

void Bsql_AddToProfileCatList(int16_t catSetting) {
  trapped("Bsql_AddToProfileCatList", [&] {
    int32_t catID = Bsql().Bsql_CurrentCatID;
    if (Bsda_GetCatIDIndex(catID) == 0) Bsda_AddToProfileCatList(catID, 0, kNewCategoryDuration, 0, 0, catSetting);
  });
}

void Bsql_AddToCategorySelection(const std::string& key) {
  trapped("Bsql_AddToCategorySelection", [&] {
    int32_t catID = catIDOfCategoryKey(key);
    Bsql_AddToProfileCatList(settingOfCategoryKey(key));
    int32_t pos = catPosition(catID);
    if (pos == 0) return;
    int16_t& status = Bsda().Bsda_ProfileCatList[pos].Status;
    using namespace catstate;
    if (status == NotSelected)
      status = Added;
    else if (!(status & Removed))
      status = static_cast<int16_t>((status & OptionMask) | Added);
    else
      status = static_cast<int16_t>((status & OptionMask) | InProfile);
  });
}

void Bsql_RemoveFromCategorySelection(const std::string& key) {
  trapped("Bsql_RemoveFromCategorySelection", [&] {
    int32_t pos = catPosition(catIDOfChosenKey(key));
    if (pos == 0) return;
    int16_t& status = Bsda().Bsda_ProfileCatList[pos].Status;
    using namespace catstate;
    if (status & InProfile)
      status = static_cast<int16_t>((status & OptionMask) | Removed);
    else
      status = static_cast<int16_t>(status & OptionMask);
  });
}

int32_t Bsql_CountActiveRecords() {
  return trapped("Bsql_CountActiveRecords", [&]() -> int32_t {
    DatabaseAccess& q = Bsql();
    ProfileLists& s = Bsda();
    dao::Recordset& rs = q.Bsql_rsPreview;
    q.Bsql_EventCount = 0;
    int32_t count = 0;
    if (!rs.isOpen() || rs.recordCount() == 0) return 0;
    rs.moveFirst();
    const bool holidays = q.Bsql_CurrentCatSetting & catsetting::PublicHoliday;
    for (; !rs.eof(); rs.moveNext()) {
      int32_t eventID = longOf(rs["EventID"]);
      int32_t ev = eventPosition(eventID);
      int32_t eventCat = q.Bsql_CurrentCatID;
      int16_t eventStatus = evstate::Added;
      std::string storedList;
      if (ev != 0) {
        const ProfileEventRecord& r = s.Bsda_ProfileEventList[ev];
        eventCat = r.CatID;
        eventStatus = r.Status;
        storedList = s.holidayList(r.PubHol);
      }
      int32_t cat = catPosition(eventCat);
      if (cat == 0) cat = catPosition(q.Bsql_CurrentCatID);
      bool inWindow = Bsql_ValidateDate(dateOf(rs["StartDate"]), dateOf(rs["EndDate"]), cat) != 0;
      if (!holidays) {
        int16_t code = cat != 0 ? Bplp_CheckPriority(s.Bsda_ProfileCatList[cat].Status) : Bplp_CheckPriority(0);
        bool admitted = shortOf(rs["Priority"]) <= code || (eventStatus & evstate::ChosenByHand);
        if (admitted && inWindow && !(eventStatus & (evstate::LeftOut | evstate::InProfile | evstate::Removed)))
          ++count;
      } else {
        std::string current = Bplp_PubHolLookup(eventID, q.Bsql_CurrentCatID);
        if (!current.empty()) current = current.substr(current.find('|') + 1);
        int16_t change = Bplp_ArrayCompare(storedList, current, 0, 0);
        if (change != 0 && !(eventStatus & (evstate::LeftOut | evstate::Removed)) && inWindow) ++count;
      }
      if (inWindow) ++q.Bsql_EventCount;
    }
    return count;
  });
}

void Bsql_ReCountEvents() {
  trapped("Bsql_ReCountEvents", [&] {
    TreeView* tree = screenLink().tvSelectedItems;
    const std::string& key = Bsql().Bsql_PreviewNodeKey;
    if (!tree || !tree->exists(key)) return;
    if (tree->text(key).rfind("(", 0) != 0) return;
    int32_t count = Bsql_CountActiveRecords();
    std::string caption = screenLink().currentCategoryCaption();
    tree->setText(key, countPrefix(count, Bsql().Bsql_EventCount) + caption);
  });
}

}  // namespace pellary
