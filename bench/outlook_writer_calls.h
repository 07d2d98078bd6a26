// The calls the Outlook writer makes on the stand-in for one entry, for the
// benches that time them.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/automation/class_registry.h"
#include "platform/automation/dispatch.h"
#include "platform/oledate.h"

namespace pellary::bench {

using Clock = std::chrono::steady_clock;
using Object = std::shared_ptr<platform::Dispatch>;

inline double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

inline constexpr const char* kEntryBody = "Tel: +44 (20) 7946 0000\r\nWebsite: http://fair.example\r\n";
inline std::string entryTitle(int i) { return "Entry " + std::to_string(i); }
inline double entryStart(int i) { return platform::oleFromCivil(2027, 1, 1) + (i % 3650); }

inline void put(const Object& o, const char* name, Variant v) {
  platform::DispatchArgs args;
  args.emplace_back(std::move(v));
  o->invoke(*o->idOfName(name), args, platform::automation::InvokeKind::PropertyPut);
}

// Items.Add, the seven properties in the writer's order, Save: the new item.
inline Object writeEntry(const Object& folder, int i) {
  Object items = folder->call("Items").toObject();
  Object item = items->call("Add").toObject();
  put(item, "Subject", entryTitle(i));
  put(item, "Body", kEntryBody);
  put(item, "Categories", "Pellary Almoner dates");
  put(item, "AllDayEvent", true);
  put(item, "Start", Variant::date(entryStart(i)));
  put(item, "End", Variant::date(entryStart(i) + 1));
  put(item, "ReminderSet", false);
  item->call("Save");
  return item;
}

}  // namespace pellary::bench
