#include "core/wizard/page_engine.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "core/products.h"
#include "core/registry.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"

namespace pellary {

WizardState& Wizard() {
  static WizardState state;
  return state;
}

void resetWizardState() { Wizard() = WizardState{}; }

int16_t& Bmm_CurrentPage() { return Wizard().Bmm_CurrentPage; }
bool& Bint_Ref1Pending() { return Wizard().Bint_Ref1Pending; }
bool& Bint_Ref2Pending() { return Wizard().Bint_Ref2Pending; }
bool& Bint_DatesPending() { return Wizard().Bint_DatesPending; }

// Calendar codes 2, 5, 7, 8 and 11 would lead to slots that hold no form; the
// installation never sets them, and they count as unlisted here.
int16_t datesPlatPage(int16_t datesPlat) {
  switch (datesPlat) {
    case 1: return 3;
    case 3: return 4;
    case 4: return 11;
    case 6: return 7;
    case 9: return 13;
    case 12: return 15;
    case 15:
    case 16: return 6;
    default: return 0;
  }
}

// Back from page 16 reaches the same writer page as going forward.
int16_t datesPlatBackPage(int16_t datesPlat) { return datesPlatPage(datesPlat); }

int16_t refPlat2Page(int16_t refPlat2) {
  switch (refPlat2) {
    case 1: return page::Reference;
    case 2: return page::PalmRef;
    case 4:
    case 8: return page::WinCERef;
    case 16:
    case 32:
    case 64:
    case 128:
    case 256: return page::PsionRef;
    default: return 0;
  }
}

int16_t refPlat1Page(int16_t refPlat1) { return refPlat1 == 1 ? page::Reference : 0; }

std::string pageFormName(int16_t p) {
  switch (p) {
    case 0: return "frmIntro";
    case 1: return "frmManagerMain";
    case 2: return "frmManager2";
    case 3: return "frmPsion3Agenda";
    case 4: return "frmOutlook";
    case 6: return "frmPsion5";
    case 7: return "frmOrgDetails";
    case 11: return "frmDayTimersSelect";
    case 13: return "frmLotusSelect";
    case 15: return "frmPilot";
    case 16: return "frmUpdateSetup";
    case 17: return "frmRegistration";
    case 18: return "frmReference";
    case 19: return "frmManagerTop";
    case 20: return "frmNoSelections";
    case 21: return "frmPalmRef";
    case 22: return "frmWinCEReference";
    case 23: return "frmPsionRef";
    default: return {};
  }
}

namespace {

bool inRange(int16_t p) { return p >= 0 && p < kPageCount; }

// The selection screen is entered: its tooltips start counting from now.
void enterSelectionScreen() {
  WizardState& w = Wizard();
  if (w.host) w.host->enableToolTipTimer();
  w.toolTipStamp = int32_t(std::lround(platform::secondsSinceMidnight()));
}

void setPilotPath() { Wizard().setPilotPath(); }

// Each partner announcement is shown once in the life of the installation.
void announceOnce(bool installed, const char* setting, const char* title, const char* text) {
  if (!installed || !Breg_GetRegSetting("Settings", setting).empty()) return;
  MsgBox(text, mb::Information, title);
  Breg_WriteRegSettings("Settings", setting, "displayed");
}

// The page of the first due output whose code leads to a page. An unlisted
// code skips its output rather than sending the user to the introduction.
int16_t nextDuePage() {
  const WizardState& w = Wizard();
  const ProductSetup& s = Bset();
  if (w.Bint_Ref1Pending) {
    if (int16_t p = refPlat1Page(s.Bset_RefPlat1)) return p;
  }
  if (w.Bint_Ref2Pending) {
    if (int16_t p = refPlat2Page(s.Bset_RefPlat2)) {
      if (s.Bset_RefPlat2 == 2) setPilotPath();
      return p;
    }
  }
  if (w.Bint_DatesPending) {
    if (int16_t p = datesPlatPage(s.Bset_DatesPlat)) {
      if (s.Bset_DatesPlat == 12) setPilotPath();
      return p;
    }
  }
  return page::UpdateSetup;
}

}  // namespace

void Bmm_FormAdvance() {
  trapped("Bmm_FormAdvance", [] {
    WizardState& w = Wizard();
    int16_t current = w.Bmm_CurrentPage;
    switch (current) {
      case page::Intro:
      case page::Banner:
        enterSelectionScreen();
        Bmm_ChangeForms(page::Selection, current);
        break;
      case page::Selection: {
        bool due = w.Bint_Ref1Pending || w.Bint_Ref2Pending || w.Bint_DatesPending;
        Bmm_ChangeForms(due ? page::Summary : page::NoChanges, current);
        break;
      }
      case page::Summary: Bmm_ChangeForms(Bmm_GetNextForm(), current); break;
      case page::UpdateSetup: Bmm_ChangeForms(page::Registration, current); break;
      default: Bmm_ChangeForms(page::UpdateSetup, current); break;
    }
  });
}

void Bmm_FormReverse() {
  trapped("Bmm_FormReverse", [] {
    int16_t current = Wizard().Bmm_CurrentPage;
    switch (current) {
      case page::Summary:
        enterSelectionScreen();
        Bmm_ChangeForms(page::Selection, current);
        break;
      case page::UpdateSetup: {
        // An unlisted calendar code goes back to the summary, not to the
        // introduction, which is gone by now.
        int16_t back = datesPlatBackPage(Bset().Bset_DatesPlat);
        Bmm_ChangeForms(back ? back : page::Summary, current);
        break;
      }
      case page::NoChanges: Bmm_ChangeForms(page::Selection, current); break;
      default: Bmm_ChangeForms(page::Summary, current); break;
    }
  });
}

int16_t Bmm_GetNextForm() {
  return trapped("Bmm_GetNextForm", []() -> int16_t {
    int16_t next = nextDuePage();
    int16_t current = Wizard().Bmm_CurrentPage;
    if (current != page::Summary) {
      // Only a writer page whose output is done asks from elsewhere.
      Wizard().outputStored = true;
      Bmm_ChangeForms(next, current);
    }
    return next;
  });
}

void Bmm_ChangeForms(int16_t newPage, int16_t current) {
  trapped("Bmm_ChangeForms", [&] {
    if (!inRange(newPage)) raise(err::SubscriptOutOfRange);
    WizardState& w = Wizard();
    PageHost* host = w.host;
    if (host && !host->hasForm(newPage)) raise(91);
    // Switching a page to itself keeps it on screen.
    bool leaving = current != newPage && inRange(current) && (!host || host->hasForm(current));
    if (host) {
      host->alignPage(newPage);
      // The side banner travels from page to page; the selection screen's
      // picture is never copied.
      if (leaving && current != page::Selection && newPage > page::Summary) host->copyPicture(current, newPage);
      host->showPage(newPage);
    }
    if (newPage == page::Selection && host) host->enableFileMenu();
    if (host && leaving) {
      host->hidePage(current);
      // The introduction and the banner are shown once per run.
      if (current == page::Intro || current == page::Banner) host->unloadPage(current);
    }
    w.Bmm_CurrentPage = newPage;
    // The announcements come over the finished switch, not over two pages
    // half drawn.
    if (newPage == page::Selection) {
      announceOnce(w.orryEdition(), "OrryMsg", kOrryTitle, kOrryText);
      announceOnce(w.fieldfareEdition(), "FieldfareMsg", kFieldfareTitle, kFieldfareText);
    }
  });
}

}  // namespace pellary
