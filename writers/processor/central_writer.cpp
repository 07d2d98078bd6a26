#include "writers/processor/central_writer.h"

#include <cmath>

#include "core/final_selection.h"
#include "core/profile_commit.h"
#include "core/products.h"
#include "core/profile_lists.h"
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
    case 1: bit = 0x0800; return "Cancelled: ";
    case 2: bit = 0x1000; return "Postponed: ";
    case 3: bit = 0x2000; return "Updated: ";
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
    Bsda_AddToProfileEventList(eventID, catID, 2, 0, 0, 0, "");
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
  if (p.Status & 0x0800)
    prefix = "Cancelled: ";
  else if (p.Status & 0x2000)
    prefix = "Updated: ";
  else if (p.Status & 0x1000)
    prefix = "Postponed: ";
  if (p.Status & 0x0200) prefix = "*" + prefix;
  rec.Title = prefix + title;
  rec.EntryID = mainEntryID(Bsda().platMisc(p.PlatMisc));
  rec.StartDate = p.DateUsed;
}

void relayDeletes(const ProfileEventRecord& p, const ProfileEventRecord& after) {
  ProcessorState& s = Bplp();
  RelayEventRecord& rec = s.record;
  intendEntry(after);
  Bplp_DeleteRelay(rec, s.percent);
  if (p.Status & 0x0040) {
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
  bool priorityOK = (s & 0x4000) || number(rs, "Priority") <= level;
  out.admitted = !(s & 0x0001) && !(s & 0x0008) && priorityOK && out.dateCode != 0;
  if (!out.admitted) return out;
  const int16_t d = out.dateCode;

  rec.Memo = text(rs, "Memo");
  if (d == 2 || d == 3) rec.Memo += "\r\nUntil " + platform::shortDate(end);
  if (cat.Status & 0x0010) rec.MemoLong = text(rs, "MemoLong");
  rec.Title = text(rs, "Title");
  if (withAction) rec.Title = actionPrefix(number(rs, "Action"), out.actionBit) + rec.Title;
  if (d == 2 && (cat.Duration & 0x0200)) {
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
  if (onSale != 0 && (cat.Status & 0x0040)) {
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
    next.ticketsBit = 0x0040;
    next.auxDate = rec.StartDate;
    stored(next, false);
    w.ids += "^" + Bplp_WriteRelay(rec, s.percent);
    w.ticketsBit = 0x0040;
    w.auxDate = rec.StartDate;
  }
  stored(w, true);
  return w;
}

// The bits that describe how an entry was written; a rewrite sets them anew.
constexpr int16_t kWrittenBits = 0x0040 | 0x0200 | 0x0800 | 0x1000 | 0x2000;

void storeWritten(ProfileEventRecord& p, int16_t version, const Written& w) {
  p.Version = version;
  p.DateUsed = w.dateUsed;
  p.AuxDate = w.auxDate;
  p.PlatMisc = Bsda_AddPlatMisc(w.ids);
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
    if (p.CatID != number(rs, "CatID") || !(p.Status & 0x000C) || p.Version == 0) continue;
    buildDeleteRecord(p, rs, eventID);
    if (preview) {
      int16_t kind = 2;
      Bint_WriteToFinalPreview(s.record, kind, eventID);
      ++s.Bplp_TotalCount;
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

void updateStage(bool preview) {
  ProcessorState& s = Bplp();
  dao::Recordset& rs = Bsql().Bsql_rsUpdate;
  for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
    s.stage = "Update-initialise";
    s.record.clear();
    if (retired(rs)) continue;
    const int32_t eventID = number(rs, "EventID"), catID = number(rs, "CatID");
    int32_t pos = eventPosition(eventID);
    if (pos != 0) {
      const ProfileEventRecord& p = Bsda().event(pos);
      if ((p.Status & 0x0004) && p.CatID != catID) continue;
    }
    findOrAppend(eventID, catID);
    pos = eventPosition(eventID);
    const int32_t c = catPosition(catID);
    const ProfileCatRecord cat = Bsda().cat(c);
    const ProfileEventRecord before = Bsda().event(pos);
    const int16_t st = before.Status;
    const int16_t rowVersion = static_cast<int16_t>(number(rs, "Version"));

    int16_t a = 0;
    bool backToOne = false;
    if (!(st & 0x000D)) {
      a = 1;
    } else if (!(st & 0x0004)) {
      if ((st & 0x0008) && !(st & 0x4000)) {
        a = 2;
        backToOne = st & 0x0001;
      }
    } else if (!(st & 0x4000) && number(rs, "Priority") > Bplp_CheckPriority(cat.Status)) {
      a = 2;
    } else if (!(st & 0x4000) && Bsql_ValidateDate(date(rs, "StartDate"), date(rs, "EndDate"), c) == 0) {
      a = 2;
    } else if (rowVersion > before.Version) {
      a = 4;
    } else if ((st & 0x0200) && !(cat.Duration & 0x0200)) {
      a = 4;
    }

    if ((a == 2 || a == 4) && before.Version != 0) {
      s.stage = "Update-deleting";
      buildDeleteRecord(before, rs, eventID);
      if (preview) {
        if (a == 2) {
          int16_t kind = 2;
          int32_t id = eventID;
          Bint_WriteToFinalPreview(s.record, kind, id);
          ++s.Bplp_TotalCount;
        }
      } else {
        // Removed, not yet written again; or removed for good.
        ProfileEventRecord gone = before;
        gone.Status = a == 4 ? static_cast<int16_t>(before.Status & 0x7FF0 & ~kWrittenBits)
                             : static_cast<int16_t>(backToOne ? 1 : 0);
        relayDeletes(before, gone);
        if (a == 4) recordEntry(gone);
      }
    }

    AddResult add;
    if (a == 1 || a == 4) {
      s.stage = "Update-adding";
      add = buildAddRecord(rs, c, st, true);
      if (add.admitted) {
        if (preview) {
          int16_t kind = a;
          int32_t id = eventID;
          Bint_WriteToFinalPreview(s.record, kind, id);
          ++s.Bplp_TotalCount;
        } else {
          countOne();
          const int16_t star = add.starred ? 0x0204 : 0x0004;
          // The prefix bit goes with every add that wrote a prefix (not only
          // with a change), or the entry could not be found by its title to
          // be removed. An entry that did not stand takes the row's
          // category, so it never stands for a category no longer chosen.
          relayAdd(c, [&](const Written& w, bool landed) {
            ProfileEventRecord p = Bsda().event(pos);
            p.Status = static_cast<int16_t>((before.Status & 0x7FF0 & ~kWrittenBits) | w.ticketsBit | star |
                                            add.actionBit);
            storeWritten(p, rowVersion, w);
            p.CatID = catID;
            if (!landed) return intendEntry(p);
            Bsda().event(pos) = p;
            recordEntry(p);
          });
        }
      }
    }

    if (preview || a == 0 || add.admitted) continue;
    ProfileEventRecord& p = Bsda().event(pos);
    if (a == 4) {
      p.Status = 0;
    } else if (a == 2) {
      p.Status = backToOne ? 1 : 0;
    } else {
      continue;
    }
    recordEntry(p);
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
    if (pos != 0 && (Bsda().event(pos).Status & 0x0004)) continue;
    findOrAppend(eventID, catID);
    pos = eventPosition(eventID);
    const int32_t c = catPosition(catID);
    const int16_t st = Bsda().event(pos).Status;
    AddResult add = buildAddRecord(rs, c, st, false);
    if (!add.admitted) continue;
    if (preview) {
      int16_t kind = 1;
      int32_t id = eventID;
      Bint_WriteToFinalPreview(s.record, kind, id);
      ++s.Bplp_TotalCount;
      continue;
    }
    countOne();
    const int16_t was = st;
    relayAdd(c, [&](const Written& w, bool landed) {
      ProfileEventRecord p = Bsda().event(pos);
      p.Status = static_cast<int16_t>((was & 0x7FF0 & ~kWrittenBits) | w.ticketsBit | (add.starred ? 0x0204 : 0x0004));
      storeWritten(p, static_cast<int16_t>(number(rs, "Version")), w);
      p.CatID = catID;
      if (!landed) return intendEntry(p);
      Bsda().event(pos) = p;
      recordEntry(p);
    });
  }
}

}  // namespace

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
