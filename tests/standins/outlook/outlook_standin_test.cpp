#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <future>
#include <optional>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "outlook_fixture.h"
#include "platform/errors.h"
#include "platform/files/removals.h"
#include "platform/oledate.h"
#include "standins/outlook/item_cache.h"
#include "standins/outlook/local_files.h"
#include "standins/outlook/outlook_store.h"
#include "support/fixtures.h"

namespace pellary::standins::outlook {

using namespace pellary::platform;
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> itemFiles(const fs::path& dir) {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".ics") out.push_back(e.path());
  return out;
}

size_t occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// A monthly meeting in Berlin time with a place and an alarm, as another
// calendar program writes it.
std::string foreignEvent(const std::string& uid, const std::string& summary) {
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//Calendar//EN\r\n"
         "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"
         "BEGIN:STANDARD\r\nDTSTART:19701025T030000\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\n"
         "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\n"
         "BEGIN:DAYLIGHT\r\nDTSTART:19700329T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n"
         "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n"
         "BEGIN:VEVENT\r\nUID:" +
         uid +
         "\r\nDTSTAMP:20260101T120000Z\r\n"
         "DTSTART;TZID=Europe/Berlin:20270301T100000\r\nDTEND;TZID=Europe/Berlin:20270301T110000\r\n"
         "RRULE:FREQ=MONTHLY;COUNT=12\r\nSUMMARY:" +
         summary +
         "\r\nLOCATION:Town hall\r\n"
         "X-OTHER-COLOUR:teal\r\n"
         "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Soon\r\nTRIGGER:-PT30M\r\nEND:VALARM\r\n"
         "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

class OutlookStandIn : public OutlookTest {
 protected:
  static fs::path calendarDir() { return store().defaultFolder(defaultfolder::Calendar)->dir; }
};

TEST_F(OutlookStandIn, EachSavedItemIsOneICalendarFileThatOutlivesTheProcess) {
  Object cal = calendar();
  EXPECT_EQ(cal->call("DefaultItemType").toLong(), itemtype::Appointment);
  std::string id = cal->call("EntryID").toString();
  Object carnival =
      addAllDay(cal, "Carnival, day one; \"big\"", day(2027, 2, 8), day(2027, 2, 9), "Line one\r\nLine two");
  addAllDay(cal, std::string("Fête ") + std::string(80, 'x'), day(2027, 2, 10), day(2027, 2, 13));

  // The folder is a directory of its own, named and identified by small files in it.
  const fs::path dir = calendarDir();
  EXPECT_EQ(dir, standins() / "Outlook" / "Personal Folders" / "Calendar");
  EXPECT_EQ(readFile(dir / "displayname"), "Calendar");
  EXPECT_NE(readFile(dir / ".outlook-folder").find("EntryID=" + id + "\n"), std::string::npos);
  ASSERT_EQ(itemFiles(dir).size(), 2u);

  // One calendar with one event per file; the file is named by the UID, which is the entry ID.
  const std::string entryID = carnival->call("EntryID").toString();
  const std::string text = readFile(dir / (entryID + ".ics"));
  EXPECT_EQ(text.rfind("BEGIN:VCALENDAR\r\n", 0), 0u);
  EXPECT_EQ(occurrences(text, "BEGIN:VEVENT"), 1u);
  EXPECT_NE(text.find("UID:" + entryID + "\r\n"), std::string::npos);
  EXPECT_NE(text.find("DTSTART;VALUE=DATE:20270208\r\n"), std::string::npos);
  EXPECT_NE(text.find("DTEND;VALUE=DATE:20270209\r\n"), std::string::npos);
  EXPECT_NE(text.find("SUMMARY:Carnival\\, day one\\; \"big\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("DESCRIPTION:Line one\\nLine two\r\n"), std::string::npos);
  EXPECT_NE(text.find("CATEGORIES:Pellary Almoner dates\r\n"), std::string::npos);
  EXPECT_NE(text.find("SEQUENCE:0\r\n"), std::string::npos);
  EXPECT_NE(text.find("LAST-MODIFIED:"), std::string::npos);
  // Stamped with the moment of writing, not a fixed date.
  const std::string year = std::to_string(civilFromOle(now()).year);
  EXPECT_NE(text.find("DTSTAMP:" + year), std::string::npos) << text;
  EXPECT_EQ(text.find("BEGIN:VALARM"), std::string::npos);
  for (const fs::path& file : itemFiles(dir)) {
    std::istringstream lines(readFile(file));
    for (std::string line; std::getline(lines, line);) {
      ASSERT_EQ(line.back(), '\r');
      EXPECT_LE(line.size() - 1, 75u) << line;
    }
  }

  closeStore();  // a new Outlook process
  Object again = obj(nameSpace()->call("GetFolderFromID", {Variant(id)}));
  Object items = obj(again->call("Items"));
  ASSERT_EQ(items->call("Count").toLong(), 2);
  Object first = findFirst(again, "[Subject] = \"Carnival, day one; \"\"big\"\"\"");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->call("EntryID").toString(), entryID);
  EXPECT_EQ(first->call("Body").toString(), "Line one\r\nLine two");
  EXPECT_EQ(first->call("Categories").toString(), "Pellary Almoner dates");
  EXPECT_TRUE(first->call("AllDayEvent").toBool());
  EXPECT_FALSE(first->call("ReminderSet").toBool());
  EXPECT_EQ(first->call("Start").toDate(), day(2027, 2, 8));
  EXPECT_EQ(first->call("End").toDate(), day(2027, 2, 9));

  // A delete removes that item's file and nothing else.
  first->call("Delete");
  EXPECT_FALSE(fs::exists(dir / (entryID + ".ics")));
  EXPECT_EQ(itemFiles(dir).size(), 1u);
  EXPECT_EQ(items->call("Count").toLong(), 1);
}

TEST_F(OutlookStandIn, ADeletedItemLeavesTheFolderAtOnceAndNothingStaysBehind) {
  Object cal = calendar();
  const fs::path dir = calendarDir();
  Object gone = addAllDay(cal, "Gone", day(2027, 3, 1));
  Object kept = addAllDay(cal, "Kept", day(2027, 3, 2));
  const std::string keptFile = kept->call("EntryID").toString() + ".ics";
  gone->call("Delete");
  // Readers of the folder no longer see it, before the pass's flush.
  EXPECT_FALSE(fs::exists(dir / (gone->call("EntryID").toString() + ".ics")));
  EXPECT_EQ(itemFiles(dir).size(), 1u);

  // A file a run left hidden, not yet unlinked when it ended, goes when the folder is next read.
  writeFile(dir / ".left-by-an-ended-run.ics.gone", foreignEvent("left@other.example", "Left"));
  closeStore();
  EXPECT_EQ(obj(calendar()->call("Items"))->call("Count").toLong(), 1);
  platform::files::finishRemovals();
  EXPECT_EQ(itemFiles(dir), std::vector<fs::path>{dir / keptFile});
  for (const auto& e : fs::directory_iterator(dir)) EXPECT_NE(e.path().extension(), ".gone") << e.path();
}

TEST_F(OutlookStandIn, ControlCharactersGoOnWriteAndTheTitleIsStillFound) {
  Object cal = calendar();
  const std::string title = std::string("Bell\x07 ringing\x1b[0m\tday");
  Object item = addAllDay(cal, title, day(2027, 6, 1), day(2027, 6, 2),
                          "a\x01"
                          "b\r\nc");
  const std::string text =
      readFile(store().itemFile(cal->call("EntryID").toString(), item->call("EntryID").toString()));
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    EXPECT_TRUE(u >= 0x20 || c == '\r' || c == '\n' || c == '\t') << int(u);
  }
  EXPECT_NE(text.find("SUMMARY:Bell ringing[0m\tday\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("DESCRIPTION:ab\\nc\r\n"), std::string::npos) << text;
  closeStore();
  // The writer searches with the title as it has it.
  Object found = findFirst(calendar(), "[Subject] = \"" + title + "\" and  [Start] = \"01/06/2027 12:00 AM\"");
  ASSERT_TRUE(found);
  found->call("Delete");
  EXPECT_EQ(obj(calendar()->call("Items"))->call("Count").toLong(), 0);
}

TEST_F(OutlookStandIn, AChangeKeepsWhatAnotherProgramPutInTheItem) {
  Object cal = calendar();
  writeFile(calendarDir() / "meeting-1@other.example.ics", foreignEvent("meeting-1@other.example", "Committee"));
  Object meeting = findFirst(cal, "[Subject] = \"committee\"");
  ASSERT_TRUE(meeting);
  EXPECT_EQ(meeting->call("EntryID").toString(), "meeting-1@other.example");
  EXPECT_TRUE(meeting->call("ReminderSet").toBool());
  EXPECT_EQ(civilFromOle(meeting->call("Start").toDate()).hour, 10);  // Berlin's wall clock, as written

  put(meeting, "Body", "Bring the minutes");
  meeting->call("Save");
  const std::string text = readFile(calendarDir() / "meeting-1@other.example.ics");
  for (const char* kept :
       {"UID:meeting-1@other.example\r\n", "RRULE:FREQ=MONTHLY;COUNT=12\r\n", "LOCATION:Town hall\r\n",
        "X-OTHER-COLOUR:teal\r\n", "BEGIN:VTIMEZONE\r\n", "DTSTART;TZID=Europe/Berlin:20270301T100000\r\n",
        "TRIGGER:-PT30M\r\n", "DESCRIPTION:Bring the minutes\r\n", "SEQUENCE:1\r\n"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept << "\n" << text;
  EXPECT_EQ(itemFiles(calendarDir()).size(), 1u);

  // Outlook's own items of the folder leave it alone: a save of ours touches ours only.
  addAllDay(cal, "Fair", day(2027, 5, 1), day(2027, 5, 2));
  EXPECT_EQ(readFile(calendarDir() / "meeting-1@other.example.ics"), text);
}

TEST_F(OutlookStandIn, AnItemChangedElsewhereSinceItWasReadIsMergedOrRefused) {
  Object cal = calendar();
  const std::string id = cal->call("EntryID").toString();
  Object mine = addAllDay(cal, "Fair", day(2027, 5, 1), day(2027, 5, 2));
  Object read = findFirst(cal, "[Subject] = \"Fair\"");
  const fs::path file = store().itemFile(id, mine->call("EntryID").toString());

  // Another program adds a place; our change of the note keeps it.
  std::string text = readFile(file);
  text.insert(text.find("END:VEVENT"), "LOCATION:Market square\r\n");
  writeFile(file, text);
  put(read, "Body", "Stalls");
  read->call("Save");
  text = readFile(file);
  EXPECT_NE(text.find("LOCATION:Market square\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("DESCRIPTION:Stalls\r\n"), std::string::npos) << text;

  // Another program renames it; our rename of the same item is refused, theirs stays.
  text.replace(text.find("SUMMARY:Fair"), 12, "SUMMARY:Spring fair");
  writeFile(file, text);
  put(read, "Subject", "Autumn fair");
  EXPECT_EQ(errorOf([&] { read->call("Save"); }), kObjectChanged);
  EXPECT_EQ(readFile(file), text);
  EXPECT_EQ(store().item(id, mine->call("EntryID").toString())->subject, "Spring fair");
}

TEST_F(OutlookStandIn, FindSeesWhatOtherProgramsDoInTheFolder) {
  Object cal = calendar();
  addAllDay(cal, "Fair", day(2027, 5, 1), day(2027, 5, 2));
  Object items = obj(cal->call("Items"));
  ASSERT_EQ(items->call("Count").toLong(), 1);

  // Another program adds two of the same subject and day and removes ours.
  writeFile(calendarDir() / "a@other.ics",
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:a@other\r\nDTSTAMP:20260101T000000Z\r\n"
            "DTSTART;VALUE=DATE:20270501\r\nSUMMARY:FAIR\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  fs::path tmp = calendarDir() / ".b.tmp";
  writeFile(tmp,
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:b@other\r\n"
            "DTSTAMP:20260101T000000Z\r\nDTSTART;VALUE=DATE:20270501\r\nDTEND;VALUE=DATE:20270502\r\n"
            "SUMMARY:Fair\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  fs::rename(tmp, calendarDir() / "b@other.ics");
  for (const fs::path& f : itemFiles(calendarDir()))
    if (f.filename().string().find("@other") == std::string::npos) fs::remove(f);
  writeFile(calendarDir() / "notes.txt", "not an item");
  writeFile(calendarDir() / "broken.ics", "BEGIN:VCALENDAR\r\n");

  EXPECT_EQ(items->call("Count").toLong(), 2);
  std::set<std::string> found;
  for (Object i = obj(items->call("Find", {Variant("[Subject] = \"Fair\" and  [Start] = \"01/05/2027 12:00 AM\"")})); i;
       i = obj(items->call("FindNext"))) {
    found.insert(i->call("EntryID").toString());
    EXPECT_EQ(i->call("End").toDate(), day(2027, 5, 2));  // a day-long event without an end
    // An item removed between Find and FindNext is passed over.
    fs::remove(calendarDir() / "b@other.ics");
  }
  EXPECT_EQ(found.size(), 1u);
  EXPECT_TRUE(fs::exists(calendarDir() / "broken.ics"));
  EXPECT_EQ(errorOf([&] { items->call("Find", {Variant("[Subject] = \"unclosed")}); }), err::InvalidCall);
}

// Another program renames an item's subject, copies the item under another
// file name, takes the copy away and gives the item another UID: each look
// finds the item by what its file now says, and by nothing it said before.
TEST_F(OutlookStandIn, LookupsFollowWhatTheFilesNowSay) {
  Object cal = calendar();
  const std::string id = addAllDay(cal, "Fair", day(2027, 5, 1))->call("EntryID").toString();
  const std::string folder = cal->call("EntryID").toString();
  const fs::path own = calendarDir() / (id + ".ics"), copy = calendarDir() / "copy.ics";
  const std::string text = readFile(own);
  auto saying = [&](const std::string& from, const std::string& to) {
    std::string t = text;
    t.replace(t.find(from), from.size(), to);
    return t;
  };
  auto subjects = [&](const std::string& subject) {
    return store().findItems(folder, "[Subject] = \"" + subject + "\"").size();
  };
  struct Step {
    const char* what;
    std::function<void()> change;
    const char* subjectOfID;    // nullptr: the ID finds nothing
    size_t fair, show, copied;  // items found by each subject
  };
  const Step steps[] = {
      {"renamed", [&] { writeFile(own, saying("SUMMARY:Fair", "SUMMARY:Show")); }, "Show", 0, 1, 0},
      {"copied", [&] { writeFile(copy, saying("SUMMARY:Fair", "SUMMARY:Copy")); }, "Copy", 0, 1, 1},
      {"copy gone", [&] { fs::remove(copy); }, "Show", 0, 1, 0},
      {"UID changed", [&] { writeFile(own, saying("UID:" + id, "UID:other-" + id)); }, nullptr, 1, 0, 0},
  };
  for (const Step& step : steps) {
    pellary::testing::awaitNextFolderTime(calendarDir());
    step.change();
    std::optional<Appointment> a = store().item(folder, id);
    if (step.subjectOfID) {
      EXPECT_TRUE(a && a->subject == step.subjectOfID) << step.what;
    } else {
      EXPECT_FALSE(a) << step.what;
    }
    EXPECT_EQ(subjects("Fair"), step.fair) << step.what;
    EXPECT_EQ(subjects("Show"), step.show) << step.what;
    EXPECT_EQ(subjects("Copy"), step.copied) << step.what;
  }
  EXPECT_TRUE(store().item(folder, "other-" + id)) << "the item under its new UID";
}

// What else may lie in the folder under an item's name: a FIFO (whose open
// would wait for a writer for ever), a folder, a file past the item cap. Each
// is passed over with a note; the items beside it are read.
TEST_F(OutlookStandIn, OnlySmallRegularFilesAreReadAsItems) {
  Object cal = calendar();
  addAllDay(cal, "Fair", day(2027, 5, 1), day(2027, 5, 2));
  std::vector<std::string> notes;
  NoteHandler old = setNoteHandler([&](std::string_view, std::string_view text) { notes.emplace_back(text); });
  ASSERT_EQ(::mkfifo((calendarDir() / "pipe.ics").c_str(), 0600), 0);
  fs::create_directory(calendarDir() / "folder.ics");
  writeFile(calendarDir() / "huge.ics", "BEGIN:VCALENDAR\r\n");
  fs::resize_file(calendarDir() / "huge.ics", uintmax_t(files::kMostItemBytes) + 1);
  writeFile(calendarDir() / "a@other.ics",
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:a@other\r\nDTSTAMP:20260101T000000Z\r\n"
            "DTSTART;VALUE=DATE:20270601\r\nSUMMARY:Other\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  // A date no calendar of the program can hold: passed over, kept as it is.
  const std::string ancient =
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:old@other\r\nDTSTAMP:20260101T000000Z\r\n"
      "DTSTART;VALUE=DATE:00270501\r\nSUMMARY:Ancient\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
  writeFile(calendarDir() / "old@other.ics", ancient);
  auto reading = std::async(std::launch::async, [&] { return obj(cal->call("Items"))->call("Count").toLong(); });
  ASSERT_EQ(reading.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the store hangs";
  EXPECT_EQ(reading.get(), 2);
  setNoteHandler(old);
  int passedOver = 0;
  for (const std::string& n : notes) passedOver += n.find("passed over") != std::string::npos;
  EXPECT_GE(passedOver, 2) << "the FIFO and the huge file are said";
  EXPECT_TRUE(fs::is_fifo(calendarDir() / "pipe.ics")) << "what is not ours stays";
  EXPECT_EQ(readFile(calendarDir() / "old@other.ics"), ancient);
}

TEST_F(OutlookStandIn, TheNextRunSeesWhatOtherProgramsDidMeanwhile) {
  Object cal = calendar();
  const std::string id = cal->call("EntryID").toString();
  Object renamed = addAllDay(cal, "Fair", day(2027, 6, 1));
  Object removed = addAllDay(cal, "Parade", day(2027, 6, 2));
  Object kept = addAllDay(cal, "Market", day(2027, 6, 3), 0, "Stalls\tand\\rides\r\nall day");
  closeStore();  // the run ends, recording what its folders hold
  const fs::path dir = calendarDir();
  closeStore();

  // Between runs another program renames one item, removes one and adds one.
  const fs::path file = dir / (renamed->call("EntryID").toString() + ".ics");
  std::string text = readFile(file);
  text.replace(text.find("SUMMARY:Fair"), 12, "SUMMARY:Funfair");
  writeFile(file, text);
  fs::remove(dir / (removed->call("EntryID").toString() + ".ics"));
  writeFile(dir / "meeting-1@other.example.ics", foreignEvent("meeting-1@other.example", "Committee"));

  auto subjects = [&] {
    std::set<std::string> out;
    for (const Appointment& a : store().items(id)) out.insert(a.subject);
    return out;
  };
  const std::set<std::string> expected{"Funfair", "Market", "Committee"};
  EXPECT_EQ(subjects(), expected);
  const std::optional<Appointment> market = store().item(id, kept->call("EntryID").toString());
  ASSERT_TRUE(market);
  EXPECT_EQ(market->start, day(2027, 6, 3));
  EXPECT_EQ(market->end, day(2027, 6, 4));
  EXPECT_TRUE(market->allDay);
  EXPECT_FALSE(market->reminderSet);
  EXPECT_EQ(market->body, "Stalls\tand\\rides\r\nall day");

  // A damaged record costs only a full read.
  closeStore();
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().rfind(".outlook-items", 0) == 0)
      writeFile(e.path(), "pellary outlook items 1\nx\ty\n");
  EXPECT_EQ(subjects(), expected);
}

TEST_F(OutlookStandIn, TheRecordOfAFolderReadsBackAsWritten) {
  Appointment a;
  a.entryID = "u1";
  a.subject = "Tab\there, back\\slash";
  a.body = "Line one\r\nLine two\n";
  a.categories = "Pellary Almoner dates";
  a.allDay = true;
  a.start = day(2027, 6, 3) + 1.0 / 3;
  a.end = day(2027, 6, 4);
  a.reminderSet = false;
  a.version = "1f:2a:1700000000.123456789";
  Appointment b;
  b.entryID = "u2";
  b.version = "20:0:1.0";
  const fs::path dir = root() / "record";
  fs::create_directories(dir);
  writeItemCache(dir, {{"u1.ics", &a}, {"u2.ics", &b}});
  const auto back = readItemCache(dir);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].first, "u1.ics");
  const Appointment& r = back[0].second;
  EXPECT_EQ(std::tie(r.entryID, r.subject, r.body, r.categories, r.version),
            std::tie(a.entryID, a.subject, a.body, a.categories, a.version));
  EXPECT_EQ(std::tie(r.allDay, r.start, r.end, r.reminderSet), std::tie(a.allDay, a.start, a.end, a.reminderSet));
  EXPECT_EQ(back[1].second.subject, "");
  EXPECT_TRUE(back[1].second.reminderSet);
}

TEST_F(OutlookStandIn, FindMatchesSubjectAndMidnightStart) {
  Object cal = calendar();
  addAllDay(cal, "Fair", day(2027, 5, 1), day(2027, 5, 2));
  addAllDay(cal, "Fair", day(2027, 5, 2), day(2027, 5, 3));
  addAllDay(cal, "fair", day(2027, 5, 1), day(2027, 5, 2));
  addAllDay(cal, "Say \"hi\"", day(2027, 5, 1), day(2027, 5, 2));
  Object items = obj(cal->call("Items"));
  int found = 0;
  for (Object i = obj(items->call("Find", {Variant("[Subject] = \"Fair\" and  [Start] = \"01/05/2027 12:00 AM\"")})); i;
       i = obj(items->call("FindNext"))) {
    EXPECT_EQ(i->call("Start").toDate(), day(2027, 5, 1));
    i->call("Delete");
    ++found;
  }
  EXPECT_EQ(found, 2);  // subjects compare without regard to case, as Outlook does
  EXPECT_EQ(items->call("Count").toLong(), 2);
  EXPECT_TRUE(obj(items->call("Find", {Variant("[Subject] = \"Say \"\"hi\"\"\" and [Start] = \"01/05/2027\"")})));
  EXPECT_TRUE(obj(items->call("Find", {Variant("[Start] = \"02/05/2027\"")})));
  EXPECT_FALSE(obj(items->call("Find", {Variant("[Subject] = \"Nothing like it\"")})));
}

TEST_F(OutlookStandIn, TwoProcessesWritingOneFolderLoseNothing) {
  const std::string id = calendar()->call("EntryID").toString();
  closeStore();
  int ready[2], go[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(go), 0);
  std::vector<pid_t> children;
  for (int who = 0; who < 2; ++who) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int status = 0;
      try {
        Object cal = obj(nameSpace()->call("GetFolderFromID", {Variant(id)}));
        char c = 'r';
        if (::write(ready[1], &c, 1) != 1 || ::read(go[0], &c, 1) != 1) ::_exit(3);
        for (int i = 0; i < 500; ++i)
          addAllDay(cal, "Process " + std::to_string(who) + " item " + std::to_string(i), day(2027, 1, 1) + i,
                    day(2027, 1, 2) + i);
        // Each sees the other's items too.
        if (obj(cal->call("Items"))->call("Count").toLong() < 500) status = 2;
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
    children.push_back(pid);
  }
  char c;
  for (int i = 0; i < 2; ++i) ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(::write(go[1], "gg", 2), 2);
  for (pid_t pid : children) {
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);

  EXPECT_EQ(obj(calendar()->call("Items"))->call("Count").toLong(), 1000);
  EXPECT_EQ(itemFiles(calendarDir()).size(), 1000u);
  for (int who = 0; who < 2; ++who)
    EXPECT_TRUE(findFirst(calendar(), "[Subject] = \"Process " + std::to_string(who) + " item 499\""));
}

TEST_F(OutlookStandIn, TheFormerOneFileLayoutIsConvertedOnceLosingNothing) {
  const fs::path root = standins() / "Outlook";
  writeFile(root / "folders.txt",
            "0000000011\t\t0\tPersonal Folders\t\n"
            "0000000012\t0000000011\t1\tCalendar\tCalendar-00000012.ics\n"
            "0000000013\t0000000011\t0\tInbox\t\n"
            "0000000014\t0000000012\t1\tWork/Team\tWork_Team-00000014.ics\n");
  const std::string former =
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Pellary Almoner//Outlook stand-in//EN\r\n"
      "X-WR-CALNAME:Calendar\r\n"
      "BEGIN:VEVENT\r\nUID:AB12@outlook.pellary\r\nDTSTAMP:19991231T000000Z\r\n"
      "DTSTART;VALUE=DATE:20270101\r\nDTEND;VALUE=DATE:20270102\r\nSUMMARY:New Year's Day\r\n"
      "DESCRIPTION:Closed\\nall day\r\nCATEGORIES:Pellary Almoner dates\r\nTRANSP:TRANSPARENT\r\n"
      "X-PELLARY-REMINDER:FALSE\r\nEND:VEVENT\r\n"
      // A meeting another program put there, with one occurrence moved.
      + foreignEvent("m@other", "Committee")
            .substr(std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//Calendar//EN\r\n").size());
  std::string withOverride = former;
  withOverride.insert(withOverride.rfind("END:VCALENDAR"),
                      "BEGIN:VEVENT\r\nUID:m@other\r\nDTSTAMP:20260101T120000Z\r\n"
                      "RECURRENCE-ID;TZID=Europe/Berlin:20270401T100000\r\n"
                      "DTSTART;TZID=Europe/Berlin:20270402T100000\r\nDTEND;TZID=Europe/Berlin:20270402T110000\r\n"
                      "SUMMARY:Committee (moved)\r\nEND:VEVENT\r\n");
  writeFile(root / "Calendar-00000012.ics", withOverride);
  writeFile(root / "Work_Team-00000014.ics", "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nEND:VCALENDAR\r\n");

  Object ns = nameSpace();
  Object cal = obj(ns->call("GetFolderFromID", {Variant("0000000012")}));
  EXPECT_EQ(cal->call("Name").toString(), "Calendar");
  EXPECT_EQ(obj(ns->call("GetDefaultFolder", {Variant(int32_t(defaultfolder::Calendar))}))->call("EntryID").toString(),
            "0000000012");
  Object team = obj(ns->call("GetFolderFromID", {Variant("0000000014")}));
  EXPECT_EQ(team->call("Name").toString(), "Work/Team");
  EXPECT_EQ(team->call("DefaultItemType").toLong(), itemtype::Appointment);
  EXPECT_EQ(store().pathOf(*store().find("0000000014")), "Personal Folders\\Calendar\\Work/Team");

  Object items = obj(cal->call("Items"));
  ASSERT_EQ(items->call("Count").toLong(), 2);
  Object newYear = findFirst(cal, "[Subject] = \"New Year's Day\" and [Start] = \"01/01/2027 12:00 AM\"");
  ASSERT_TRUE(newYear);
  EXPECT_EQ(newYear->call("EntryID").toString(), "AB12@outlook.pellary");
  EXPECT_EQ(newYear->call("Body").toString(), "Closed\r\nall day");
  EXPECT_FALSE(newYear->call("ReminderSet").toBool());
  const std::string meeting = readFile(calendarDir() / "m@other.ics");
  for (const char* kept :
       {"RRULE:FREQ=MONTHLY;COUNT=12", "LOCATION:Town hall", "BEGIN:VTIMEZONE", "TZID:Europe/Berlin",
        "RECURRENCE-ID;TZID=Europe/Berlin:20270401T100000", "SUMMARY:Committee (moved)", "X-OTHER-COLOUR:teal"})
    EXPECT_NE(meeting.find(kept), std::string::npos) << kept << "\n" << meeting;
  EXPECT_EQ(occurrences(meeting, "BEGIN:VEVENT"), 2u);

  // The former files stay as they were; the next start reads the new layout only.
  EXPECT_FALSE(fs::exists(root / "folders.txt"));
  EXPECT_TRUE(fs::exists(root / "folders.txt.former"));
  EXPECT_EQ(readFile(root / "Calendar-00000012.ics"), withOverride);
  closeStore();
  EXPECT_EQ(
      obj(obj(nameSpace()->call("GetFolderFromID", {Variant("0000000012")}))->call("Items"))->call("Count").toLong(),
      2);
  EXPECT_EQ(store().all().size(), 4u);

  // A start that ended after the new folders were built, before they were moved in, is finished by the next.
  closeStore();
  fs::create_directories(root / ".converting");
  fs::rename(root / "Personal Folders", root / ".converting" / "Personal Folders");
  EXPECT_EQ(
      obj(obj(nameSpace()->call("GetFolderFromID", {Variant("0000000012")}))->call("Items"))->call("Count").toLong(),
      2);
  EXPECT_EQ(store().all().size(), 4u);
  EXPECT_FALSE(fs::exists(root / ".converting"));
}

TEST_F(OutlookStandIn, ExplorersAndFolders) {
  Object app = automation::createObject(kApplicationClass);
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

  EXPECT_EQ(errorOf([&] { ns->call("GetFolderFromID", {Variant("0000DEAD")}); }), -2147221233);
  closeStore();
  Object app2 = automation::createObject(kApplicationClass);
  Object ns2 = obj(app2->call("GetNamespace", {Variant("MAPI")}));
  EXPECT_EQ(obj(ns2->call("GetFolderFromID", {Variant(workID)}))->call("Name").toString(), "Work");
}

}  // namespace
}  // namespace pellary::standins::outlook
