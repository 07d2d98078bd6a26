// The event options of one category: its events with a tick each, its option
// bits and its longer-event and date-range settings, kept in the in-memory
// profile lists. The dialog that shows them implements EventOptionsView; the
// procedures here decide everything, so tests drive them with a fake view.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/status_bits.h"

namespace pellary {

class PreviewList;

// The length box of the event options: its twelve positions and their codes.
namespace duration {
inline constexpr int kUnitCount = 12;
inline constexpr int kDefaultPosition = 6;  // one week
// The code of a length-box position (0 to 11); any other position gives one week.
int16_t codeOfPosition(int position);
// The position of a Duration word's threshold; an unlisted code gives 6.
int positionOfDuration(int16_t durationWord);
// "1 day" ... "3 months".
std::string unitText(int position);
}  // namespace duration

enum class IncludeChoice { OnlyKey, Most, All };

struct OptionControls {
  IncludeChoice include = IncludeChoice::Most;
  bool detailed = false;
  bool happen = true;
  bool onSale = false;
};

struct DatePanel {
  int unitPosition = -1;  // -1: nothing chosen
  bool displayStar = false;
  bool setDateRange = false;
  bool pickersEnabled = false;
  double startDate = 0;
  double endDate = 0;  // 0: none of its own; the picker shows a year after the start
};

// What the procedures need of the event options dialog.
class EventOptionsView {
 public:
  virtual ~EventOptionsView() = default;
  virtual bool settingUp() const = 0;
  virtual void setSettingUp(bool on) = 0;
  virtual OptionControls options() const = 0;
  virtual void setOptions(const OptionControls& controls) = 0;
  // The include choices with their caption, the tickets option, the date-range parts.
  virtual void setEnabledParts(bool include, bool onSale, bool dateRange) = 0;
  virtual void setCategoryCaption(const std::string& text) = 0;
  virtual std::string categoryCaption() const = 0;
  virtual void setOkCaption(const std::string& text) = 0;
  // lstPreviews.
  virtual PreviewList& eventList() = 0;
  virtual DatePanel datePanel() const = 0;
  virtual void setDatePanel(const DatePanel& panel) = 0;
  virtual void showDatePanel() = 0;
  virtual bool isShown() const = 0;
  virtual void centreOnMainWindow() = 0;
  // Shows the dialog modally; returns when it closes.
  virtual void showModal() = 0;
};

// The dialog of the current call: the shell installs a maker that creates it
// (tests install a fake). The view lives while it is installed as current.
struct EventOptionsLink {
  std::function<EventOptionsView*()> make;
  EventOptionsView* current = nullptr;
};
EventOptionsLink& eventOptionsLink();

// Placeholder row of the event list.
inline constexpr const char* kPlaceholderRowKey = "XXX";
inline constexpr const char* kAddCaption = "&Add to my selection";
inline constexpr const char* kChangeCaption = "&Change my selection";
inline constexpr const char* kBadRangeText =
    "The start date must be before the end date!\r\r"
    "Please correct your date range settings.";

// "P" + the EventID as seven digits, and the EventID read back from such a key.
std::string eventRowKey(int32_t eventID);
int32_t eventIDOfRowKey(std::string_view key);

void Bsql_SetupPreviewScreen(int16_t& isChosenNode);
void Bsql_RunSingleNodePreview();
void Bsql_UpdateCategoryBits();
void Bsql_SetUpPreferences();
// True when the date range was refused (the panel stays open).
bool Bsql_SetDateRangePreferences();
void Bsql_EditPreviewList(std::string& key, bool& ticked);

// The option bits the controls stand for, and the controls a Status word sets.
int16_t optionBitsOf(const OptionControls& controls);
OptionControls controlsOfStatus(int16_t status);

}  // namespace pellary
