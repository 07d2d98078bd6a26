#include "core/profile_commit.h"

#include <string>
#include <vector>

#include "core/databank.h"
#include "core/products.h"
#include "core/profile_lists.h"
#include "core/registry.h"
#include "core/screen_link.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/standins/state_file.h"

namespace pellary {

namespace {

std::string profileRows(const char* table) {
  return std::string("SELECT * FROM ") + table + " WHERE ProfileID = " + std::to_string(Bset().Bset_ProfileID);
}

// Deletes the committed rows, then marks the new ones committed.
void replaceRows(const char* table) {
  dao::Database& db = Bsql_DataBank();
  dao::Recordset old = db.openRecordset(profileRows(table) + " AND AddStatus = 0");
  if (old.recordCount() != 0) {
    while (!old.eof()) {
      old.deleteRow();
      old.moveNext();
    }
  }
  old.close();
  dao::Recordset fresh = db.openRecordset(profileRows(table) + " AND AddStatus = " + "1");
  if (fresh.recordCount() != 0) {
    while (!fresh.eof()) {
      fresh.edit();
      fresh["AddStatus"] = Variant(int16_t(0));
      fresh.update();
      fresh.moveNext();
    }
  }
  fresh.close();
}

void unloadEvents() {
  ProfileLists& s = Bsda();
  const int16_t profileID = Bset().Bset_ProfileID;
  dao::Recordset rs = Bsql_DataBank().openRecordset(profileRows("ProfileEventList"));
  for (int32_t i = 1; i < s.Bsda_ProfileEventNext; ++i) {
    const ProfileEventRecord& r = s.Bsda_ProfileEventList[i];
    if (r.Status == 0) continue;
    rs.addNew();
    rs["AddStatus"] = Variant(int16_t(1));
    rs["ProfileID"] = Variant(profileID);
    rs["AuxDate"] = Variant::date(r.AuxDate);
    rs["DateUsed"] = Variant::date(r.DateUsed);
    rs["Status"] = Variant(r.Status);
    rs["Version"] = Variant(r.Version);
    rs["CatID"] = Variant(r.CatID);
    rs["PlatMisc"] = Variant(s.platMisc(r.PlatMisc));
    rs["EventID"] = Variant(r.EventID);
    rs["PubHol"] = Variant(s.holidayList(r.PubHol));
    rs.update();
    int32_t cat = r.CatID >= 0 ? Bsda_GetCatIDIndex(r.CatID) : 0;
    if (cat != 0 && cat < s.Bsda_ProfileCatNext && (r.Status & 0x0004 || r.Status & 0x4000))
      s.Bsda_ProfileCatList[cat].HasTargetEntries = 1;
  }
  rs.close();
  replaceRows("ProfileEventList");
}

void unloadCategories() {
  ProfileLists& s = Bsda();
  const int16_t profileID = Bset().Bset_ProfileID;
  dao::Recordset rs = Bsql_DataBank().openRecordset(profileRows("ProfileCatList"));
  for (int32_t i = 1; i < s.Bsda_ProfileCatNext; ++i) {
    ProfileCatRecord& r = s.Bsda_ProfileCatList[i];
    if (r.Status & 0x0008)
      r.Status = 0;
    else if (r.Status & 0x0002)
      r.Status = static_cast<int16_t>((r.Status & 0x7FF0) | 4);
    if (r.HasTargetEntries == 1 || r.Status != 0) {
      rs.addNew();
      rs["AddStatus"] = Variant(int16_t(1));
      rs["ProfileID"] = Variant(profileID);
      rs["CatID"] = Variant(r.CatID);
      rs["StartDate"] = Variant::date(r.StartDate);
      rs["EndDate"] = Variant::date(r.EndDate);
      rs["Duration"] = Variant(r.Duration);
      rs["CatSetting"] = Variant(r.CatSetting);
      rs["Status"] = Variant(r.Status);
      rs.update();
    }
  }
  rs.close();
  replaceRows("ProfileCatList");
}

// What the commit changes in memory, so that a failed commit can put it back.
struct CategoryMarks {
  std::vector<std::pair<int16_t, uint8_t>> marks;
  void take() {
    const ProfileLists& s = Bsda();
    marks.clear();
    for (int32_t i = 1; i < s.Bsda_ProfileCatNext; ++i)
      marks.emplace_back(s.Bsda_ProfileCatList[i].Status, s.Bsda_ProfileCatList[i].HasTargetEntries);
  }
  void restore() const {
    ProfileLists& s = Bsda();
    for (size_t i = 0; i < marks.size() && static_cast<int32_t>(i + 1) < s.Bsda_ProfileCatNext; ++i) {
      s.Bsda_ProfileCatList[i + 1].Status = marks[i].first;
      s.Bsda_ProfileCatList[i + 1].HasTargetEntries = marks[i].second;
    }
  }
};

// Runs the halves in one transaction. A failure rolls the databank and the
// category marks back and is reported under the name of the half that failed.
void commit(const char* outerName, bool events, bool categories) {
  const char* where = outerName;
  CategoryMarks before;
  dao::Database& db = Bsql_DataBank();
  bool open = false;
  try {
    before.take();
    // What the writer saved reaches the disk before the profile says it is there.
    platform::standins::syncSaved();
    db.beginTrans();
    open = true;
    if (events) {
      where = "Bsda_UnloadProfileEventList";
      unloadEvents();
    }
    if (categories) {
      where = "Bsda_UnloadProfileCatList";
      unloadCategories();
    }
    where = outerName;
    db.commitTrans();
    open = false;
    // The first run is over only once its profile is stored.
    if (events && screenLink().firstRun && screenLink().firstRun())
      Breg_WriteRegSettings("User", "FirstRun", "False");
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    currentError() = describeCurrentException();
    if (open) {
      try {
        db.rollback();
      } catch (...) {
      }
    }
    before.restore();
    reportError(currentError().number, where, {});
  }
}

}  // namespace

void Bsda_CommittChanges() { commit("Bsda_CommittChanges", true, true); }
void Bsda_UnloadProfileEventList() { commit("Bsda_UnloadProfileEventList", true, false); }
void Bsda_UnloadProfileCatList() { commit("Bsda_UnloadProfileCatList", false, true); }

}  // namespace pellary
