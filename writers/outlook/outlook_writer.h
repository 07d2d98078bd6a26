// The Outlook writer and its pages.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/automation/dispatch.h"
#include "writers/event_record.h"

namespace pellary {
void Bout_WriteToOutlook(RelayEventRecord& record, int16_t& percent);
void Bout_OutlookDeleter(RelayEventRecord& record, int16_t& percent);
// Opens Outlook and the target folder, then writes (or asks for the folder).
void Bout_InitialiseOutlook();
void Bout_ShowFloatingForm();
// Whether the folder in view is a calendar; saves its entry ID.
bool Bout_CheckOutlook();
void Bout_BeginWriting();
void Bout_SelectionDone();
void Bout_ShowOutlook();

// The appointment's note text: memo, telephone, website, tickets date, long note.
std::string outlookNoteText(const RelayEventRecord& record);
// The Items.Find condition of the entry to delete.
std::string outlookDeleteFilter(const RelayEventRecord& record);
inline constexpr const char* kOutlookCategory = "Pellary Almoner dates";

// What the writer asks of its windows (the guide and the page); the pages
// install themselves, and with none installed the writer runs without them.
class OutlookWindows {
 public:
  virtual ~OutlookWindows() = default;
  // Shows the guide topmost: in the top right corner, or centred on the screen.
  virtual void showGuide(bool topRight) = 0;
  virtual void hideGuide() = 0;
  virtual void setGuideText(const std::string& text) = 0;
  // pbWritingToOutlook: its value, and shows it.
  virtual void setProgress(int16_t percent) = 0;
  // The guide's cmdContinue and cmdCancel and the page's cmdBack and cmdNext.
  virtual void setButtonsEnabled(bool enabled) = 0;
  // The frame window stays out of Outlook's way while writing (true), and comes back.
  virtual void frameOutOfTheWay(bool away) = 0;
  virtual void processEvents() = 0;
};

// Module state of the writer.
struct OutlookState {
  using Object = std::shared_ptr<platform::Dispatch>;
  Object application, nameSpace, defaultFolder, explorer, targetFolder, item, found;
  OutlookWindows* windows = nullptr;
};
// The Outlook writer's state: the Outlook objects in use (application down to the entry in hand) and its windows.
OutlookState& Bout();
void resetOutlookState();

inline constexpr const char* kOutlookGuideText =
    "Please open the Outlook calendar in which you wish to include your selection of dates.\r"
    "Then click on Continue to make the data transfer.";
inline constexpr const char* kOutlookWaitText = "Please wait while your Outlook calendar is updated...";
inline constexpr const char* kOutlookNotCalendar =
    "The folder in view is not a calendar folder. Please select a calendar and then click Continue.";
inline constexpr const char* kOutlookLinkLost =
    "Pellary Almoner can no longer link to your Outlook calendar.\r\n\r\n"
    "Please re-run the Pellary Almoner to reselect your Outlook calendar.";
}  // namespace pellary
