// The two note layouts of the calendar entries: the desktop calendars' note
// (Outlook, Notes, Organizer, Day-Timer) and the compact note of the handheld
// writers (Palm, Series 3, Series 5).
#pragma once

#include <string>

#include "writers/event_record.h"

namespace pellary {
std::string desktopNoteText(const RelayEventRecord& r);
std::string compactNoteText(const RelayEventRecord& r);
}  // namespace pellary
