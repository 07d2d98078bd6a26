#include "core/previews.h"

#include <memory>

#include "core/app.h"
#include "core/database_access.h"
#include "core/field_values.h"
#include "core/final_selection.h"
#include "core/preview_lists.h"
#include "core/products.h"
#include "core/profile_lists.h"
#include "core/screen_link.h"
#include "core/selection.h"
#include "core/tree_keys.h"
#include "core/tree_view.h"
#include "core/wizard/page_engine.h"
#include "core/writer_helpers.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"

namespace pellary {

namespace {

int32_t currentCatOrRaise() {
  int32_t pos = catPosition(Bsql().Bsql_CurrentCatID);
  if (pos == 0) raise(err::SubscriptOutOfRange);
  return pos;
}
int16_t s16(int v) { return static_cast<int16_t>(v); }

struct UnitRow {
  const char* text;
  int16_t code;
};
using duration::Days, duration::Weeks, duration::Months;
constexpr UnitRow kUnits[duration::kUnitCount] = {
    {"1 day", Days | 1},    {"2 days", Days | 2},    {"3 days", Days | 3},     {"4 days", Days | 4},
    {"5 days", Days | 5},   {"6 days", Days | 6},    {"1 week", Weeks | 1},    {"2 weeks", Weeks | 2},
    {"3 weeks", Weeks | 3}, {"1 month", Months | 1}, {"2 months", Months | 2}, {"3 months", Months | 3},
};

// A chosen node's text after its count prefix; a text without one is whole.
std::string withoutCountPrefix(const std::string& text) {
  if (text.rfind("(", 0) != 0) return text;
  size_t close = text.find(')');
  if (close == std::string::npos) return text;
  size_t start = close + 1;
  if (start < text.size() && text[start] == ' ') ++start;
  return text.substr(start);
}

}  // namespace

namespace duration {
int16_t codeOfPosition(int position) {
  return position >= 0 && position < kUnitCount ? kUnits[position].code : OneWeek;
}
int positionOfDuration(int16_t durationWord) {
  int16_t code = s16(durationWord & CodeMask);
  for (int i = 0; i < kUnitCount; ++i)
    if (kUnits[i].code == code) return i;
  return kDefaultPosition;
}
std::string unitText(int position) {
  return position >= 0 && position < kUnitCount ? kUnits[position].text : std::string();
}
}  // namespace duration

EventOptionsLink& eventOptionsLink() {
  static EventOptionsLink link;
  return link;
}

std::string eventRowKey(int32_t eventID) { return "P" + padded(eventID, 7); }
int32_t eventIDOfRowKey(std::string_view key) { return valOf(mid(key, 2, 7)); }

int16_t optionBitsOf(const OptionControls& c) {
  int bits = 0;
  if (c.detailed) bits |= catopt::Detailed;
  if (!c.happen) bits |= catopt::NoHappen;
  if (c.onSale) bits |= catopt::OnSale;
  if (c.include == IncludeChoice::OnlyKey)
    bits |= catopt::OnlyKey;
  else if (c.include == IncludeChoice::All)
    bits |= catopt::All;
  return s16(bits);
}

OptionControls controlsOfStatus(int16_t status) {
  OptionControls c;
  c.include = (status & catopt::OnlyKey) ? IncludeChoice::OnlyKey
              : (status & catopt::All)   ? IncludeChoice::All
                                         : IncludeChoice::Most;
  c.detailed = status & catopt::Detailed;
  c.happen = !(status & catopt::NoHappen);
  c.onSale = status & catopt::OnSale;
  return c;
}

void Bsql_SetupPreviewScreen(int16_t& isChosenNode) {
  trapped("Bsql_SetupPreviewScreen", [&] {
    DatabaseAccess& q = Bsql();
    const std::string key = q.Bsql_PreviewNodeKey;
    int16_t word = isChosenNode ? settingOfChosenKey(key) : settingOfCategoryKey(key);
    Bsql_AddToProfileCatList(word);

    EventOptionsLink& link = eventOptionsLink();
    if (!link.make) return;
    std::unique_ptr<EventOptionsView> owned(link.make());
    if (!owned) return;
    EventOptionsView& view = *owned;
    link.current = &view;
    // The label's caption is what the recount of the chosen node puts back.
    auto previousCaption = screenLink().currentCategoryCaption;
    screenLink().currentCategoryCaption = [&view] { return view.categoryCaption(); };
    struct Restore {
      std::function<std::string()> caption;
      ~Restore() {
        eventOptionsLink().current = nullptr;
        screenLink().currentCategoryCaption = caption;
      }
    } restore{previousCaption};

    view.setSettingUp(true);
    if (int32_t pos = catPosition(q.Bsql_CurrentCatID)) q.Bsql_CategoryBits = Bsda().Bsda_ProfileCatList[pos].Status;
    view.setOptions(controlsOfStatus(q.Bsql_CategoryBits));
    view.setEnabledParts(word & catsetting::Priorities, word & catsetting::Tickets,
                         !(word & catsetting::PublicHoliday));
    view.setSettingUp(false);

    if (isChosenNode) {
      TreeView* chosen = screenLink().tvSelectedItems;
      view.setCategoryCaption(chosen && chosen->exists(key) ? withoutCountPrefix(chosen->text(key)) : std::string());
      view.setOkCaption(kChangeCaption);
    } else {
      view.setOkCaption(kAddCaption);
      TreeView* tree = screenLink().categorySelector(screenLink().currentProductTab);
      view.setCategoryCaption(tree && tree->exists(key) ? textWithAncestors(*tree, key) : std::string());
    }

    Bsql_RunSingleNodePreview();
    view.showModal();
  });
}

void Bsql_RunSingleNodePreview() {
  trapped("Bsql_RunSingleNodePreview", [&] {
    EventOptionsView* view = eventOptionsLink().current;
    if (!view) return;
    if (!view->isShown()) view->centreOnMainWindow();
    PreviewList& list = view->eventList();
    list.clear();
    list.addRow(PreviewRow{kPlaceholderRowKey, "Blank", {}, false});

    DatabaseAccess& q = Bsql();
    ProfileLists& s = Bsda();
    dao::Recordset& rs = q.Bsql_rsPreview;
    if (!rs.isOpen() || rs.recordCount() == 0) return;
    const int tab = screenLink().currentProductTab;
    const double productStart = tab >= 0 && tab < kMaxProducts ? Bset().Bset_ProductStartDate[size_t(tab)] : 0;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
      int32_t eventID = longOf(rs["EventID"]);
      int32_t catID = q.Bsql_CurrentCatID;
      int16_t e = 2;
      if (int32_t ev = eventPosition(eventID)) {
        catID = s.Bsda_ProfileEventList[ev].CatID;
        e = s.Bsda_ProfileEventList[ev].Status;
      }
      int32_t cat = catPosition(catID);
      int16_t c = 0;
      if (cat == 0) {
        Bsda_AddToProfileCatList(catID, 0, 0, 0, 0, q.Bsql_CurrentCatSetting);
        cat = catPosition(catID);
      } else {
        c = s.Bsda_ProfileCatList[cat].Status;
      }
      double start = dateOf(rs["StartDate"]);
      double shown = productStart > start ? productStart : start;
      int16_t w = Bsql_ValidateDate(start, dateOf(rs["EndDate"]), cat);
      int16_t p = Bplp_CheckPriority(cat ? s.Bsda_ProfileCatList[cat].Status : int16_t(0));
      int16_t r = shortOf(rs["Priority"]);
      if (w == 0) continue;
      bool ticked;
      if (c & catstate::Removed) {
        if (!(e & evstate::InProfile)) continue;
        ticked = true;
      } else {
        ticked = (r <= p && (e & evstate::Added)) || (r <= p && e == 0) || (r <= p && (e & evstate::InProfile)) ||
                 (r >= p && (e & evstate::ChosenByHand)) ||
                 (r >= p && (e & evstate::InProfile) && (c & catstate::InProfile));
      }
      list.addRow(PreviewRow{eventRowKey(eventID), platform::shortDate(shown), {textOf(rs["Title"])}, ticked});
    }
  });
}

