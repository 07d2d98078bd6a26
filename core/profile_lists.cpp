#include "core/profile_lists.h"

#include "core/databank.h"
#include "core/entry_journal.h"
#include "core/field_values.h"
#include "core/products.h"
#include "core/screen_link.h"
#include "platform/errors.h"

namespace pellary {

namespace {
const std::string kEmpty;

// Opens the profile's rows of a list table with a complete record count.
dao::Recordset openProfileRows(const char* table, long& count) {
  dao::Recordset rs = Bsql_DataBank().openRecordset(std::string("SELECT * FROM ") + table +
                                                    " WHERE ProfileID = " + std::to_string(Bset().Bset_ProfileID));
  count = rs.recordCount();
  if (count != 0) {
    rs.moveLast();
    rs.moveFirst();
    count = rs.recordCount();
  }
  return rs;
}

// Appends to a pool, growing by 500; the first append replaces the 0..1 start.
int32_t addToPool(std::vector<std::string>& pool, int32_t& count, const std::string& text) {
  if (text.empty()) return 0;
  if (count == 0) pool.assign(501, std::string());
  ++count;
  if (count >= static_cast<int32_t>(pool.size())) pool.resize(pool.size() + 500);
  pool[count] = text;
  return count;
}

// IDs are never negative; a negative one from a damaged row is kept in the
// list but cannot be found through the index.
void indexCat(int32_t position, int32_t catID) {
  if (catID >= 0) Bsda_AddToCatIndex(position, catID);
}
void indexEvent(int32_t position, int32_t eventID) {
  if (eventID >= 0) Bsda_AddToEventIndex(position, eventID);
}
}  // namespace

int32_t catPosition(int32_t catID) {
  const int32_t pos = catID >= 0 ? Bsda_GetCatIDIndex(catID) : 0;
  return pos > 0 && pos < Bsda().Bsda_ProfileCatNext ? pos : 0;
}
int32_t eventPosition(int32_t eventID) {
  const int32_t pos = eventID >= 0 ? Bsda_GetEventIDIndex(eventID) : 0;
  return pos > 0 && pos < Bsda().Bsda_ProfileEventNext ? pos : 0;
}

ProfileCatRecord& ProfileLists::cat(int32_t position) {
  if (position < 1 || position >= Bsda_ProfileCatNext) raise(err::SubscriptOutOfRange);
  return Bsda_ProfileCatList[position];
}
ProfileEventRecord& ProfileLists::event(int32_t position) {
  if (position < 1 || position >= Bsda_ProfileEventNext) raise(err::SubscriptOutOfRange);
  return Bsda_ProfileEventList[position];
}
const std::string& ProfileLists::platMisc(int32_t index) const {
  return index > 0 && index < static_cast<int32_t>(Bsda_PlatMisc.size()) ? Bsda_PlatMisc[index] : kEmpty;
}
const std::string& ProfileLists::holidayList(int32_t index) const {
  return index > 0 && index < static_cast<int32_t>(Bsda_HolidayList.size()) ? Bsda_HolidayList[index] : kEmpty;
}

ProfileLists& Bsda() {
  static ProfileLists lists;
  return lists;
}

void resetProfileLists() {
  Bsda() = ProfileLists{};
  Bsda_Indexes().Bsda_CatIndex.clear();
  Bsda_Indexes().Bsda_EventIndex.clear();
}

void Bsda_LoadProfileCatList() {
  trapped("Bsda_LoadProfileCatList", [] {
    ProfileLists& s = Bsda();
    // The list is replaced, so positions of an earlier load must not stay findable.
    Bsda_Indexes().Bsda_CatIndex.clear();
    long count = 0;
    dao::Recordset rs = openProfileRows("ProfileCatList", count);
    if (count == 0) {
      s.Bsda_ProfileCatList.assign(101, ProfileCatRecord{});
      s.Bsda_ProfileCatNext = 1;
      return;
    }
    s.Bsda_ProfileCatList.assign(static_cast<size_t>(count) + 101, ProfileCatRecord{});
    int32_t i = 1;
    for (; !rs.eof(); rs.moveNext(), ++i) {
      ProfileCatRecord& r = s.Bsda_ProfileCatList[i];
      r.Status = shortOf(rs["Status"]);
      r.Duration = shortOf(rs["Duration"]);
      r.CatSetting = shortOf(rs["CatSetting"]);
      r.CatID = longOf(rs["CatID"]);
      r.StartDate = dateOf(rs["StartDate"]);
      r.EndDate = dateOf(rs["EndDate"]);
      indexCat(i, r.CatID);
    }
    s.Bsda_ProfileCatNext = i;
  });
}

void Bsda_LoadProfileEventList() {
  trapped("Bsda_LoadProfileEventList", [] {
    // Entries a pass recorded without reaching its commit count first.
    foldEntryJournals(Bsql_DataBank());
    ProfileLists& s = Bsda();
    Bsda_Indexes().Bsda_EventIndex.clear();
    s.Bsda_PlatMisc.assign(2, std::string());
    s.Bsda_HolidayList.assign(2, std::string());
    s.Bsda_PlatMiscCount = 0;
    s.Bsda_HolidayCount = 0;
    long count = 0;
    dao::Recordset rs = openProfileRows("ProfileEventList", count);
    if (count == 0) {
      s.Bsda_ProfileEventList.assign(501, ProfileEventRecord{});
      s.Bsda_ProfileEventNext = 1;
      return;
    }
    s.Bsda_ProfileEventList.assign(static_cast<size_t>(count) + 101, ProfileEventRecord{});
    int32_t i = 1;
    for (; !rs.eof(); rs.moveNext(), ++i) {
      ProfileEventRecord& r = s.Bsda_ProfileEventList[i];
      r.Status = shortOf(rs["Status"]);
      r.Version = shortOf(rs["Version"]);
      r.CatID = longOf(rs["CatID"]);
      r.AuxDate = dateOf(rs["AuxDate"]);
      r.DateUsed = dateOf(rs["DateUsed"]);
      r.PlatMisc = addToPool(s.Bsda_PlatMisc, s.Bsda_PlatMiscCount, textOf(rs["PlatMisc"]));
      r.EventID = longOf(rs["EventID"]);
      indexEvent(i, r.EventID);
      r.PubHol = addToPool(s.Bsda_HolidayList, s.Bsda_HolidayCount, textOf(rs["PubHol"]));
    }
    s.Bsda_ProfileEventNext = i;
  });
}

void Bsda_AddToProfileCatList(int32_t CatID, int16_t Status, int16_t Duration, double StartDate, double EndDate,
                              int16_t CatSetting) {
  trapped("Bsda_AddToProfileCatList", [&] {
    ProfileLists& s = Bsda();
    int32_t pos = s.Bsda_ProfileCatNext;
    while (pos >= static_cast<int32_t>(s.Bsda_ProfileCatList.size()))
      s.Bsda_ProfileCatList.resize(s.Bsda_ProfileCatList.size() + 100);
    ProfileCatRecord& r = s.Bsda_ProfileCatList[pos];
    r = ProfileCatRecord{};
    r.Status = Status;
    r.StartDate = StartDate;
    r.EndDate = EndDate;
    r.Duration = Duration;
    r.CatID = CatID;
    r.CatSetting = CatSetting;
    r.ProductIndex = screenLink().currentProductTab;
    r.HasTargetEntries = 0;
    indexCat(pos, CatID);
    s.Bsda_ProfileCatNext = pos + 1;
  });
}

void Bsda_AddToProfileEventList(int32_t EventID, int32_t CatID, int16_t Status, int16_t Version, double DateUsed,
                                double AuxDate, const std::string& PlatMisc) {
  trapped("Bsda_AddToProfileEventList", [&] {
    ProfileLists& s = Bsda();
    int32_t pos = s.Bsda_ProfileEventNext;
    while (pos >= static_cast<int32_t>(s.Bsda_ProfileEventList.size()))
      s.Bsda_ProfileEventList.resize(s.Bsda_ProfileEventList.size() + 500);
    ProfileEventRecord& r = s.Bsda_ProfileEventList[pos];
    r = ProfileEventRecord{};
    r.CatID = CatID;
    r.Status = Status;
    r.Version = Version;
    r.PlatMisc = PlatMisc.empty() ? 0 : Bsda_AddPlatMisc(PlatMisc);
    r.DateUsed = DateUsed;
    r.AuxDate = AuxDate;
    r.EventID = EventID;
    r.PubHol = 0;
    indexEvent(pos, EventID);
    s.Bsda_ProfileEventNext = pos + 1;
  });
}

int32_t Bsda_AddPlatMisc(const std::string& text) {
  return trapped("Bsda_AddPlatMisc", [&] { return addToPool(Bsda().Bsda_PlatMisc, Bsda().Bsda_PlatMiscCount, text); });
}

int32_t Bsda_AddHolidayList(const std::string& text) {
  return trapped("Bsda_AddHolidayList",
                 [&] { return addToPool(Bsda().Bsda_HolidayList, Bsda().Bsda_HolidayCount, text); });
}

}  // namespace pellary
