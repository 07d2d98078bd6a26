#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/oledate.h"
#include "platform/standins/outlook/outlook_store.h"
#include "support/fixtures.h"

namespace pellary::platform::outlook {
namespace {

namespace au = automation;
using Object = std::shared_ptr<Dispatch>;

Object obj(const Variant& v) { return v.toObject(); }

void put(const Object& o, const char* name, Variant v) {
  DispatchArgs args;
  args.emplace_back(std::move(v));
  o->invoke(*o->idOfName(name), args, au::InvokeKind::PropertyPut);
}

std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class OutlookStandIn : public pellary::testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    closeStore();
    registerOutlookClasses();
  }
  void TearDown() override {
    closeStore();
    session().onDisplay = nullptr;
    au::unregisterBuiltinClass(kApplicationClass);
    IsolatedEnvTest::TearDown();
  }
  Object calendar() {
    Object app = au::createObject(kApplicationClass);
    Object ns = obj(app->call("GetNamespace", {Variant("MAPI")}));
    return obj(ns->call("GetDefaultFolder", {Variant(int32_t(defaultfolder::Calendar))}));
  }
  static Object addAllDay(const Object& folder, const std::string& subject, double start, double end,
                          const std::string& body = "") {
    Object item = obj(obj(folder->call("Items"))->call("Add"));
    put(item, "Subject", subject);
    put(item, "Body", body);
    put(item, "Categories", "Pellary Almoner dates");
    put(item, "AllDayEvent", true);
    put(item, "Start", Variant::date(start));
    put(item, "End", Variant::date(end));
    put(item, "ReminderSet", false);
    item->call("Save");
    return item;
  }
  static double day(int y, int m, int d) { return oleFromCivil(y, m, d); }
};