void Bsql_UpdateCategoryBits() {
  trapped("Bsql_UpdateCategoryBits", [&] {
    EventOptionsView* view = eventOptionsLink().current;
    if (!view) return;
    int16_t bits = optionBitsOf(view->options());
    Bsql().Bsql_CategoryBits = bits;
    if (int32_t pos = catPosition(Bsql().Bsql_CurrentCatID)) {
      int16_t& status = Bsda().Bsda_ProfileCatList[pos].Status;
      status = s16(bits | (status & catstate::StateMask));
    }
    Bsql_RunSingleNodePreview();
  });
}

void Bsql_SetUpPreferences() {
  trapped("Bsql_SetUpPreferences", [&] {
    const ProfileCatRecord& r = Bsda().Bsda_ProfileCatList[currentCatOrRaise()];
    EventOptionsView* view = eventOptionsLink().current;
    if (!view) return;
    DatePanel panel = view->datePanel();
    panel.unitPosition = duration::positionOfDuration(r.Duration);
    panel.displayStar = r.Duration & duration::Star;
    panel.setDateRange = r.Duration & duration::DateRange;
    panel.pickersEnabled = panel.setDateRange;
    panel.startDate = r.StartDate != 0 ? r.StartDate : platform::today();
    // No end of its own: 0, which the view shows as a year after the start.
    panel.endDate = r.EndDate;
    view->setDatePanel(panel);
    view->showDatePanel();
  });
}

