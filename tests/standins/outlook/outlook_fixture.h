// The Outlook stand-in driven as the writer drives it, over a private stand-in folder.
#pragma once

#include <gtest/gtest.h>

#include "platform/automation/class_registry.h"
#include "platform/oledate.h"
#include "standins/outlook/outlook_automation.h"
#include "standins/outlook/outlook_store.h"
#include "support/fixtures.h"

namespace pellary::standins::outlook {

using namespace pellary::platform;

inline constexpr long kObjectChanged = -2147221239;
using Object = std::shared_ptr<Dispatch>;
using pellary::testing::errorOf;
using pellary::testing::readFile;
using pellary::testing::writeFile;

inline std::shared_ptr<Dispatch> obj(const Variant& v) { return v.toObject(); }

inline void put(const std::shared_ptr<Dispatch>& o, const char* name, Variant v) { o->put(name, std::move(v)); }

class OutlookTest : public pellary::testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    closeStore();
    registerOutlookClasses();
  }
  void TearDown() override {
    closeStore();
    session().onDisplay = nullptr;
    automation::unregisterBuiltinClass(kApplicationClass);
    IsolatedEnvTest::TearDown();
  }
  Object nameSpace() {
    Object app = automation::createObject(kApplicationClass);
    return obj(app->call("GetNamespace", {Variant("MAPI")}));
  }
  Object calendar() { return obj(nameSpace()->call("GetDefaultFolder", {Variant(int32_t(defaultfolder::Calendar))})); }
  // An entry as the Outlook writer saves it; the end is the day after the start unless given.
  static Object addAllDay(const Object& folder, const std::string& subject, double start, double end = 0,
                          const std::string& body = "") {
    Object item = obj(obj(folder->call("Items"))->call("Add"));
    put(item, "Subject", subject);
    put(item, "Body", body);
    put(item, "Categories", "Pellary Almoner dates");
    put(item, "AllDayEvent", true);
    put(item, "Start", Variant::date(start));
    put(item, "End", Variant::date(end > start ? end : start + 1));
    put(item, "ReminderSet", false);
    item->call("Save");
    return item;
  }
  static Object findFirst(const Object& folder, const std::string& filter) {
    return obj(obj(folder->call("Items"))->call("Find", {Variant(filter)}));
  }
  static double day(int y, int m, int d) { return oleFromCivil(y, m, d); }
};

}  // namespace pellary::standins::outlook
