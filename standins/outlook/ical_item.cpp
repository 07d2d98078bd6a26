#include "standins/outlook/ical_item.h"

#include <libical/ical.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string_view>

#include "platform/errors.h"
#include "platform/oledate.h"
#include "platform/text/trim.h"
#include "standins/outlook/outlook_store.h"

namespace pellary::standins::outlook {

using namespace pellary::platform;

namespace {

struct FreeComponent {
  void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, FreeComponent>;

constexpr const char* kProdID = "-//Pellary Almoner//Outlook stand-in//EN";

Component parse(const std::string& text) {
  Component c(icalcomponent_new_from_string(text.c_str()));
  if (c && icalcomponent_isa(c.get()) != ICAL_VCALENDAR_COMPONENT) c.reset();
  return c;
}

std::string textOf(icalcomponent* c) {
  char* s = icalcomponent_as_ical_string_r(c);
  std::string out = s ? s : "";
  std::free(s);
  return out;
}

icalcomponent* firstEvent(icalcomponent* cal) { return icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); }

icaltimetype icalTime(double ole, bool date) {
  CivilDateTime c = civilFromOle(ole);
  icaltimetype t = icaltime_null_time();
  t.year = c.year;
  t.month = c.month;
  t.day = c.day;
  t.is_date = date ? 1 : 0;
  if (!date) {
    t.hour = c.hour;
    t.minute = c.minute;
    t.second = c.second;
  }
  return t;
}

// Outlook's times are the wall clock of this machine; a UTC time is turned into it.
double oleTime(icaltimetype t) {
  if (icaltime_is_null_time(t)) return 0;
  if (t.is_date) return oleFromCivil(t.year, t.month, t.day);
  if (icaltime_is_utc(t)) {
    std::time_t secs = icaltime_as_timet(t);
    std::tm local{};
    localtime_r(&secs, &local);
    return oleFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                        local.tm_sec);
  }
  return oleFromCivil(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

icaltimetype nowUTC() { return icaltime_current_time_with_zone(icaltimezone_get_utc_timezone()); }

// Body text comes back with CR LF line breaks, as Outlook gives it.
std::string withCRLF(const char* s) {
  std::string out;
  for (const char* p = s; p && *p; ++p) {
    if (*p == '\n') out += '\r';
    if (*p != '\r') out += *p;
  }
  return out;
}

void removeAll(icalcomponent* c, icalproperty_kind kind) {
  while (icalproperty* p = icalcomponent_get_first_property(c, kind)) {
    icalcomponent_remove_property(c, p);
    icalproperty_free(p);
  }
}

void setText(icalcomponent* ev, icalproperty_kind kind, const std::string& value, bool keepWhenEmpty) {
  removeAll(ev, kind);
  if (value.empty() && !keepWhenEmpty) return;
  icalproperty* p = icalproperty_new(kind);
  icalproperty_set_value(p, icalvalue_new_text(value.c_str()));
  icalcomponent_add_property(ev, p);
}

inline bool isControl(char ch) {
  const unsigned char c = static_cast<unsigned char>(ch);
  return (c < 0x20 && c != '\t') || c == 0x7F;
}

// The text as cleanText gives it: the text itself when it has nothing to take
// out, else scratch made from it.
std::string_view cleanView(const std::string& s, bool multiLine, std::string& scratch) {
  bool clean = true;
  for (char c : s) clean = clean && !isControl(c);
  if (clean) return s;
  scratch = cleanText(s, multiLine);
  return scratch;
}

// Outlook lists categories with ", "; iCalendar keeps one value each.
template <class Take>
void eachCategory(const std::string& categories, Take take) {
  std::string scratch;
  std::string_view clean = cleanView(categories, false, scratch);
  while (true) {
    const size_t comma = clean.find(',');
    const std::string_view name = text::trimSpaces(clean.substr(0, comma));
    if (!name.empty()) take(name);
    if (comma == std::string_view::npos) break;
    clean.remove_prefix(comma + 1);
  }
}

std::vector<std::string> categoryNames(const std::string& categories) {
  std::vector<std::string> names;
  eachCategory(categories, [&](std::string_view name) { names.emplace_back(name); });
  return names;
}

void setCategories(icalcomponent* ev, const std::string& categories) {
  removeAll(ev, ICAL_CATEGORIES_PROPERTY);
  for (const std::string& name : categoryNames(categories))
    icalcomponent_add_property(ev, icalproperty_new_categories(name.c_str()));
}

void setTimes(icalcomponent* ev, const Appointment& a) {
  bool date = a.allDay;
  double end = a.end;
  if (date && end <= a.start) end = a.start + 1;
  removeAll(ev, ICAL_DURATION_PROPERTY);
  icalcomponent_set_dtstart(ev, icalTime(a.start, date));
  removeAll(ev, ICAL_DTEND_PROPERTY);
  icalcomponent_add_property(ev, icalproperty_new_dtend(icalTime(end, date)));
  removeAll(ev, ICAL_TRANSP_PROPERTY);
  icalcomponent_add_property(ev, icalproperty_new_transp(date ? ICAL_TRANSP_TRANSPARENT : ICAL_TRANSP_OPAQUE));
}

bool hasAlarm(icalcomponent* ev) { return icalcomponent_get_first_component(ev, ICAL_VALARM_COMPONENT) != nullptr; }

void setReminder(icalcomponent* ev, const Appointment& a) {
  if (a.reminderSet) {
    if (hasAlarm(ev)) return;
    icalcomponent* alarm = icalcomponent_new_valarm();
    icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
    icalproperty* d = icalproperty_new(ICAL_DESCRIPTION_PROPERTY);
    icalproperty_set_value(d, icalvalue_new_text(cleanText(a.subject, false).c_str()));
    icalcomponent_add_property(alarm, d);
    icalcomponent_add_property(alarm, icalproperty_new_trigger(icaltriggertype_from_string("-PT15M")));
    icalcomponent_add_component(ev, alarm);
    return;
  }
  while (icalcomponent* alarm = icalcomponent_get_first_component(ev, ICAL_VALARM_COMPONENT)) {
    icalcomponent_remove_component(ev, alarm);
    icalcomponent_free(alarm);
  }
}

void stamp(icalcomponent* ev, bool created) {
  icaltimetype now = nowUTC();
  icalcomponent_set_dtstamp(ev, now);
  removeAll(ev, ICAL_LASTMODIFIED_PROPERTY);
  icalcomponent_add_property(ev, icalproperty_new_lastmodified(now));
  if (created) {
    removeAll(ev, ICAL_CREATED_PROPERTY);
    icalcomponent_add_property(ev, icalproperty_new_created(now));
  }
}

bool differsInTime(double a, double b) { return std::fabs(a - b) >= 0.5 / 86400.0; }

}  // namespace

std::string cleanText(const std::string& s, bool multiLine) {
  std::string out;
  out.reserve(s.size());
  size_t run = 0;  // where the text not yet taken starts
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (!isControl(c)) continue;
    out.append(s, run, i - run);
    if (multiLine && (c == '\n' || c == '\r')) {
      if (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
      out += '\n';
    }
    run = i + 1;
  }
  out.append(s, run, std::string::npos);
  return out;
}

std::string newUID() {
  // Seeded afresh in a forked process, so that parent and child never share
  // IDs; told by the fork itself rather than a process ID asked for each time.
  static std::mt19937_64 gen;
  static bool seeded = false;
  static const bool watchingForks = [] { return ::pthread_atfork(nullptr, nullptr, [] { seeded = false; }) == 0; }();
  if (!seeded || !watchingForks) {
    std::random_device rd;
    gen.seed((uint64_t(rd()) << 32) ^ rd() ^ uint64_t(::getpid()));
    seeded = watchingForks;
  }
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (int half = 0; half < 2; ++half) {
    uint64_t v = gen();
    for (int i = 0; i < 16; ++i, v >>= 4) out += hex[v & 15];
  }
  return out;
}

bool readItem(const std::string& text, Appointment& out) {
  Component cal = parse(text);
  if (!cal) return false;
  icalcomponent* ev = firstEvent(cal.get());
  if (!ev) return false;
  Appointment a;
  const char* uid = icalcomponent_get_uid(ev);
  a.entryID = uid ? uid : "";
  const char* summary = icalcomponent_get_summary(ev);
  a.subject = withCRLF(summary);
  const char* description = icalcomponent_get_description(ev);
  a.body = withCRLF(description);
  for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_CATEGORIES_PROPERTY); p;
       p = icalcomponent_get_next_property(ev, ICAL_CATEGORIES_PROPERTY)) {
    const char* c = icalproperty_get_categories(p);
    if (!c || !*c) continue;
    if (!a.categories.empty()) a.categories += ", ";
    a.categories += c;
  }
  icaltimetype start = icalcomponent_get_dtstart(ev);
  icaltimetype end = icalcomponent_get_dtend(ev);
  a.allDay = start.is_date != 0;
  // A date the program cannot hold (a year before 100, say) makes the item
  // one it passes over, as it does any other it cannot read.
  try {
    a.start = oleTime(start);
    a.end = icaltime_is_null_time(end) ? a.start + (a.allDay ? 1 : 0) : oleTime(end);
  } catch (const AppError&) {
    return false;
  }
  a.reminderSet = hasAlarm(ev);
  out = std::move(a);
  return true;
}

