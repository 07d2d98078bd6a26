#include "core/writer_helpers.h"

#include <strings.h>

#include "core/databank.h"
#include "core/field_values.h"
#include "core/profile_lists.h"
#include "core/status_bits.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/text/collation.h"

namespace pellary {

int16_t Bplp_CheckPriority(int16_t status) {
  bool key = status & catopt::OnlyKey, all = status & catopt::All;
  if (key && all) return 0;
  if (key) return 1;
  if (all) return 3;
  return 2;
}

int16_t Bplp_ArrayCompare(const std::string& newList, const std::string& oldList, int16_t oldVersion,
                          int16_t newVersion) {
  return trapped("Bplp_ArrayCompare", [&]() -> int16_t {
    if (oldVersion != 0 && oldVersion < newVersion) return 4;
    if (newList.size() == oldList.size() && strcasecmp(newList.c_str(), oldList.c_str()) == 0) return 0;
    if (newList.empty()) return 2;
    if (oldList.empty()) return 1;
    return 4;
  });
}

namespace {
// A country counts when it is chosen: in the profile or added this run. A
// record the options dialog made for a country never added is not chosen.
bool countryChosen(int16_t status, int32_t catID, int32_t beingAdded) {
  const int16_t state = status & catstate::StateMask;
  return state == catstate::Added || state == catstate::InProfile || (beingAdded != 0 && catID == beingAdded);
}
}  // namespace

std::string Bplp_PubHolLookup(int32_t eventID, int32_t beingAdded) {
  return trapped("Bplp_PubHolLookup", [&]() -> std::string {
    // Asked once per holiday row of a pass: one statement, kept prepared.
    static const std::string query =
        std::string("SELECT Tertiary.CatID, Tertiary.TertiaryName FROM EventCat, Tertiary ") +
        "WHERE Tertiary.CatID = EventCat.CatID AND EventCat.EventID = ?1 ORDER BY Tertiary.TertiaryName COLLATE " +
        platform::text::kNameCollation + " ASC";
    const std::vector<dao::Database::Row> rows = Bsql_DataBank().select(query, {Variant(eventID)});
    if (rows.empty()) return {};
    std::string text = "Public holiday in: ", list;
    for (const dao::Database::Row& row : rows) {
      int32_t catID = longOf(row[0]);
      const int32_t pos = catPosition(catID);
      if (pos == 0 || !countryChosen(Bsda().Bsda_ProfileCatList[pos].Status, catID, beingAdded)) continue;
      text += textOf(row[1]) + ", ";
      list += std::to_string(catID) + ",";
    }
    if (list.empty()) return {};
    text.resize(text.size() - 2);
    list.pop_back();
    return text + "|" + list;
  });
}

}  // namespace pellary
