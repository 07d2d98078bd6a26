#include "writers/daytimer/daytimer_writer.h"

#include <cmath>

#include "core/app.h"
#include "core/profile_commit.h"
#include "core/shellwrap.h"
#include "core/update_run.h"
#include "core/wizard/page_engine.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"
#include "platform/paths.h"
#include "writers/note_text.h"
#include "writers/processor/central_writer.h"

namespace pellary {

namespace dt = standins::daytimer;

namespace {

DayTimerState freshState() {
  DayTimerState s;
  s.writePass = [] { Bplp_CentralWriter(false); };
  s.commit = Bsda_CommittChanges;
  s.nextPage = [] { Bmm_GetNextForm(); };
  return s;
}

// The day of a date. Reading "dd/mmm/yy" back would move years outside the
// two-digit window by a century, so the day is taken from the date itself.
double dayOf(double date) { return platform::oleDatePart(date); }

void progressAndYield(int16_t percent) {
  auto& s = Bdt();
  if (Bupd_UpdateRun())
    portalProgress(percent);
  else
    s.progress(percent);
  s.doEvents();
}

dt::DayTimerDatabase& database() {
  if (!Bdt().Bdt_DayTimerDB) raise(platform::automation::errors::ObjectNotSet);
  return *Bdt().Bdt_DayTimerDB;
}

}  // namespace

DayTimerState& Bdt() {
  static DayTimerState state = freshState();
  return state;
}

void resetBdt() { Bdt() = freshState(); }

DayTimerLists Bdt_AddFilesToListbox(const std::string& iniPath) {
  return trapped("Bdt_AddFilesToListbox", [&] {
    Bin().Bin_INIFileName = iniPath;
    DayTimerLists lists;
    for (int i = 0;; ++i) {
      const std::string n = std::to_string(i);
      const std::string folder = Bin_GetFromINI("LastPaths", "Path" + n);
      if (folder.empty()) break;
      const std::string name = Bin_GetFromINI("LastPaths", "DatabaseName" + n);
      bool listed = false;
      for (const auto& row : lists.rows) listed = listed || paths::toUpperAscii(row) == paths::toUpperAscii(name);
      if (!listed) {
        lists.rows.push_back(name);
        lists.folders.push_back(folder);
        lists.users.push_back(Bin_GetFromINI("LastPaths", "UserName" + n));
      }
      if (name.empty()) break;
    }
    lists.rows.push_back(kOtherDatabase);
    return lists;
  });
}

std::string Bdt_GetLastDBPath() {
  return trapped("Bdt_GetLastDBPath", [&] { return Bin_ReturnShortPathName(Bin_GetFromINI("LastPaths", "Path0")); });
}

bool Bdt_SetCurrentDB(platform::Dispatch& database, const std::string& path, const std::string& user,
                      const std::string& dbPassword, const std::string& userPassword) {
  Variant code = int32_t(0);
  platform::DispatchArgs args{path, user, dbPassword, userPassword, platform::ByRef(code)};
  database.callRef("setCurrentDB", args);
  const int32_t result = code.toLong();
  if (result == 0) return true;
  static const char* const kMessages[] = {"",
                                          "Invalid DB path name",
                                          "Invalid user name",
                                          "Invalid password",
                                          "Database busy",
                                          "Unknown error",
                                          "Invalid database and/or user password"};
  MsgBox(result >= 1 && result <= 6 ? kMessages[result] : "", mb::Critical, appTitle());
  return false;
}

bool Bdt_ConfirmSelections(const std::string& path) {
  return trapped("Bdt_ConfirmSelections", [&] {
    return MsgBox("Below is the Day-Timer Organizer database you have selected. Is this correct?\r\n\r\n" + path,
                  mb::YesNo | mb::Question, appTitle()) == mb::Yes;
  });
}

void Bdt_RunWrite(std::shared_ptr<dt::DayTimerDatabase> db) {
  auto& s = Bdt();
  s.Bdt_DayTimerDB = std::move(db);
  s.writePass();
  s.commit();
  Bint_DatesPending() = false;
  s.nextPage();
}

std::string Bdt_EntryText(const RelayEventRecord& r) { return r.Title + "\r\n" + desktopNoteText(r); }

int32_t Bdt_WriteToDayTimer(RelayEventRecord& record, int16_t& percent) {
  return trapped("Bdt_WriteToDayTimer", [&] {
    auto entry = database().newEntry();
    const std::string text = Bdt_EntryText(record);
    entry->setNumber(0);
    int32_t unusedNumber = 0;
    entry->setDates(dayOf(record.StartDate), dayOf(record.EndDate), unusedNumber);
    entry->setText(text);
    std::string unused;
    entry->store(unused);
    entry.reset();
    progressAndYield(percent);
    return int32_t(0);
  });
}

void Bdt_RemoveFromDayTimer(RelayEventRecord& record, int16_t& percent) {
  trapped("Bdt_RemoveFromDayTimer", [&] {
    auto search = database().newSearch();
    int32_t unused = 0;
    // Every stored text starts with the title and a line break, so "Concert"
    // never takes "Concert Extra" of the same day.
    search->select(dayOf(record.StartDate), record.Title + "\r\n*", unused);
    if (search->count() != 0) search->remove(search->item(0)->key(), unused);
    progressAndYield(percent);
  });
}

}  // namespace pellary