namespace {

// A value as libical writes it: in text, a backslash, semicolon or comma is
// escaped and a line break is \n; in a category only the backslash is.
void appendEscaped(std::string& out, std::string_view s, bool category) {
  size_t run = 0;  // where the text not yet appended starts
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c != '\\' && (category || (c != ';' && c != ',' && c != '\n'))) continue;
    out.append(s.substr(run, i - run));
    out += '\\';
    out += c == '\n' ? 'n' : c;
    run = i + 1;
  }
  out.append(s.substr(run));
}

// One content line, folded into lines of at most 75 octets, never inside a
// UTF-8 sequence.
void appendLine(std::string& out, std::string_view line) {
  size_t limit = 75;
  while (line.size() > limit) {
    size_t cut = limit;
    while (cut > 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    out.append(line.substr(0, cut));
    out += "\r\n ";
    line.remove_prefix(cut);
    limit = 74;  // after the space that starts a folded line
  }
  out.append(line);
  out += "\r\n";
}

// A number of at least width digits, zeros first (years, months, ...: never negative).
void appendDigits(std::string& out, int value, int width) {
  char b[16];
  char* end = b + sizeof b;
  char* p = end;
  for (; value > 0 && p > b; value /= 10) *--p = char('0' + value % 10);
  while (end - p < width && p > b) *--p = '0';
  out.append(p, end);
}

// "yyyymmdd", and with a time "Thhmmss" after it, as iCalendar writes them.
void appendDateTime(std::string& out, int year, int month, int day) {
  appendDigits(out, year, 4);
  appendDigits(out, month, 2);
  appendDigits(out, day, 2);
}
void appendDateTime(std::string& out, int year, int month, int day, int hour, int minute, int second) {
  appendDateTime(out, year, month, day);
  out += 'T';
  appendDigits(out, hour, 2);
  appendDigits(out, minute, 2);
  appendDigits(out, second, 2);
}

// DTSTART/DTEND as libical writes a floating time or a date.
void putTime(std::string& line, const char* name, double ole, bool date) {
  const CivilDateTime c = civilFromOle(ole);
  line = name;
  line += date ? ";VALUE=DATE:" : ":";
  if (date)
    appendDateTime(line, c.year, c.month, c.day);
  else
    appendDateTime(line, c.year, c.month, c.day, c.hour, c.minute, c.second);
}

std::string utcStamp(std::time_t now) {
  std::tm t{};
  gmtime_r(&now, &t);
  std::string out;
  appendDateTime(out, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  out += 'Z';
  return out;
}

}  // namespace

std::string newItemText(const Appointment& a) { return newItemText(a, std::time(nullptr)); }

// Written directly rather than through libical's components: a save is
// dominated by building and printing them. The text is what libical writes
// for the same item (the tests hold the two side by side).
std::string newItemText(const Appointment& a, std::time_t now) {
  const bool date = a.allDay;
  const double end = date && a.end <= a.start ? a.start + 1 : a.end;
  const std::string stamp = utcStamp(now);
  std::string out, line, scratch;
  out.reserve(640);
  line.reserve(128);
  auto text = [&](const char* name, std::string_view value, bool category = false) {
    line = name;
    line += ':';
    appendEscaped(line, value, category);
    appendLine(out, line);
  };
  auto stamped = [&](const char* name) {
    line = name;
    line += stamp;
    appendLine(out, line);
  };
  // The fixed lines need no escaping or folding.
  out += "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:";
  out += kProdID;
  out += "\r\nBEGIN:VEVENT\r\n";
  text("UID", a.entryID);
  stamped("DTSTAMP:");
  stamped("LAST-MODIFIED:");
  stamped("CREATED:");
  out += "SEQUENCE:0\r\n";
  putTime(line, "DTSTART", a.start, date);
  appendLine(out, line);
  putTime(line, "DTEND", end, date);
  appendLine(out, line);
  out += date ? "TRANSP:TRANSPARENT\r\n" : "TRANSP:OPAQUE\r\n";
  text("SUMMARY", cleanView(a.subject, false, scratch));
  if (const std::string_view body = cleanView(a.body, true, scratch); !body.empty()) text("DESCRIPTION", body);
  eachCategory(a.categories, [&](std::string_view name) { text("CATEGORIES", name, true); });
  if (a.reminderSet) {
    appendLine(out, "BEGIN:VALARM");
    appendLine(out, "ACTION:DISPLAY");
    text("DESCRIPTION", cleanView(a.subject, false, scratch));
    appendLine(out, "TRIGGER:-PT15M");
    appendLine(out, "END:VALARM");
  }
  out += "END:VEVENT\r\nEND:VCALENDAR\r\n";
  return out;
}

std::vector<std::string> differences(const Appointment& a, const Appointment& b) {
  std::vector<std::string> out;
  if (cleanText(a.subject, false) != cleanText(b.subject, false)) out.push_back("Subject");
  if (cleanText(a.body, true) != cleanText(b.body, true)) out.push_back("Body");
  if (a.categories != b.categories) out.push_back("Categories");
  if (a.allDay != b.allDay || differsInTime(a.start, b.start) || differsInTime(a.end, b.end)) out.push_back("Time");
  if (a.reminderSet != b.reminderSet) out.push_back("ReminderSet");
  return out;
}

std::string changedItemText(const std::string& text, const Appointment& mine, const Appointment& base) {
  Component cal = parse(text);
  icalcomponent* ev = cal ? firstEvent(cal.get()) : nullptr;
  if (!ev) return newItemText(mine);
  for (const std::string& what : differences(mine, base)) {
    if (what == "Subject") setText(ev, ICAL_SUMMARY_PROPERTY, cleanText(mine.subject, false), true);
    if (what == "Body") setText(ev, ICAL_DESCRIPTION_PROPERTY, cleanText(mine.body, true), false);
    if (what == "Categories") setCategories(ev, mine.categories);
    if (what == "Time") setTimes(ev, mine);
    if (what == "ReminderSet") setReminder(ev, mine);
  }
  icalcomponent_set_sequence(ev, icalcomponent_get_sequence(ev) + 1);
  stamp(ev, false);
  return textOf(cal.get());
}

std::vector<std::pair<std::string, std::string>> splitCalendar(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> out;
  Component cal = parse(text);
  if (!cal) return out;
  std::vector<icalcomponent*> zones;
  std::vector<std::string> uids;
  std::map<std::string, std::vector<icalcomponent*>> byUID;
  for (icalcomponent* c = icalcomponent_get_first_component(cal.get(), ICAL_ANY_COMPONENT); c;
       c = icalcomponent_get_next_component(cal.get(), ICAL_ANY_COMPONENT)) {
    if (icalcomponent_isa(c) == ICAL_VTIMEZONE_COMPONENT) {
      zones.push_back(c);
      continue;
    }
    const char* uid = icalcomponent_get_uid(c);
    std::string key = uid && *uid ? uid : newUID();
    if (!byUID.count(key)) uids.push_back(key);
    byUID[key].push_back(c);
  }
  for (const std::string& uid : uids) {
    Component one(icalcomponent_new_vcalendar());
    // The calendar's own properties (VERSION, PRODID, ...) stay with each item.
    for (icalproperty* p = icalcomponent_get_first_property(cal.get(), ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(cal.get(), ICAL_ANY_PROPERTY))
      icalcomponent_add_property(one.get(), icalproperty_new_clone(p));
    for (icalcomponent* z : zones) icalcomponent_add_component(one.get(), icalcomponent_new_clone(z));
    for (icalcomponent* c : byUID[uid]) icalcomponent_add_component(one.get(), icalcomponent_new_clone(c));
    out.emplace_back(uid, textOf(one.get()));
  }
  return out;
}

}  // namespace pellary::standins::outlook
