// The wizard walked as a user walks it: an installed program folder with the
// demo data, the program started as it starts, and the real pages driven
// through their handlers, down to the calendar stand-in's files.
#include "system_walk.h"

namespace pellary {
namespace {

TEST_F(SystemWalk, OutlookWalkThenASecondRunRemovesACategory) {
  installDemo(3);
  // Before the program runs, the user keeps a meeting in the calendar with khal.
  const fs::path calendarDir = calendarFolder().dir;
  Khal khal(calendarDir);
  testing::ToolRun made = khal.run({"new", "-a", "outlook", "-l", "Town hall", "-r", "monthly", "-u", "2027-12-31",
                                    "2027-03-01", "10:00", "11:00", "Europe/Berlin", "Committee"});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  std::map<fs::path, std::string> khalFiles;
  for (const auto& e : fs::directory_iterator(calendarDir))
    if (e.path().extension() == ".ics") khalFiles[e.path()] = readFile(e.path());
  ASSERT_EQ(khalFiles.size(), 1u);
  const std::string meeting = khalFiles.begin()->second;
  for (const char* part : {"RRULE:FREQ=MONTHLY", "LOCATION:Town hall", "TZID=Europe/Berlin", "BEGIN:VTIMEZONE"})
    ASSERT_NE(meeting.find(part), std::string::npos) << meeting;
  ol::closeStore();
  start();
  toSelection();
  addCategory("United Kingdom");
  addCategory("Grand Slam tournaments");
  addCategory("Premier Division fixtures");
  addTopic("Bank holidays explained");
  expectNoMessages("selection");

  selectionScreen().cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
  frmManager2& summary = current<frmManager2>();
  EXPECT_GT(summary.datesList().rowCount(), 0);
  EXPECT_GT(summary.referenceList().rowCount(), 0);
  expectNoMessages("selection Next");

  summary.cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), page::Reference);
  expectNoMessages("summary Next");
  current<frmReference>().cmdNext_Click();
  expectNoMessages("reference Next");
  fs::path pc = home() / "PCMappa";
  ASSERT_TRUE(fs::exists(pc / "index.htm"));
  // Every local link of every page resolves.
  std::regex href(R"(href=\"?([^\" >#]+))", std::regex::icase);
  int pages = 0;
  for (const auto& e : fs::directory_iterator(pc)) {
    if (e.path().extension() != ".htm") continue;
    ++pages;
    std::string text = readFile(e.path());
    for (std::sregex_iterator it(text.begin(), text.end(), href), end; it != end; ++it) {
      std::string target = (*it)[1];
      if (target.find(':') != std::string::npos) continue;
      EXPECT_TRUE(fs::exists(pc / target)) << e.path().filename() << " -> " << target;
    }
  }
  EXPECT_GT(pages, 1);

