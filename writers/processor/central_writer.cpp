#include "writers/processor/central_writer.h"

#include <cmath>

#include "core/final_selection.h"
#include "core/products.h"
#include "core/profile_commit.h"
#include "core/profile_lists.h"
#include "core/status_bits.h"
#include "core/writer_helpers.h"
#include "platform/errors.h"
#include "platform/oledate.h"
#include "writers/processor/final_preview.h"
#include "writers/processor/pubhol_writer.h"
#include "writers/processor/relay.h"

namespace pellary {

ProcessorState& Bplp() {
  static ProcessorState state;
  return state;
}

void resetProcessorState() { Bplp() = ProcessorState{}; }

int16_t progressPercent(int32_t done, int32_t total) {
  if (total <= 0) return 100;
  double p = std::nearbyint(static_cast<double>(done) * 100.0 / static_cast<double>(total));
  if (p > 100) return 100;
  if (p < 0) return 0;
  return static_cast<int16_t>(p);
}

std::string mainEntryID(const std::string& ids) { return ids.substr(0, ids.find('^')); }

std::string ticketsEntryID(const std::string& ids) {
  size_t caret = ids.find('^');
  return caret == std::string::npos ? std::string() : ids.substr(caret + 1);
}

namespace rows {

std::string text(const dao::Recordset& rs, const char* name) {
  Variant v = rs[name].value();
  return v.isNull() || v.isEmpty() ? std::string() : v.toString();
}

double date(const dao::Recordset& rs, const char* name) {
  Variant v = rs[name].value();
  return v.isNull() || v.isEmpty() ? 0.0 : v.toDouble();
}

int32_t number(const dao::Recordset& rs, const char* name) {
  Variant v = rs[name].value();
  return v.isNull() || v.isEmpty() ? 0 : v.toLong();
}

bool retired(const dao::Recordset& rs) {
  Variant v = rs["Status"].value();
  return !v.isNull() && !v.isEmpty() && v.toLong() == 0;
}

std::string actionPrefix(int32_t action, int16_t& bit) {
  switch (action) {
    case 1: bit = evstate::Cancelled; return "Cancelled: ";
    case 2: bit = evstate::Postponed; return "Postponed: ";
    case 3: bit = evstate::Updated; return "Updated: ";
    default: bit = 0; return "";
  }
}

void countOne() {
  ProcessorState& s = Bplp();
  ++s.Bplp_DoneCount;
  s.percent = progressPercent(s.Bplp_DoneCount, s.Bplp_TotalCount);
}

ProfileEventRecord& findOrAppend(int32_t eventID, int32_t catID) {
  int32_t pos = eventPosition(eventID);
  if (pos == 0) {
    Bsda_AddToProfileEventList(eventID, catID, evstate::Added, 0, 0, 0, "");
    pos = eventPosition(eventID);
  }
  return Bsda().event(pos);
}

void buildDeleteRecord(const ProfileEventRecord& p, dao::Recordset& r, int32_t eventID) {
  RelayEventRecord& rec = Bplp().record;
  r.setFilter("(Version = " + std::to_string(p.Version) + ") AND (EventID = " + std::to_string(eventID) + ")");
  std::string title;
  if (number(r, "Version") == p.Version && number(r, "EventID") == eventID) {
    // The row in hand is the version that was written: no query per entry.
    title = text(r, "Title");
  } else {
    dao::Recordset written = r.openRecordset();
    // The version that was written may be gone from the databank; the title of
    // the row in hand is then the best guess (an error here would end the program).
    title = written.eof() ? text(r, "Title") : text(written, "Title");
    written.close();
  }
  std::string prefix;
  if (p.Status & evstate::Cancelled)
    prefix = "Cancelled: ";
  else if (p.Status & evstate::Updated)
    prefix = "Updated: ";
  else if (p.Status & evstate::Postponed)
    prefix = "Postponed: ";
  if (p.Status & evstate::Star) prefix = "*" + prefix;
  rec.Title = prefix + title;
  rec.EntryID = mainEntryID(Bsda().platMisc(p.PlatMisc));
  rec.StartDate = p.DateUsed;
}

void relayDeletes(const ProfileEventRecord& p, const ProfileEventRecord& after) {
  ProcessorState& s = Bplp();
  RelayEventRecord& rec = s.record;
  intendEntry(after);
  Bplp_DeleteRelay(rec, s.percent);
  if (p.Status & evstate::Tickets) {
    intendEntry(after);
    rec.EntryID = ticketsEntryID(Bsda().platMisc(p.PlatMisc));
    rec.Title = "Tickets: " + rec.Title;
    rec.StartDate = p.AuxDate;
    Bplp_DeleteRelay(rec, s.percent);
  }
}

bool entriesLandOneByOne() {
  // The target decides, even when a test or a bench stands in for its relays.
  const RelayTarget* t = relayTargetOf(Bset().Bset_DatesPlat);
  return !t || !t->batched;
}

void recordEntry(const ProfileEventRecord& p) {
  if (entriesLandOneByOne()) Bsda_RecordEntry(p);
}

void intendEntry(const ProfileEventRecord& p) {
  if (entriesLandOneByOne()) Bsda_IntendEntry(p);
}

}  // namespace rows

namespace {

using namespace rows;

struct AddResult {
  bool admitted = false;
  int16_t dateCode = 0;
  bool starred = false;  // "*" put before the title
  int16_t actionBit = 0;
};

// The add record of the current row of rs, with C the row's category position.
AddResult buildAddRecord(const dao::Recordset& rs, int32_t c, int16_t s, bool withAction) {
  AddResult out;
  RelayEventRecord& rec = Bplp().record;
  rec.clear();
  const ProfileCatRecord cat = Bsda().cat(c);
  double start = date(rs, "StartDate"), end = date(rs, "EndDate");
  out.dateCode = Bsql_ValidateDate(start, end, c);
  int16_t level = Bplp_CheckPriority(cat.Status);
  bool priorityOK = (s & evstate::ChosenByHand) || number(rs, "Priority") <= level;
  out.admitted = !(s & evstate::LeftOut) && !(s & evstate::Removed) && priorityOK && out.dateCode != 0;
  if (!out.admitted) return out;
  const int16_t d = out.dateCode;

  rec.Memo = text(rs, "Memo");
  if (d == 2 || d == 3) rec.Memo += "\r\nUntil " + platform::shortDate(end);
  if (cat.Status & catopt::Detailed) rec.MemoLong = text(rs, "MemoLong");
  rec.Title = text(rs, "Title");
  if (withAction) rec.Title = actionPrefix(number(rs, "Action"), out.actionBit) + rec.Title;
  if (d == 2 && (cat.Duration & duration::Star)) {
    rec.Title = "*" + rec.Title;
    out.starred = true;
  }
  rec.StartDate = start < cat.StartDate ? cat.StartDate : start;
  rec.EndDate = d == 3 ? end : rec.StartDate;
  double productStart = 0;
  if (cat.ProductIndex >= 0 && cat.ProductIndex < kMaxProducts)
    productStart = Bset().Bset_ProductStartDate[cat.ProductIndex];
  if (rec.StartDate < productStart) rec.StartDate = rec.EndDate = productStart;
  rec.URL = text(rs, "URL");
  rec.TelCountry = text(rs, "TelCountry");
  rec.TelPrefix = text(rs, "TelPrefix");
  rec.Tel = text(rs, "Tel");
  rec.OnSale = date(rs, "OnSale");
  return out;
}

struct Written {
  std::string ids;
  double dateUsed = 0;
  double auxDate = 0;
  int16_t ticketsBit = 0;
};

// Relays the main entry and, when the category asks for it, the tickets
// entry; stored(w, false) runs before each of them with what will stand once
// it lands, stored(w, true) after it with what stands.
template <class Stored>
Written relayAdd(int32_t c, Stored&& stored) {
  ProcessorState& s = Bplp();
  RelayEventRecord& rec = s.record;
  Written w;
  const double onSale = rec.OnSale;
  w.dateUsed = rec.StartDate;
  stored(w, false);
  w.ids = Bplp_WriteRelay(rec, s.percent);
  w.dateUsed = rec.StartDate;
  const ProfileCatRecord cat = Bsda().cat(c);
  if (onSale != 0 && (cat.Status & catopt::OnSale)) {
    rec.Title = "Tickets: " + rec.Title;
    double productStart = 0;
    if (cat.ProductIndex >= 0 && cat.ProductIndex < kMaxProducts)
      productStart = Bset().Bset_ProductStartDate[cat.ProductIndex];
    rec.StartDate = onSale < productStart ? productStart : onSale;
    // The tickets entry is a one-day entry on its own date (the main entry's
    // end, which a writer may have moved, would stretch it to the event).
    rec.EndDate = rec.StartDate;
    stored(w, true);
    Written next = w;
    next.ids += "^";
    next.ticketsBit = evstate::Tickets;
    next.auxDate = rec.StartDate;
    stored(next, false);
    w.ids += "^" + Bplp_WriteRelay(rec, s.percent);
    w.ticketsBit = evstate::Tickets;
    w.auxDate = rec.StartDate;
  }
  stored(w, true);
  return w;
}

// The bits that describe how an entry was written; a rewrite sets them anew.
constexpr int16_t kWrittenBits = evstate::Tickets | evstate::Star | evstate::Cancelled | evstate::Postponed |
                                 evstate::Updated;
// The marks a rewrite keeps.
constexpr int16_t kKeptMarks = evstate::MarkMask & ~kWrittenBits;
// The state an added entry stands in, with its "*" mark when it has one.
int16_t standing(bool starred) { return starred ? evstate::Star | evstate::InProfile : evstate::InProfile; }

void storeWritten(ProfileEventRecord& p, int16_t version, const Written& w) {
  p.Version = version;
  p.DateUsed = w.dateUsed;
  p.AuxDate = w.auxDate;
  p.PlatMisc = Bsda_AddPlatMisc(w.ids);
}

// One row of the summary's dates preview; kind 1 add, 2 remove, 4 change.
void listInPreview(int16_t kind, int32_t eventID) {
  ProcessorState& s = Bplp();
  Bint_WriteToFinalPreview(s.record, kind, eventID);
  ++s.Bplp_TotalCount;
}

// Relays the add record of the event at pos, keeping its profile record in
// step with what lands. The prefix bit goes with every add that wrote a
// prefix (not only with a change), or the entry could not be found by its
// title to be removed. An entry that did not stand takes the row's category,
// so it never stands for a category no longer chosen.
void writeAdded(int32_t c, int32_t pos, int32_t catID, int16_t was, int16_t version, const AddResult& add) {
  const int16_t marks = static_cast<int16_t>((was & kKeptMarks) | standing(add.starred) | add.actionBit);
  relayAdd(c, [&](const Written& w, bool landed) {
    ProfileEventRecord p = Bsda().event(pos);
    p.Status = static_cast<int16_t>(marks | w.ticketsBit);
    storeWritten(p, version, w);
    p.CatID = catID;
    if (!landed) return intendEntry(p);
    Bsda().event(pos) = p;
    recordEntry(p);
  });
}

void deleteStage(bool preview) {
  ProcessorState& s = Bplp();
  dao::Recordset& rs = Bsql().Bsql_rsDelete;
  s.stage = "DeleteList";
  for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
    s.record.clear();
    if (retired(rs)) continue;
    int32_t eventID = number(rs, "EventID");
    int32_t pos = eventPosition(eventID);
    if (pos == 0) continue;
    ProfileEventRecord& p = Bsda().event(pos);
    if (p.CatID != number(rs, "CatID") || !(p.Status & (evstate::InProfile | evstate::Removed)) || p.Version == 0)
      continue;
    buildDeleteRecord(p, rs, eventID);
    if (preview) {
      listInPreview(2, eventID);
    } else {
      ProfileEventRecord gone = p;
      gone.Status = 0;
      relayDeletes(p, gone);
      countOne();
      Bsda().event(pos).Status = 0;
      recordEntry(Bsda().event(pos));
    }
  }
}

// The changed row of an event in the update pass, beside the event's record
// as it stood before the pass touched it.
struct UpdateRow {
  int32_t eventID = 0, catID = 0;
  int32_t pos = 0;  // the event's position in the profile
  int32_t c = 0;    // its category's position
  ProfileEventRecord before;
  int16_t rowVersion = 0;
};

// Takes the entry off the target for a removal or a rewrite.
void removeForUpdate(dao::Recordset& rs, const UpdateRow& row, const UpdateDecision& d, bool preview) {
  Bplp().stage = "Update-deleting";
  buildDeleteRecord(row.before, rs, row.eventID);
  const bool rewrite = d.action == UpdateAction::Rewrite;
  if (preview) {
    // A rewrite is listed once, as a change, by its add.
    if (!rewrite) listInPreview(static_cast<int16_t>(UpdateAction::Remove), row.eventID);
    return;
  }
  // Removed, not yet written again; or removed for good.
  ProfileEventRecord gone = row.before;
  gone.Status = rewrite     ? static_cast<int16_t>(row.before.Status & kKeptMarks)
                : d.leftOut ? evstate::LeftOut
                            : int16_t(0);
  relayDeletes(row.before, gone);
  if (rewrite) recordEntry(gone);
}

// Writes the row for an add or a rewrite; false when the row is not admitted.
bool addForUpdate(const dao::Recordset& rs, const UpdateRow& row, UpdateAction action, bool preview) {
  Bplp().stage = "Update-adding";
  const AddResult add = buildAddRecord(rs, row.c, row.before.Status, true);
  if (!add.admitted) return false;
  if (preview) {
    listInPreview(static_cast<int16_t>(action), row.eventID);
    return true;
  }
  countOne();
  writeAdded(row.c, row.pos, row.catID, row.before.Status, row.rowVersion, add);
  return true;
}

// The record of an event that was removed and not written again.
void settleUnwritten(int32_t pos, const UpdateDecision& d) {
  ProfileEventRecord& p = Bsda().event(pos);
  if (d.action == UpdateAction::Rewrite)
    p.Status = 0;
  else if (d.action == UpdateAction::Remove)
    p.Status = d.leftOut ? evstate::LeftOut : int16_t(0);
  else
    return;
  recordEntry(p);
}

void updateStage(bool preview) {
  ProcessorState& s = Bplp();
  dao::Recordset& rs = Bsql().Bsql_rsUpdate;
  for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
    s.stage = "Update-initialise";
    s.record.clear();
    if (retired(rs)) continue;
    UpdateRow row;
    row.eventID = number(rs, "EventID");
    row.catID = number(rs, "CatID");
    if (int32_t pos = eventPosition(row.eventID)) {
      const ProfileEventRecord& p = Bsda().event(pos);
      if ((p.Status & evstate::InProfile) && p.CatID != row.catID) continue;
    }
    findOrAppend(row.eventID, row.catID);
    row.pos = eventPosition(row.eventID);
    row.c = catPosition(row.catID);
    row.before = Bsda().event(row.pos);
    row.rowVersion = static_cast<int16_t>(number(rs, "Version"));
    const ProfileCatRecord cat = Bsda().cat(row.c);

    UpdateFacts facts;
    facts.status = row.before.Status;
    facts.writtenVersion = row.before.Version;
    facts.rowVersion = row.rowVersion;
    facts.aboveLevel = number(rs, "Priority") > Bplp_CheckPriority(cat.Status);
    facts.categoryStars = cat.Duration & duration::Star;
    const UpdateDecision d =
        decideUpdate(facts, [&] { return Bsql_ValidateDate(date(rs, "StartDate"), date(rs, "EndDate"), row.c) == 0; });
    if (d.action == UpdateAction::Keep) continue;

    const bool removes = d.action == UpdateAction::Remove || d.action == UpdateAction::Rewrite;
    if (removes && row.before.Version != 0) removeForUpdate(rs, row, d, preview);
    bool added = false;
    if (d.action == UpdateAction::Add || d.action == UpdateAction::Rewrite)
      added = addForUpdate(rs, row, d.action, preview);
    if (!preview && !added) settleUnwritten(row.pos, d);
  }
}

