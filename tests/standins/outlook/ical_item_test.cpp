#include "standins/outlook/ical_item.h"

#include <gtest/gtest.h>
#include <libical/ical.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>
#include <string>

#include "platform/oledate.h"
#include "standins/outlook/outlook_store.h"

namespace pellary::standins::outlook {

using namespace pellary::platform;
namespace {

// A new item as libical builds and prints it: what the store wrote before it
// wrote the text itself, and what the text must still say.
std::string libicalItemText(const Appointment& a, std::time_t now) {
  icalcomponent* cal = icalcomponent_new_vcalendar();
  icalcomponent_add_property(cal, icalproperty_new_version("2.0"));
  icalcomponent_add_property(cal, icalproperty_new_prodid("-//Pellary Almoner//Outlook stand-in//EN"));
  icalcomponent* ev = icalcomponent_new_vevent();
  icalcomponent_add_component(cal, ev);
  icalcomponent_set_uid(ev, a.entryID.c_str());
  const icaltimetype stamp = icaltime_from_timet_with_zone(now, 0, icaltimezone_get_utc_timezone());
  icalcomponent_set_dtstamp(ev, stamp);
  icalcomponent_add_property(ev, icalproperty_new_lastmodified(stamp));
  icalcomponent_add_property(ev, icalproperty_new_created(stamp));
  icalcomponent_set_sequence(ev, 0);
  auto time = [](double ole, bool date) {
    const CivilDateTime c = civilFromOle(ole);
    icaltimetype t = icaltime_null_time();
    t.year = c.year;
    t.month = c.month;
    t.day = c.day;
    t.is_date = date;
    if (!date) {
      t.hour = c.hour;
      t.minute = c.minute;
      t.second = c.second;
    }
    return t;
  };
  const double end = a.allDay && a.end <= a.start ? a.start + 1 : a.end;
  icalcomponent_set_dtstart(ev, time(a.start, a.allDay));
  icalcomponent_add_property(ev, icalproperty_new_dtend(time(end, a.allDay)));
  icalcomponent_add_property(ev, icalproperty_new_transp(a.allDay ? ICAL_TRANSP_TRANSPARENT : ICAL_TRANSP_OPAQUE));
  auto text = [](icalcomponent* c, icalproperty_kind kind, const std::string& value) {
    icalproperty* p = icalproperty_new(kind);
    icalproperty_set_value(p, icalvalue_new_text(value.c_str()));
    icalcomponent_add_property(c, p);
  };
  text(ev, ICAL_SUMMARY_PROPERTY, cleanText(a.subject, false));
  if (!cleanText(a.body, true).empty()) text(ev, ICAL_DESCRIPTION_PROPERTY, cleanText(a.body, true));
  std::string clean = cleanText(a.categories, false);
  for (size_t from = 0; from <= clean.size();) {
    const size_t comma = clean.find(',', from);
    std::string one = clean.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    one.erase(0, one.find_first_not_of(' '));
    one.erase(one.find_last_not_of(' ') + 1);
    if (!one.empty()) icalcomponent_add_property(ev, icalproperty_new_categories(one.c_str()));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  if (a.reminderSet) {
    icalcomponent* alarm = icalcomponent_new_valarm();
    icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
    text(alarm, ICAL_DESCRIPTION_PROPERTY, cleanText(a.subject, false));
    icalcomponent_add_property(alarm, icalproperty_new_trigger(icaltriggertype_from_string("-PT15M")));
    icalcomponent_add_component(ev, alarm);
  }
  char* s = icalcomponent_as_ical_string_r(cal);
  std::string out = s;
  std::free(s);
  icalcomponent_free(cal);
  return out;
}

// The content lines, with every fold taken out.
std::string unfolded(std::string text) {
  for (size_t at; (at = text.find("\r\n ")) != std::string::npos;) text.erase(at, 3);
  return text;
}

struct ItemCase {
  const char* name;
  Appointment item;
};
void PrintTo(const ItemCase& c, std::ostream* os) { *os << c.name; }

Appointment item(std::string subject, std::string body, std::string categories, bool allDay, bool reminder) {
  Appointment a;
  a.entryID = "0123456789ABCDEF0123456789ABCDEF";
  a.subject = std::move(subject);
  a.body = std::move(body);
  a.categories = std::move(categories);
  a.allDay = allDay;
  a.start = oleFromCivil(2027, 3, 14, allDay ? 0 : 9, allDay ? 0 : 30, allDay ? 0 : 5);
  a.end = allDay ? a.start : a.start + 1.5 / 24;
  a.reminderSet = reminder;
  return a;
}

const std::string kLong(200, 'w');

class NewItemText : public ::testing::TestWithParam<ItemCase> {};

// The text says what libical says for the same item, line for line, and
// every line keeps within 75 octets without cutting a character apart.
TEST_P(NewItemText, SaysWhatLibicalSaysInFoldedLines) {
  const Appointment& a = GetParam().item;
  const std::time_t now = 1796000000;
  const std::string mine = newItemText(a, now);
  EXPECT_EQ(unfolded(mine), unfolded(libicalItemText(a, now)));
  EXPECT_NE(mine.find("DTSTAMP:20261130T005320Z"), std::string::npos) << "the moment given";
  size_t from = 0;
  for (size_t end; (end = mine.find("\r\n", from)) != std::string::npos; from = end + 2) {
    const std::string line = mine.substr(from, end - from);
    EXPECT_LE(line.size(), 75u) << line;
    const size_t body = line.empty() || line[0] != ' ' ? 0 : 1;
    if (line.size() > body) {
      EXPECT_NE(static_cast<unsigned char>(line[body]) & 0xC0, 0x80) << line;
    }
  }
  EXPECT_EQ(from, mine.size()) << "the text ends with a line break";
  // Read back, the folds make no difference.
  Appointment back, theirs;
  ASSERT_TRUE(readItem(mine, back));
  ASSERT_TRUE(readItem(libicalItemText(a, now), theirs));
  EXPECT_TRUE(differences(back, theirs).empty());
  EXPECT_EQ(back.subject, theirs.subject);
  EXPECT_EQ(back.body, theirs.body);
  EXPECT_EQ(back.entryID, a.entryID);
}

INSTANTIATE_TEST_SUITE_P(
    Items, NewItemText,
    ::testing::Values(ItemCase{"AllDayEndingAtItsStart", item("Fair", "Tel: 1\r\nWeb: x", "Dates, Fairs", true, false)},
                      ItemCase{"TimedWithReminder", item("Meeting", "", "", false, true)},
                      ItemCase{"EscapedCharacters", item("a;b,c\\d:e\"f\tg", "one\ntwo;three,four\\five",
                                                         "semi;colon, back\\slash,  spaced  ", false, true)},
                      ItemCase{"ControlCharactersGo", item("x\x01y\x7Fz", "p\x02q\r\nr", "c\x03d", true, false)},
                      ItemCase{"LongAsciiLines", item(kLong, kLong + "\n" + kLong, "Cat " + kLong, true, true)},
                      ItemCase{"LongUtf8Lines",
                               item(
                                   std::string(60, 'a') + "\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC" + std::string(70, 'b'),
                                   [] {
                                     std::string s;
                                     for (int i = 0; i < 60; ++i) s += "\xC3\xA9";
                                     return s;
                                   }(),
                                   "\xE6\x97\xA5\xE6\x9C\xAC " + kLong, false, false)}),
    [](const ::testing::TestParamInfo<ItemCase>& i) { return std::string(i.param.name); });

// A forked child goes on from its parent's state: its next UID must still be
// another than the parent's next one.
TEST(NewUID, AForkedChildNeverRepeatsItsParentsNext) {
  newUID();  // seeded before the fork
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string id = newUID();
    ::_exit(::write(pipe[1], id.data(), id.size()) == ssize_t(id.size()) ? 0 : 1);
  }
  ::close(pipe[1]);
  const std::string mine = newUID();
  char buf[64];
  const ssize_t n = ::read(pipe[0], buf, sizeof buf);
  ::close(pipe[0]);
  int status = -1;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_GT(n, 0);
  EXPECT_NE(std::string(buf, size_t(n)), mine);
  EXPECT_EQ(mine.size(), 32u);
}

}  // namespace
}  // namespace pellary::standins::outlook