  ASSERT_EQ(Bmm_CurrentPage(), datesPlatPage(3));
  frmOutlook& outlook = current<frmOutlook>();
  keepTheCalendarWhenOutlookOpens();
  outlook.cmdNext_Click();
  EXPECT_EQ(pickerShown, 1);
  expectNoMessages("Outlook Next");
  outlook.guide()->cmdContinue_Click();
  expectNoMessages("Outlook guide");
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);

  std::string ics = calendarText();
  const long written = writtenEntries();
  EXPECT_GT(written, 0);
  EXPECT_EQ(long(occurrences(ics, "BEGIN:VEVENT")), written + 1);  // and the meeting
  // khal shows every written entry on its day with its title.
  {
    const std::vector<ol::Appointment> items = ol::store().items(calendarFolder().entryID);
    ASSERT_EQ(long(items.size()), written + 1);
    double first = items.front().start, last = first;
    for (const ol::Appointment& a : items) {
      first = std::min(first, a.start);
      last = std::max(last, a.start);
    }
    const std::set<std::string> shown = khal.list(isoDate(first), isoDate(last + 1));
    long ours = 0;
    for (const ol::Appointment& a : items) {
      if (a.categories != "Pellary Almoner dates") continue;
      ++ours;
      EXPECT_TRUE(shown.count(isoDate(a.start) + " " + a.subject)) << isoDate(a.start) << " " << a.subject;
    }
    EXPECT_EQ(ours, written);
  }
  for (const std::string& title : titlesOfCategory(1101))
    EXPECT_NE(ics.find("SUMMARY:" + title + "\r\n"), std::string::npos) << title;
  // Christmas Day in the United Kingdom, all day.
  EXPECT_NE(ics.find("DTSTART;VALUE=DATE:20271225"), std::string::npos);

  const std::set<std::string> tennis = titlesOfCategory(2201);
  ASSERT_FALSE(tennis.empty());
  for (const std::string& title : tennis) EXPECT_NE(ics.find(title), std::string::npos) << title;
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
  expectNoMessages("update settings");
  endRun();

  // Second run: the Grand Slam category goes.
  start();
  toSelection();
  removeCategory("Grand Slam tournaments");
  selectionScreen().cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
  expectNoMessages("second selection");
  current<frmManager2>().cmdNext_Click();
  expectNoMessages("second summary");
  if (Bmm_CurrentPage() == page::Reference) current<frmReference>().cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), datesPlatPage(3));
  keepTheCalendarWhenOutlookOpens();
  current<frmOutlook>().cmdNext_Click();
  if (Bmm_CurrentPage() == datesPlatPage(3)) current<frmOutlook>().guide()->cmdContinue_Click();
  expectNoMessages("second Outlook");
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  ics = calendarText();
  for (const std::string& title : tennis) EXPECT_EQ(ics.find(title), std::string::npos) << title;
  EXPECT_EQ(long(occurrences(ics, "BEGIN:VEVENT")), writtenEntries() + 1);
  // The khal meeting went through both runs untouched, and khal still shows it.
  EXPECT_EQ(readFile(khalFiles.begin()->first), meeting);
  const std::set<std::string> shown = khal.list("2027-03-01", "2027-12-31");
  for (const char* day : {"2027-03-01", "2027-07-01", "2027-12-01"})
    EXPECT_TRUE(shown.count(std::string(day) + " Committee")) << day;
  EXPECT_EQ(count("SELECT * FROM ProfileCatList WHERE ProfileID = 1 AND CatID = 2201"), 0);
  EXPECT_EQ(count("SELECT * FROM ProfileCatList WHERE ProfileID = 1 AND CatID IN (1101, 2101)"), 2);
  EXPECT_EQ(count("SELECT * FROM ProfileEventList WHERE ProfileID = 1 AND CatID = 2201"), 0);
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
  expectNoMessages("second update settings");
}

TEST_F(SystemWalk, OutlookWalkOnACalDavServer) {
  installDemo(3);
  testing::RadicaleServer server;
  ASSERT_TRUE(server.start()) << "Radicale did not start";
  testing::writeFile(standins() / "Outlook" / "caldav.conf", "url = " + server.home() + "\nuser = " + server.user() +
                                                                 "\npassword = " + server.password() + "\n");
  const std::string id = calendarFolder().entryID;
  ASSERT_EQ(id.rfind("CALDAV:", 0), 0u) << id;
  const std::string collection = "http://127.0.0.1:" + std::to_string(server.port()) + id.substr(7);
  ol::closeStore();
  auto titles = [&] {
    std::multiset<std::string> out;
    for (const auto& [href, text] : testing::calendarResources(collection, server.user(), server.password())) {
      std::smatch m;
      if (std::regex_search(text, m, std::regex("SUMMARY:([^\r\n]*)"))) out.insert(m[1]);
    }
    return out;
  };

  // Run 1 adds.
  start();
  walkToCalendarPage({"United Kingdom", "Grand Slam tournaments"}, nullptr);
  keepTheCalendarWhenOutlookOpens();
  current<frmOutlook>().cmdNext_Click();
  if (Bmm_CurrentPage() == datesPlatPage(3)) current<frmOutlook>().guide()->cmdContinue_Click();
  expectNoMessages("Outlook on the server");
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  std::multiset<std::string> onServer = titles();
  EXPECT_EQ(long(onServer.size()), writtenEntries());
  for (const std::string& title : titlesOfCategory(1101)) EXPECT_TRUE(onServer.count(title)) << title;
  const std::set<std::string> tennis = titlesOfCategory(2201);
  ASSERT_FALSE(tennis.empty());
  // Tournament entries carry the title within theirs.
  auto holds = [](const std::multiset<std::string>& all, const std::string& part) {
    return std::any_of(all.begin(), all.end(), [&](const std::string& t) { return t.find(part) != std::string::npos; });
  };
  for (const std::string& title : tennis) EXPECT_TRUE(holds(onServer, title)) << title;
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
  endRun();

  // Run 2 removes a category: the collection holds exactly the written entries.
  start();
  toSelection();
  removeCategory("Grand Slam tournaments");
  selectionScreen().cmdNext_Click();
  current<frmManager2>().cmdNext_Click();
  if (Bmm_CurrentPage() == page::Reference) current<frmReference>().cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), datesPlatPage(3));
  keepTheCalendarWhenOutlookOpens();
  current<frmOutlook>().cmdNext_Click();
  if (Bmm_CurrentPage() == datesPlatPage(3)) current<frmOutlook>().guide()->cmdContinue_Click();
  expectNoMessages("second Outlook on the server");
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  onServer = titles();
  EXPECT_EQ(long(onServer.size()), writtenEntries());
  for (const std::string& title : tennis) EXPECT_FALSE(holds(onServer, title)) << title;
  for (const std::string& title : titlesOfCategory(1101)) EXPECT_GE(onServer.count(title), 1u) << title;
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
}

