// The wizard's page engine: which page follows or precedes the current one,
// and the switch between two pages. The pages themselves live behind PageHost
// (the Qt page table), so the rules here run and are tested without windows.
#pragma once

#include <cstdint>
#include <string>

#include "platform/hook.h"

namespace pellary {

inline constexpr int16_t kPageCount = 24;

// Page numbers the rules name.
namespace page {
inline constexpr int16_t Intro = 0;
inline constexpr int16_t Selection = 1;
inline constexpr int16_t Summary = 2;
inline constexpr int16_t UpdateSetup = 16;
inline constexpr int16_t Registration = 17;
inline constexpr int16_t Reference = 18;
inline constexpr int16_t Banner = 19;
inline constexpr int16_t NoChanges = 20;
inline constexpr int16_t PalmRef = 21;
inline constexpr int16_t WinCERef = 22;
inline constexpr int16_t PsionRef = 23;
}  // namespace page

// What the engine asks of the pages.
class PageHost {
 public:
  virtual ~PageHost() = default;
  // True when the slot holds a form.
  virtual bool hasForm(int16_t page) const = 0;
  // Moves the page (created when not loaded) to the top-left corner of the
  // frame's client area, without showing it.
  virtual void alignPage(int16_t page) = 0;
  // Copies the side picture of one page into another.
  virtual void copyPicture(int16_t from, int16_t to) = 0;
  virtual void showPage(int16_t page) = 0;
  virtual void hidePage(int16_t page) = 0;
  // Destroys the page; it is created afresh when next used.
  virtual void unloadPage(int16_t page) = 0;
  // The frame's File menu.
  virtual void enableFileMenu() = 0;
  // The selection screen's tooltip timer.
  virtual void enableToolTipTimer() = 0;
};

// Module state of the page engine.
struct WizardState {
  int16_t Bmm_CurrentPage = 0;
  // Output still due: PC reference pages, device reference, calendar dates.
  bool Bint_Ref1Pending = false;
  bool Bint_Ref2Pending = false;
  bool Bint_DatesPending = false;
  // A writer page finished its output in this run: the selection is stored.
  bool outputStored = false;
  // Seconds since midnight when the selection screen was last entered.
  int32_t toolTipStamp = 0;
  // The pages; without a host the engine only keeps its numbers.
  PageHost* host = nullptr;
  // Puts the Palm Desktop folder on the search path before a Palm page shows.
  Hook<void()> setPilotPath;
  // The partner editions installed (read by the product loader).
  Hook<bool()> orryEdition;
  Hook<bool()> fieldfareEdition;
};

// The page engine's state: the current page, the outputs still pending and the page host.
WizardState& Wizard();
// Fresh state; the host and hooks are dropped too.
void resetWizardState();

// The shared variables under the names the pages use.
int16_t& Bmm_CurrentPage();
bool& Bint_Ref1Pending();
bool& Bint_Ref2Pending();
bool& Bint_DatesPending();

// --- the tables ---------------------------------------------------------------

// The page a calendar code leads to going forward, 0 when the code is unlisted.
int16_t datesPlatPage(int16_t datesPlat);
// The page Back from the update-settings page leads to, 0 when unlisted.
int16_t datesPlatBackPage(int16_t datesPlat);
// The page of the device reference code, 0 when unlisted.
int16_t refPlat2Page(int16_t refPlat2);
// The page of the first reference code (only the PC is listed), 0 otherwise.
int16_t refPlat1Page(int16_t refPlat1);
// The form name of a slot, empty for a slot that holds no form.
std::string pageFormName(int16_t page);
// Slots in the order the start fills them.
inline constexpr int16_t kPageFillOrder[] = {0, 1, 2, 3, 4, 6, 7, 11, 13, 15, 17, 16, 18, 19, 20, 21, 23, 22};

// --- navigation -------------------------------------------------------------------

// Next from the current page.
void Bmm_FormAdvance();
// Back from the current page.
void Bmm_FormReverse();
// The page of the first output still due (16 when none). On the summary page it
// only returns the number; elsewhere it also switches to it.
int16_t Bmm_GetNextForm();
// Switches from page current to page newPage.
void Bmm_ChangeForms(int16_t newPage, int16_t current);

// The announcement texts of the partner editions.
inline constexpr const char* kOrryTitle = "North American Events";
inline constexpr const char* kOrryText =
    "Your Orrery Pellary Almoner subscription entitles you to extensive coverage of Arts and Sports events in "
    "North America. This service will be launched in February 2000, with over 300,000 cultural events from "
    "Marquee and full coverage of your favourite sports and team schedules from Scoreline\r\n\r\n"
    "This new service will be available automatically as part of your online updates";
inline constexpr const char* kFieldfareTitle = "Fieldfare Pellary Almoner";
inline constexpr const char* kFieldfareText =
    "Your Fieldfare Pellary Almoner subscription entitles you to comprehensive coverage of sporting statistics "
    "and league tables. This service will be launched in February 2000 with additional fixtures for further "
    "football divisions, rugby league and LPGA Tour golf . This new service will be available automatically as "
    "part of your online updates.";

}  // namespace pellary
