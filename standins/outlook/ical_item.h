// One calendar item as iCalendar text, read (and changed) with libical: the
// appointment's properties out of a VCALENDAR, a new item, and a change to an
// item that keeps every property the change does not set.
#pragma once

#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace pellary::platform::outlook {

struct Appointment;

// Control characters go on write and in comparisons alike, so that a later
// search by the same text still finds the item. Line breaks stay in multi-line
// text (as LF); a tab stays.
std::string cleanText(const std::string& s, bool multiLine);

// A fresh UID, usable as a file name.
std::string newUID();

// The appointment of an item's text (its first VEVENT); false when the text is
// no calendar with an event.
bool readItem(const std::string& text, Appointment& out);

// The text of a new item: its UID is the entry ID; its stamps are now, or the
// moment given.
std::string newItemText(const Appointment& a);
std::string newItemText(const Appointment& a, std::time_t now);

// The text of a changed item: the properties where mine differs from base are
// set on the item's own text, everything else stays; SEQUENCE goes up, DTSTAMP
// and LAST-MODIFIED take the moment.
std::string changedItemText(const std::string& text, const Appointment& mine, const Appointment& base);

// The names of the properties in which two appointments differ.
std::vector<std::string> differences(const Appointment& a, const Appointment& b);

// A calendar of many items split into one calendar per UID, each with the time
// zones of the original: (UID, text) in the order of the original.
std::vector<std::pair<std::string, std::string>> splitCalendar(const std::string& text);

}  // namespace pellary::platform::outlook