TEST_F(SystemWalk, FirstRunFromTheIntroductionToFinish) { firstRunToFinish(""); }

TEST_F(SystemWalk, FirstRunStartedWithCueSetting) { firstRunToFinish("cue_setting"); }

// A returning user removes a category that the screen shows once, under its
// product's existing-selection heading; the profile and Outlook lose it.
TEST_F(SystemWalk, ReturningUserRemovesACategoryUnderItsHeading) {
  firstRunToFinish("");
  Bsql_CloseDataBank();
  start();
  toSelection();
  QtTreeView& chosen = selectionScreen().selectedItems();
  std::vector<std::string> under;
  std::string heading;
  for (const std::string& key : chosen.rootKeys()) {
    if (chosen.bold(key))
      heading = key;
    else if (chosen.text(key).rfind("Germany, ", 0) == 0)
      under.push_back(heading);
  }
  ASSERT_EQ(under, std::vector<std::string>{"XXXKey11"});
  EXPECT_EQ(chosen.text("XXXKey11"), "Your existing World Public Holidays selection");
  removeCategory("Germany");
  expectNoMessages("removal");

  selectionScreen().cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
  frmManager2& summary = current<frmManager2>();
  const std::set<std::string> germany = titlesOfCategory(1103);
  ASSERT_EQ(summary.datesList().rowCount(), int(germany.size()));
  for (int i = 0; i < summary.datesList().rowCount(); ++i) EXPECT_EQ(summary.datesList().row(i).text, "Remove");
  EXPECT_EQ(summary.referenceList().rowCount(), 0);
  summary.cmdNext_Click();
  outlookThenFinish();
  EXPECT_TRUE(profileCategories().empty());
  EXPECT_EQ(count("SELECT * FROM ProfileEventList WHERE ProfileID = 1"), 0);
  EXPECT_TRUE(profileTopics().count(6)) << "the topic stays";
  EXPECT_TRUE(outlookSubjects().empty());
}

// Stored choices the screen cannot show: a category of a product that is not
// installed, and one whose primary and secondary rows are missing. The screen
// opens without a word of error, says the rows are kept, and a run through to
// Finish leaves them and their written entries in the profile.
TEST_F(SystemWalk, ChoicesTheScreenCannotShowAreKept) {
  installDemo(3);
  Bsql_OpenDataBanks();
  dao::Database& db = Bsql_DataBank();
  db.execute("INSERT INTO Primary (ProductID, PID, PrimaryName, Status) VALUES (7, 50, 'Elsewhere', 1)");
  db.execute("INSERT INTO Secondary (ProductID, PID, SID, SecondaryName, Status) VALUES (7, 50, 1, 'Far', 1)");
  db.execute(
      "INSERT INTO Tertiary (ProductID, PID, SID, TID, CatID, TertiaryName, CatSettings, Status) "
      "VALUES (7, 50, 1, 1, 7001, 'Not installed', 0, 1)");
  db.execute(
      "INSERT INTO Tertiary (ProductID, PID, SID, TID, CatID, TertiaryName, CatSettings, Status) "
      "VALUES (4, 77, 1, 1, 7002, 'No headings', 0, 1)");
  for (int cat : {7001, 7002}) {
    db.execute("INSERT INTO ProfileCatList (ProfileID, CatID, Duration, CatSetting, Status, AddStatus) VALUES (1, " +
               std::to_string(cat) + ", 0, 0, 4, 0)");
    db.execute("INSERT INTO ProfileEventList (ProfileID, EventID, CatID, Version, Status, AddStatus) VALUES (1, " +
               std::to_string(cat + 900000) + ", " + std::to_string(cat) + ", 1, 4, 0)");
  }
  Bsql_CloseDataBank();

  start();
  toSelection();
  QtTreeView& chosen = selectionScreen().selectedItems();
  ASSERT_TRUE(chosen.exists("XXXKeyKept"));
  EXPECT_EQ(chosen.text("XXXKeyKept"), "2 stored choices not shown here are kept");
  EXPECT_TRUE(chosen.bold("XXXKeyKept"));
  addCategory("Germany");
  selectionScreen().cmdNext_Click();
  ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
  frmManager2& summary = current<frmManager2>();
  for (int i = 0; i < summary.datesList().rowCount(); ++i) EXPECT_EQ(summary.datesList().row(i).text, "Add");
  summary.cmdNext_Click();
  expectNoMessages("summary");
  outlookThenFinish();
  EXPECT_EQ(profileCategories(), (std::set<int32_t>{1103, 7001, 7002}));
  EXPECT_EQ(count("SELECT * FROM ProfileEventList WHERE ProfileID = 1 AND CatID IN (7001, 7002)"), 2);
}