TEST_F(OutlookStandIn, SavedAppointmentsOutliveTheProcessAsAnICalendarFile) {
  Object cal = calendar();
  EXPECT_EQ(cal->call("DefaultItemType").toLong(), itemtype::Appointment);
  std::string id = cal->call("EntryID").toString();
  addAllDay(cal, "Carnival, day one; \"big\"", day(2027, 2, 8), day(2027, 2, 9), "Line one\r\nLine two");
  addAllDay(cal, std::string("Fête ") + std::string(80, 'x'), day(2027, 2, 10), day(2027, 2, 13));

  closeStore();  // a new Outlook process
  Object app = au::createObject(kApplicationClass);
  Object ns = obj(app->call("GetNamespace", {Variant("MAPI")}));
  Object again = obj(ns->call("GetFolderFromID", {Variant(id)}));
  Object items = obj(again->call("Items"));
  ASSERT_EQ(items->call("Count").toLong(), 2);
  Object first = obj(items->call("Item", {Variant(int32_t(1))}));
  EXPECT_EQ(first->call("Subject").toString(), "Carnival, day one; \"big\"");
  EXPECT_EQ(first->call("Body").toString(), "Line one\r\nLine two");
  EXPECT_TRUE(first->call("AllDayEvent").toBool());
  EXPECT_FALSE(first->call("ReminderSet").toBool());
  EXPECT_EQ(first->call("Start").toDate(), day(2027, 2, 8));
  EXPECT_EQ(first->call("End").toDate(), day(2027, 2, 9));

  // The file itself: a calendar of all-day events, folded lines, escaped text.
  Folder* f = store().find(id);
  ASSERT_NE(f, nullptr);
  std::string text = readFile(store().calendarFile(*f));
  EXPECT_EQ(text.rfind("BEGIN:VCALENDAR\r\nVERSION:2.0\r\n", 0), 0u);
  EXPECT_NE(text.find("DTSTART;VALUE=DATE:20270208\r\nDTEND;VALUE=DATE:20270209\r\n"), std::string::npos);
  EXPECT_NE(text.find("DTSTART;VALUE=DATE:20270210\r\nDTEND;VALUE=DATE:20270213\r\n"), std::string::npos);
  EXPECT_NE(text.find("SUMMARY:Carnival\\, day one\\; \"big\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("DESCRIPTION:Line one\\nLine two\r\n"), std::string::npos);
  EXPECT_NE(text.find("CATEGORIES:Pellary Almoner dates\r\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 15), "END:VCALENDAR\r\n");
  size_t begins = 0, ends = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    ASSERT_FALSE(line.empty());
    ASSERT_EQ(line.back(), '\r');
    EXPECT_LE(line.size() - 1, 75u) << line;
    if (line == "BEGIN:VEVENT\r") ++begins;
    if (line == "END:VEVENT\r") ++ends;
  }
  EXPECT_EQ(begins, 2u);
  EXPECT_EQ(ends, 2u);
}

TEST(ICalendar, RoundTripsAndRefusesDamage) {
  Folder f;
  f.name = "Cal";
  Appointment a;
  a.entryID = "ABC";
  a.subject = std::string(200, 'e') + "é";
  a.body = "back\\slash, comma";
  a.allDay = true;
  a.start = oleFromCivil(2027, 1, 1);
  a.end = oleFromCivil(2027, 1, 2);
  a.reminderSet = false;
  Appointment timed = a;
  timed.entryID = "DEF";
  timed.allDay = false;
  timed.start = oleFromCivil(2027, 1, 1, 9, 30);
  timed.end = oleFromCivil(2027, 1, 1, 10, 0);
  timed.reminderSet = true;
  f.items = {a, timed};
  std::vector<Appointment> back = parseICalendar(toICalendar(f));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].entryID, "ABC");
  EXPECT_EQ(back[0].subject, a.subject);
  EXPECT_EQ(back[0].body, a.body);
  EXPECT_TRUE(back[0].allDay);
  EXPECT_FALSE(back[0].reminderSet);
  EXPECT_FALSE(back[1].allDay);
  EXPECT_TRUE(back[1].reminderSet);
  EXPECT_EQ(back[1].subject, a.subject);  // the alarm's description is not the event's
  EXPECT_EQ(civilFromOle(back[1].start).minute, 30);
  EXPECT_EQ(pellary::testing::errorOf([] { parseICalendar("BEGIN:VCALENDAR\r\n"); }), 30201);
}

TEST_F(OutlookStandIn, FindMatchesSubjectAndMidnightStart) {
  Object cal = calendar();
  addAllDay(cal, "Fair", day(2027, 5, 1), day(2027, 5, 2));
  addAllDay(cal, "Fair", day(2027, 5, 2), day(2027, 5, 3));
  addAllDay(cal, "fair", day(2027, 5, 1), day(2027, 5, 2));
  addAllDay(cal, "Say \"hi\"", day(2027, 5, 1), day(2027, 5, 2));
  Object items = obj(cal->call("Items"));
  int found = 0;
  for (Object i = obj(items->call("Find", {Variant("[Subject] = \"Fair\" and  [Start] = \"01/05/2027 12:00 AM\"")}));
       i; i = obj(items->call("FindNext"))) {
    EXPECT_EQ(i->call("Start").toDate(), day(2027, 5, 1));
    i->call("Delete");
    ++found;
  }
  EXPECT_EQ(found, 2);  // subjects compare without regard to case, as Outlook does
  EXPECT_EQ(items->call("Count").toLong(), 2);
  EXPECT_TRUE(obj(items->call("Find", {Variant("[Subject] = \"Say \"\"hi\"\"\" and [Start] = \"01/05/2027\"")})));
  EXPECT_EQ(pellary::testing::errorOf([&] { items->call("Find", {Variant("[Subject] = \"unclosed")}); }),
            err::InvalidCall);
}

TEST_F(OutlookStandIn, ExplorersAndFolders) {
  Object app = au::createObject(kApplicationClass);
  EXPECT_FALSE(obj(app->call("ActiveExplorer")));  // started with no window open
  Object ns = obj(app->call("GetNamespace", {Variant("MAPI")}));
  Object cal = obj(ns->call("GetDefaultFolder", {Variant(int32_t(9))}));
  Object inbox = obj(ns->call("GetDefaultFolder", {Variant(int32_t(6))}));
  EXPECT_EQ(inbox->call("DefaultItemType").toLong(), itemtype::Mail);
  Object top = obj(obj(ns->call("Folders"))->call("Item", {Variant(int32_t(1))}));
  Object work = obj(obj(top->call("Folders"))->call("Add", {Variant("Work"), Variant(int32_t(9))}));
  std::string workID = work->call("EntryID").toString();

  // Displaying the calendar's explorer lets the user move to another folder.
  session().onDisplay = [&](ExplorerState& e) {
    EXPECT_EQ(e.currentFolderID, cal->call("EntryID").toString());
    e.currentFolderID = workID;
  };
  obj(cal->call("GetExplorer"))->call("Display");
  Object active = obj(app->call("ActiveExplorer"));
  ASSERT_TRUE(active);
  EXPECT_EQ(obj(active->call("CurrentFolder"))->call("Name").toString(), "Work");

  EXPECT_EQ(pellary::testing::errorOf([&] { ns->call("GetFolderFromID", {Variant("0000DEAD")}); }), -2147221233);
  closeStore();
  Object app2 = au::createObject(kApplicationClass);
  Object ns2 = obj(app2->call("GetNamespace", {Variant("MAPI")}));
  EXPECT_EQ(obj(ns2->call("GetFolderFromID", {Variant(workID)}))->call("Name").toString(), "Work");
}

}  // namespace
}  // namespace pellary::platform::outlook
