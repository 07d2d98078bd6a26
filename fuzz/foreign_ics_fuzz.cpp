// Fuzzes what the Outlook stand-in does with an item another program put in
// its folder: any text is read or passed over, a calendar splits per UID, and
// a change written into a foreign item reads back as an item.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "standins/outlook/ical_item.h"
#include "standins/outlook/outlook_store.h"

using namespace pellary::standins::outlook;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)splitCalendar(text);
  Appointment read;
  if (!readItem(text, read)) return 0;
  Appointment mine = read;
  mine.subject = "Changed\r\nline";
  mine.reminderSet = !read.reminderSet;
  const std::string changed = changedItemText(text, mine, read);
  Appointment again;
  if (!readItem(changed, again)) std::abort();
  if (again.subject != cleanText(mine.subject, false)) std::abort();
  return 0;
}