bool Bsql_SetDateRangePreferences() {
  return trapped("Bsql_SetDateRangePreferences", [&]() -> bool {
    ProfileCatRecord& r = Bsda().Bsda_ProfileCatList[currentCatOrRaise()];
    EventOptionsView* view = eventOptionsLink().current;
    if (!view) return false;
    DatePanel panel = view->datePanel();
    if (panel.setDateRange) {
      double start = platform::oleDatePart(panel.startDate);
      double end = platform::oleDatePart(panel.endDate);
      if (start > end) {
        MsgBox(kBadRangeText, mb::Exclamation, appTitle());
        return true;
      }
      r.StartDate = start;
      r.EndDate = end;
    }
    int code = duration::codeOfPosition(panel.unitPosition);
    if (panel.displayStar) code += duration::Star;
    if (panel.setDateRange) code += duration::DateRange;
    r.Duration = s16(code);
    return false;
  });
}

void Bsql_EditPreviewList(std::string& key, bool& ticked) {
  trapped("Bsql_EditPreviewList", [&] {
    using namespace evstate;
    int32_t eventID = eventIDOfRowKey(key);
    int32_t pos = eventPosition(eventID);
    if (pos == 0) {
      Bsda_AddToProfileEventList(eventID, Bsql().Bsql_CurrentCatID, ticked ? s16(Added | ChosenByHand) : LeftOut, 0, 0,
                                 0, "");
      return;
    }
    ProfileEventRecord& r = Bsda().Bsda_ProfileEventList[pos];
    int16_t& st = r.Status;
    const int S = st;
    const int keep = S & MarkMask;
    int next;
    if (ticked) {
      if (S == 0)
        next = Added | ChosenByHand;
      else if ((S & LeftOut) && (S & Removed) && r.Version != 0)
        next = keep | InProfile | ChosenByHand;
      else if ((S & LeftOut) && (S & Removed))
        next = keep | Added | ChosenByHand;  // unticked before it was ever written: it is to be added
      else if (S & Removed)
        next = keep | Added | ChosenByHand;
      else if (S & Added)
        next = S | ChosenByHand;
      else if (S & InProfile)
        next = S | ChosenByHand;
      else
        next = keep | Added | ChosenByHand;
    } else {
      if (S == Added || S == 0)
        next = LeftOut | Removed;
      else if (S & Added)
        next = (keep | LeftOut) & ~ChosenByHand;
      else if ((S & InProfile) && Bmm_CurrentPage() == page::Summary)
        next = keep | InProfile;  // it stays on the target
      else if (S & InProfile)
        next = (keep | LeftOut | Removed) & ~ChosenByHand;
      else
        next = S | ChosenByHand;
    }
    st = s16(next);
  });
}

}  // namespace pellary
