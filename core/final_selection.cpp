#include "core/final_selection.h"

#include <cmath>

#include "core/databank.h"
#include "core/products.h"
#include "core/profile_lists.h"
#include "core/screen_link.h"
#include "core/status_bits.h"
#include "core/tree_keys.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/oledate.h"

namespace pellary {

CategoryClass categoryClassOf(int16_t status, int16_t catSetting) {
  if ((catSetting & catsetting::PublicHoliday) && status != 0) return CategoryClass::PublicHoliday;
  if (status & catstate::Added) return CategoryClass::Write;
  if (status & catstate::Removed) return CategoryClass::Delete;
  if (status & catstate::InProfile) return CategoryClass::Update;
  return CategoryClass::None;
}

namespace {

void appendItem(std::string& list, int32_t catID) {
  if (!list.empty()) list += " OR ";
  list += "(CatID = " + std::to_string(catID) + ")";
}

void closeCursor(dao::Recordset& rs) {
  if (rs.isOpen()) rs.close();
  rs = dao::Recordset();
}

// Opens a cursor; true when it has rows. The full cursors are left on their
// first row with a complete count.
bool openCursor(dao::Recordset& rs, const std::string& sql, bool completeCount) {
  rs = Bsql_DataBank().openRecordset(sql);
  if (rs.recordCount() == 0) return false;
  if (completeCount) {
    rs.moveLast();
    rs.moveFirst();
  }
  return true;
}

struct Hourglass {
  Hourglass() { screenLink().hourglass(true); }
  ~Hourglass() { screenLink().hourglass(false); }
};

}  // namespace

void Bsql_SetFinalRecordSelection() {
  trapped("Bsql_SetFinalRecordSelection", [] {
    Hourglass pointer;
    // A databank filled by other means than our loads may lack the planner's
    // statistics; without them the write selection's plan takes minutes.
    Bsql_RefreshPlannerStatistics();
    DatabaseAccess& q = Bsql();
    ProfileLists& s = Bsda();
    std::string write, del, update, pubHol;
    for (int32_t i = 1; i < s.Bsda_ProfileCatNext; ++i) {
      const ProfileCatRecord& r = s.Bsda_ProfileCatList[i];
      switch (categoryClassOf(r.Status, r.CatSetting)) {
        case CategoryClass::PublicHoliday: appendItem(pubHol, r.CatID); break;
        case CategoryClass::Write: appendItem(write, r.CatID); break;
        case CategoryClass::Delete: appendItem(del, r.CatID); break;
        case CategoryClass::Update: appendItem(update, r.CatID); break;
        case CategoryClass::None: break;
      }
    }
    q.writeList = write;
    q.deleteList = del;
    q.updateList = update;
    q.pubHolList = pubHol;
    q.Bsql_HaveNewEvents = q.Bsql_HaveDeletions = q.Bsql_HaveUpdates = q.Bsql_HavePubHols = false;
    closeCursor(q.Bsql_rsWrite);
    closeCursor(q.Bsql_rsDelete);
    closeCursor(q.Bsql_rsUpdate);
    closeCursor(q.Bsql_rsPubHol);

    const std::string head = std::string("SELECT Event.*, EventCat.CatID ") +
                             "FROM Event INNER JOIN EventCat ON Event.EventID = EventCat.EventID WHERE ";
    if (!write.empty())
      q.Bsql_HaveNewEvents = openCursor(
          q.Bsql_rsWrite, head + "(Event.Status = 1) AND " + "(" + write + ")  ORDER BY Event.StartDate ASC", true);
    if (!del.empty())
      q.Bsql_HaveDeletions = openCursor(q.Bsql_rsDelete, head + "(" + del + ")  ORDER BY Event.StartDate ASC", true);
    if (!update.empty())
      q.Bsql_HaveUpdates = openCursor(q.Bsql_rsUpdate, head + "(" + update + ")  ORDER BY Event.StartDate ASC", true);
    if (!pubHol.empty())
      q.Bsql_HavePubHols =
          openCursor(q.Bsql_rsPubHol,
                     "SELECT Event.* FROM Event INNER JOIN EventCat ON Event.EventID = EventCat.EventID WHERE (" +
                         pubHol + ") ORDER BY StartDate ASC",
                     false);
  });
}

double addDays(double date, int32_t days) { return date + days; }

double addMonths(double date, int32_t months) {
  platform::CivilDateTime c = platform::civilFromOle(date);
  int64_t m = static_cast<int64_t>(c.year) * 12 + (c.month - 1) + months;
  int year = static_cast<int>(m / 12), month = static_cast<int>(m % 12) + 1;
  // The day is kept, or the month's last day when the month is shorter.
  int last = static_cast<int>(platform::daysFromCivil(month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1) -
                              platform::daysFromCivil(year, month, 1));
  int day = c.day > last ? last : c.day;
  return platform::oleFromCivil(year, month, day, c.hour, c.minute, c.second);
}

int16_t Bsql_ValidateDate(double s, double e, int32_t p) {
  return trapped("Bsql_ValidateDate", [&]() -> int16_t {
    const ProductSetup& products = Bset();
    int16_t d = 0;
    double ws = 0, we = 0;
    bool noEnd = true;
    if (p != 0) {
      const ProfileCatRecord& r = Bsda().cat(p);
      d = r.Duration;
      if (d & duration::DateRange) {
        ws = r.StartDate;
        we = r.EndDate;
        noEnd = false;
      } else {
        if (r.ProductIndex < 0 || r.ProductIndex >= kMaxProducts) raise(err::SubscriptOutOfRange);
        ws = products.Bset_ProductStartDate[r.ProductIndex];
      }
    } else {
      int16_t entry = products.Bset_GenDatesEntry;
      if (entry < 0 || entry >= kMaxProducts) raise(err::SubscriptOutOfRange);
      ws = products.Bset_ProductStartDate[entry];
    }
    auto upTo = [&](double x) { return noEnd || x <= we; };
    if (s != e) {
      bool touches = (s < ws && !noEnd && e > we) || (ws <= e && upTo(e)) || (ws <= s && upTo(s));
      if (!touches) return 0;
      int32_t n = d & duration::CountMask;
      double limit;
      if (d & duration::Days)
        limit = addDays(s, n);
      else if (d & duration::Weeks)
        limit = addDays(s, 7 * n);
      else if (d & duration::Months)
        limit = addMonths(s, n);
      else
        limit = addDays(s, n);
      return e <= limit ? 3 : 2;
    }
    return ws <= s && upTo(s) ? 1 : 0;
  });
}

}  // namespace pellary