TEST_F(SystemWalk, PalmWalkWritesTheDateBook) {
  installDemo(12);
  // The installation gave Palm Desktop its demo user.
  ASSERT_EQ(standins::palm::users().size(), 1u);
  const standins::palm::PalmUser ann = standins::palm::users()[0];
  start();
  walkToCalendarPage({"France", "Grands Prix"}, nullptr);
  frmPilot& pilot = current<frmPilot>();
  auto* users = pilot.findChild<QListWidget*>("lstPilotUsers");
  ASSERT_NE(users, nullptr);
  ASSERT_EQ(users->count(), 1);
  users->setCurrentRow(0);
  emit users->itemClicked(users->item(0));
  pilot.cmdNext_Click();
  // The backup is reported, and the user asked to close Palm Desktop.
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[0].text.find("Datebook.kest"), std::string::npos) << messages[0].text;
  EXPECT_NE(messages[1].text.find("close it now"), std::string::npos) << messages[1].text;
  messages.clear();
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);

  std::vector<standins::palm::DatebookEntry> book = standins::palm::readDatebook(standins::palm::datebookFile(ann));
  EXPECT_EQ(long(book.size()), writtenEntries());
  ASSERT_FALSE(book.empty());
  // France's national day, accented title and all: a one-day entry on 14 July.
  bool bastille = false;
  for (const auto& e : book)
    if (e.title == "Fête nationale") {
      bastille = true;
      EXPECT_EQ(std::tuple(e.startDay, e.startMonth, e.startYear), std::tuple(int16_t(14), int16_t(7), int16_t(2027)));
      EXPECT_EQ(std::tuple(e.endDay, e.endMonth, e.endYear), std::tuple(e.startDay, e.startMonth, e.startYear));
    }
  EXPECT_TRUE(bastille);
  for (const std::string& title : titlesOfCategory(2301)) {
    bool found = false;
    for (const auto& e : book) found = found || e.title.find(title) != std::string::npos;
    EXPECT_TRUE(found) << title;
  }

  // Finish asks for a HotSync, then the program ends.
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, kHotSyncNow);
}

TEST_F(SystemWalk, Series3WalkWritesTheDeviceAgenda) {
  installDemo(1);
  // The device holds an empty agenda: the header and the first-record offset.
  const fs::path agenda = standins::psiwin::deviceFolder() / "C" / "Agenda" / "Diary.agn";
  fs::create_directories(agenda.parent_path());
  {
    std::string header(18, '\x5A');
    header += std::string("\x14\x00", 2);
    std::ofstream(agenda, std::ios::binary) << header;
    quoll::AgendaFile check;
    ASSERT_EQ(check.OpenFile(agenda), 0);
    EXPECT_EQ(check.ReadNextEntry(), -1);
  }
  start();
  walkToCalendarPage({"Germany"}, nullptr);
  frmPsion3Agenda& page = current<frmPsion3Agenda>();
  page.txtAgendaName->setText("C:\\Agenda\\Diary.agn");
  // The user waits for the page to connect to the device.
  for (int i = 0; i < 200 && page.Status->currentMessage() != "Connected"; ++i) Bps3().doEvents();
  ASSERT_EQ(page.Status->currentMessage().toStdString(), "Connected");
  page.cmdNext->click();
  expectNoMessages("Series 3 Next");
  ASSERT_EQ(Bmm_CurrentPage(), page::UpdateSetup);

  quoll::AgendaFile file;
  ASSERT_EQ(file.OpenFile(agenda), 0);
  std::vector<std::string> texts;
  while (file.ReadNextEntry() == 0)
    if (file.recordType() != quoll::AgendaFile::Deleted && file.entry().hasDate) texts.push_back(file.entry().text);
  EXPECT_EQ(long(texts.size()), writtenEntries());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Tag der Deutschen Einheit"), texts.end());
  EXPECT_THROW(current<frmUpdateSetup>().cmdNext_Click(), ProgramEnded);
  expectNoMessages("Series 3 finish");
}

}  // namespace
}  // namespace pellary