void writingStage(bool preview) {
  ProcessorState& s = Bplp();
  dao::Recordset& rs = Bsql().Bsql_rsWrite;
  s.stage = "Writing";
  for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
    s.record.clear();
    const int32_t eventID = number(rs, "EventID"), catID = number(rs, "CatID");
    int32_t pos = eventPosition(eventID);
    if (pos != 0 && (Bsda().event(pos).Status & evstate::InProfile)) continue;
    findOrAppend(eventID, catID);
    pos = eventPosition(eventID);
    const int32_t c = catPosition(catID);
    const int16_t st = Bsda().event(pos).Status;
    AddResult add = buildAddRecord(rs, c, st, false);
    if (!add.admitted) continue;
    if (preview) {
      listInPreview(static_cast<int16_t>(UpdateAction::Add), eventID);
      continue;
    }
    countOne();
    writeAdded(c, pos, catID, st, static_cast<int16_t>(number(rs, "Version")), add);
  }
}

}  // namespace

UpdateDecision decideUpdate(const UpdateFacts& f, const std::function<bool()>& outsideWindow) {
  using namespace evstate;
  const int16_t st = f.status;
  const bool byHand = st & ChosenByHand;
  if (!(st & (LeftOut | InProfile | Removed))) return {UpdateAction::Add};
  if (!(st & InProfile)) {
    // Left out or to be removed, and not standing: only a removal the user
    // did not take back goes on.
    if ((st & Removed) && !byHand) return {UpdateAction::Remove, bool(st & LeftOut)};
    return {};
  }
  // A standing entry the category no longer admits goes, unless chosen by hand.
  if (!byHand && (f.aboveLevel || outsideWindow())) return {UpdateAction::Remove};
  if (f.rowVersion > f.writtenVersion) return {UpdateAction::Rewrite};
  // Written with "*" for a category that no longer marks longer events.
  if ((st & Star) && !f.categoryStars) return {UpdateAction::Rewrite};
  return {};
}

void Bplp_CentralWriter(bool preview) {
  ProcessorState& s = Bplp();
  try {
    s.stage = "Start";
    if (preview) s.Bplp_TotalCount = 0;
    DatabaseAccess& q = Bsql();
    const bool anyRows = q.Bsql_HaveDeletions || q.Bsql_HaveUpdates || q.Bsql_HaveNewEvents || q.Bsql_HavePubHols;
    struct EndPass {
      bool open = false;
      ~EndPass() {
        if (open) Bsda_EndWritePass();
      }
    } endPass;
    if (!preview && anyRows) {
      Bsda_BeginWritePass();
      // A batched target's record stays open for its commit point.
      endPass.open = entriesLandOneByOne();
    }
    if (q.Bsql_HaveDeletions) deleteStage(preview);
    if (q.Bsql_HaveUpdates) updateStage(preview);
    if (q.Bsql_HaveNewEvents) writingStage(preview);
    if (q.Bsql_HavePubHols) Bplp_PubHolCentralWriter(preview);
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    currentError() = describeCurrentException();
    reportError(currentError().number, "Bplp_CentralWriter", s.stage);
  }
}

}  // namespace pellary
