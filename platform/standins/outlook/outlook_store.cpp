#include "platform/standins/outlook/outlook_store.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/errors.h"
#include "platform/oledate.h"
#include "platform/paths.h"

namespace pellary::platform::outlook {

namespace fs = std::filesystem;

namespace {

constexpr long kNotACalendar = 30201;
constexpr const char* kIndexFile = "folders.txt";

void writeAtomically(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  fs::path tmp = file;
  tmp += ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) raise(err::PathFileAccess, "Cannot write " + tmp.string());
  }
  std::error_code ec;
  fs::rename(tmp, file, ec);
  if (ec) raise(err::PathFileAccess, "Cannot replace " + file.string());
}

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> out(1);
  for (char c : line) {
    if (c == '\t')
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

// Folder names go into the index file: tabs and line breaks become blanks.
std::string cleanName(std::string s) {
  for (char& c : s)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return s;
}

// --- iCalendar text -----------------------------------------------------------

std::string escapeText(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    switch (c) {
      case '\\': out += "\\\\"; break;
      case ';': out += "\\;"; break;
      case ',': out += "\\,"; break;
      case '\r':
        if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
        out += "\\n";
        break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

// Body lines come back with CR LF, as they were written.
std::string unescapeText(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char n = s[++i];
      if (n == 'n' || n == 'N')
        out += "\r\n";
      else
        out += n;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Folds a content line at 75 octets, never inside a UTF-8 sequence.
void addLine(std::string& out, const std::string& line) {
  size_t pos = 0, limit = 75;
  while (line.size() - pos > limit) {
    size_t cut = pos + limit;
    while (cut > pos && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    out.append(line, pos, cut - pos);
    out += "\r\n ";
    pos = cut;
    limit = 74;  // the leading blank counts
  }
  out.append(line, pos, std::string::npos);
  out += "\r\n";
}

std::string two(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

std::string icalDate(double ole) {
  CivilDateTime c = civilFromOle(ole);
  char b[16];
  std::snprintf(b, sizeof b, "%04d%02d%02d", c.year, c.month, c.day);
  return b;
}

std::string icalDateTime(double ole) {
  CivilDateTime c = civilFromOle(ole);
  return icalDate(ole) + "T" + two(c.hour) + two(c.minute) + two(c.second);
}

double parseIcalDate(const std::string& v) {
  if (v.size() < 8) raise(kNotACalendar, "Bad date " + v);
  int y = std::stoi(v.substr(0, 4)), m = std::stoi(v.substr(4, 2)), d = std::stoi(v.substr(6, 2));
  int hh = 0, mm = 0, ss = 0;
  if (v.size() >= 15 && v[8] == 'T') {
    hh = std::stoi(v.substr(9, 2));
    mm = std::stoi(v.substr(11, 2));
    ss = std::stoi(v.substr(13, 2));
  }
  return oleFromCivil(y, m, d, hh, mm, ss);
}

std::string upper(std::string s) { return paths::toUpperAscii(s); }

}  // namespace

std::string toICalendar(const Folder& f) {
  std::string out;
  addLine(out, "BEGIN:VCALENDAR");
  addLine(out, "VERSION:2.0");
  addLine(out, "PRODID:-//Pellary Almoner//Outlook stand-in//EN");
  addLine(out, "CALSCALE:GREGORIAN");
  addLine(out, "X-WR-CALNAME:" + escapeText(f.name));
  for (const Appointment& a : f.items) {
    addLine(out, "BEGIN:VEVENT");
    addLine(out, "UID:" + a.entryID + "@outlook.pellary");
    addLine(out, "DTSTAMP:19991231T000000Z");
    if (a.allDay) {
      addLine(out, "DTSTART;VALUE=DATE:" + icalDate(a.start));
      addLine(out, "DTEND;VALUE=DATE:" + icalDate(a.end > a.start ? a.end : a.start + 1));
    } else {
      addLine(out, "DTSTART:" + icalDateTime(a.start));
      addLine(out, "DTEND:" + icalDateTime(a.end));
    }
    addLine(out, "SUMMARY:" + escapeText(a.subject));
    if (!a.body.empty()) addLine(out, "DESCRIPTION:" + escapeText(a.body));
    if (!a.categories.empty()) addLine(out, "CATEGORIES:" + escapeText(a.categories));
    addLine(out, std::string("TRANSP:") + (a.allDay ? "TRANSPARENT" : "OPAQUE"));
    addLine(out, std::string("X-PELLARY-REMINDER:") + (a.reminderSet ? "TRUE" : "FALSE"));
    if (a.reminderSet) {
      addLine(out, "BEGIN:VALARM");
      addLine(out, "ACTION:DISPLAY");
      addLine(out, "DESCRIPTION:" + escapeText(a.subject));
      addLine(out, "TRIGGER:-PT15M");
      addLine(out, "END:VALARM");
    }
    addLine(out, "END:VEVENT");
  }
  addLine(out, "END:VCALENDAR");
  return out;
}

std::vector<Appointment> parseICalendar(const std::string& text) {
  // Unfold: a line break followed by a blank or tab continues the line.
  std::vector<std::string> lines;
  std::string cur;
  bool have = false;
  std::istringstream in(text);
  std::string raw;
  while (std::getline(in, raw)) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    if (!raw.empty() && (raw[0] == ' ' || raw[0] == '\t') && have) {
      cur += raw.substr(1);
      continue;
    }
    if (have) lines.push_back(cur);
    cur = raw;
    have = true;
  }
  if (have) lines.push_back(cur);
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.empty() || upper(lines.front()) != "BEGIN:VCALENDAR" || upper(lines.back()) != "END:VCALENDAR")
    raise(kNotACalendar, "The calendar file is damaged");

  std::vector<Appointment> out;
  Appointment a;
  bool inEvent = false, inAlarm = false;
  for (const std::string& line : lines) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string head = upper(line.substr(0, colon)), value = line.substr(colon + 1);
    std::string name = head.substr(0, head.find(';'));
    if (name == "BEGIN" && upper(value) == "VEVENT") {
      a = Appointment{};
      a.reminderSet = false;
      inEvent = true;
    } else if (name == "BEGIN" && upper(value) == "VALARM") {
      inAlarm = true;
    } else if (name == "END" && upper(value) == "VALARM") {
      inAlarm = false;
    } else if (name == "END" && upper(value) == "VEVENT") {
      if (inEvent) out.push_back(a);
      inEvent = false;
    } else if (inEvent && !inAlarm) {
      if (name == "UID") {
        a.entryID = value.substr(0, value.find('@'));
      } else if (name == "DTSTART") {
        a.start = parseIcalDate(value);
        a.allDay = head.find("VALUE=DATE") != std::string::npos && head.find("VALUE=DATE-TIME") == std::string::npos;
      } else if (name == "DTEND") {
        a.end = parseIcalDate(value);
      } else if (name == "SUMMARY") {
        a.subject = unescapeText(value);
      } else if (name == "DESCRIPTION") {
        a.body = unescapeText(value);
      } else if (name == "CATEGORIES") {
        a.categories = unescapeText(value);
      } else if (name == "X-PELLARY-REMINDER") {
        a.reminderSet = upper(value) == "TRUE";
      }
    }
  }
  return out;
}

// --- filters --------------------------------------------------------------------

namespace {

// "dd/mm/yyyy[ hh:mm[:ss][ AM|PM]]"; false when the text is no such date.
bool parseFilterDate(const std::string& s, double& out) {
  int d = 0, m = 0, y = 0, hh = 0, mm = 0, ss = 0;
  char ampm[3] = {0, 0, 0};
  int n = std::sscanf(s.c_str(), "%d/%d/%d %d:%d:%d", &d, &m, &y, &hh, &mm, &ss);
  if (n < 3) return false;
  if (n == 5) std::sscanf(s.c_str(), "%*d/%*d/%*d %*d:%*d %2s", ampm);
  if (n == 6) std::sscanf(s.c_str(), "%*d/%*d/%*d %*d:%*d:%*d %2s", ampm);
  std::string half = upper(ampm);
  if (half == "AM" && hh == 12) hh = 0;
  if (half == "PM" && hh < 12) hh += 12;
  try {
    out = oleFromCivil(y, m, d, hh, mm, ss);
  } catch (const AppError&) {
    return false;
  }
  return true;
}

struct Condition {
  std::string property;
  std::string value;
};

std::vector<Condition> parseFilter(const std::string& f) {
  std::vector<Condition> out;
  size_t i = 0;
  auto skip = [&] {
    while (i < f.size() && std::isspace(static_cast<unsigned char>(f[i]))) ++i;
  };
  auto bad = [&] { raise(err::InvalidCall, "Cannot parse the condition: " + f); };
  while (true) {
    skip();
    if (i >= f.size() || f[i] != '[') bad();
    size_t close = f.find(']', i);
    if (close == std::string::npos) bad();
    Condition c{upper(f.substr(i + 1, close - i - 1)), {}};
    i = close + 1;
    skip();
    if (i >= f.size() || f[i] != '=') bad();
    ++i;
    skip();
    if (i >= f.size() || f[i] != '"') bad();
    ++i;
    bool closed = false;
    while (i < f.size()) {
      if (f[i] == '"') {
        if (i + 1 < f.size() && f[i + 1] == '"') {
          c.value += '"';
          i += 2;
          continue;
        }
        ++i;
        closed = true;
        break;
      }
      c.value += f[i++];
    }
    if (!closed) bad();
    out.push_back(std::move(c));
    skip();
    if (i >= f.size()) break;
    if (f.size() - i < 3 || upper(f.substr(i, 3)) != "AND") bad();
    i += 3;
  }
  return out;
}

bool sameMoment(double a, double b) { return std::fabs(a - b) < 0.5 / 86400.0; }

}  // namespace

bool matchesFilter(const Appointment& a, const std::string& filter) {
  for (const Condition& c : parseFilter(filter)) {
    if (c.property == "SUBJECT") {
      if (!paths::equalsIgnoreCase(a.subject, c.value)) return false;
    } else if (c.property == "BODY") {
      if (!paths::equalsIgnoreCase(a.body, c.value)) return false;
    } else if (c.property == "CATEGORIES") {
      if (!paths::equalsIgnoreCase(a.categories, c.value)) return false;
    } else if (c.property == "START" || c.property == "END") {
      double when = 0;
      if (!parseFilterDate(c.value, when)) raise(err::TypeMismatch, "Not a date: " + c.value);
      if (!sameMoment(c.property == "START" ? a.start : a.end, when)) return false;
    } else if (c.property == "ALLDAYEVENT") {
      bool want = upper(c.value) == "TRUE" || c.value == "-1" || c.value == "1";
      if (a.allDay != want) return false;
    } else {
      raise(err::InvalidCall, "Unknown property in the condition: " + c.property);
    }
  }
  return true;
}

// --- the store --------------------------------------------------------------------

Store::Store(fs::path root) : root_(std::move(root)) {
  load();
  if (folders_.empty()) {
    Folder& top = addFolder("", "Personal Folders", itemtype::Mail);
    addFolder(top.entryID, "Calendar", itemtype::Appointment);
    addFolder(top.entryID, "Contacts", itemtype::Contact);
    addFolder(top.entryID, "Inbox", itemtype::Mail);
    addFolder(top.entryID, "Notes", itemtype::Note);
    addFolder(top.entryID, "Tasks", itemtype::Task);
  }
}

std::string Store::newID() {
  static std::mt19937_64 gen{std::random_device{}()};
  char b[64];
  std::snprintf(b, sizeof b, "00000000%016llX%08llX", static_cast<unsigned long long>(gen()),
                static_cast<unsigned long long>(++counter_));
  return b;
}

void Store::load() {
  fs::path index = root_ / kIndexFile;
  if (!fs::exists(index)) return;
  std::istringstream in(readAll(index));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> parts = splitTabs(line);
    if (parts.size() < 5) continue;
    auto f = std::make_unique<Folder>();
    f->entryID = parts[0];
    f->parentID = parts[1];
    f->defaultItemType = std::atoi(parts[2].c_str());
    f->name = parts[3];
    f->fileName = parts[4];
    if (!f->fileName.empty() && fs::exists(root_ / f->fileName)) f->items = parseICalendar(readAll(root_ / f->fileName));
    folders_.push_back(std::move(f));
  }
}

void Store::saveIndex() const {
  std::string text;
  for (const auto& f : folders_)
    text += f->entryID + "\t" + f->parentID + "\t" + std::to_string(f->defaultItemType) + "\t" + cleanName(f->name) +
            "\t" + f->fileName + "\n";
  writeAtomically(root_ / kIndexFile, text);
}

void Store::saveCalendar(const Folder& f) const {
  if (!f.fileName.empty()) writeAtomically(root_ / f.fileName, toICalendar(f));
}

Folder* Store::find(const std::string& entryID) {
  for (auto& f : folders_)
    if (!entryID.empty() && paths::equalsIgnoreCase(f->entryID, entryID)) return f.get();
  return nullptr;
}

Folder* Store::defaultFolder(int32_t which) {
  const char* name = nullptr;
  switch (which) {
    case defaultfolder::Inbox: name = "Inbox"; break;
    case defaultfolder::Calendar: name = "Calendar"; break;
    case defaultfolder::Contacts: name = "Contacts"; break;
    case defaultfolder::Notes: name = "Notes"; break;
    case defaultfolder::Tasks: name = "Tasks"; break;
    default: return nullptr;
  }
  if (folders_.empty()) return nullptr;
  const std::string& top = folders_.front()->entryID;
  for (auto& f : folders_)
    if (f->parentID == top && paths::equalsIgnoreCase(f->name, name)) return f.get();
  return nullptr;
}

std::vector<Folder*> Store::children(const std::string& parentID) {
  std::vector<Folder*> out;
  for (auto& f : folders_)
    if (f->parentID == parentID) out.push_back(f.get());
  return out;
}

std::vector<Folder*> Store::all() {
  std::vector<Folder*> out;
  for (auto& f : folders_) out.push_back(f.get());
  return out;
}

std::string Store::pathOf(const Folder& f) const {
  std::string path = f.name;
  std::string parent = f.parentID;
  for (int guard = 0; !parent.empty() && guard < 64; ++guard) {
    const Folder* p = nullptr;
    for (const auto& g : folders_)
      if (g->entryID == parent) p = g.get();
    if (!p) break;
    path = p->name + "\\" + path;
    parent = p->parentID;
  }
  return path;
}

Folder& Store::addFolder(const std::string& parentID, const std::string& name, int32_t type) {
  auto f = std::make_unique<Folder>();
  f->entryID = newID();
  f->parentID = parentID;
  f->name = name;
  f->defaultItemType = type;
  if (type == itemtype::Appointment) {
    // A readable file name; the entry ID keeps two folders of one name apart.
    std::string base;
    for (char c : name) base += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
    f->fileName = base + "-" + f->entryID.substr(8, 8) + ".ics";
  }
  folders_.push_back(std::move(f));
  Folder& added = *folders_.back();
  saveCalendar(added);
  saveIndex();
  return added;
}

std::string Store::saveItem(const std::string& folderID, Appointment item) {
  Folder* f = find(folderID);
  if (!f) raise(err::InvalidCall, "The folder no longer exists");
  if (item.entryID.empty()) item.entryID = newID();
  std::string id = item.entryID;
  auto it = std::find_if(f->items.begin(), f->items.end(), [&](const Appointment& a) { return a.entryID == id; });
  if (it != f->items.end())
    *it = std::move(item);
  else
    f->items.push_back(std::move(item));
  saveCalendar(*f);
  return id;
}

bool Store::deleteItem(const std::string& folderID, const std::string& entryID) {
  Folder* f = find(folderID);
  if (!f) return false;
  auto it = std::find_if(f->items.begin(), f->items.end(), [&](const Appointment& a) { return a.entryID == entryID; });
  if (it == f->items.end()) return false;
  f->items.erase(it);
  saveCalendar(*f);
  return true;
}

namespace {
std::unique_ptr<Store>& current() {
  static std::unique_ptr<Store> s;
  return s;
}
}  // namespace

Store& store() {
  fs::path root = paths::standinsFolder() / "Outlook";
  auto& s = current();
  if (!s || s->root() != root) {
    s = std::make_unique<Store>(root);
    session() = Session{{}, session().onDisplay};
  }
  return *s;
}

Session& session() {
  static Session s;
  return s;
}

void closeStore() {
  current().reset();
  session().activeExplorer.reset();
}

}  // namespace pellary::platform::outlook
