// Every calendar target over several runs, as a user runs them: categories
// added and removed, a new version of an event, a target that fails part way
// and the retry. After every run the target holds exactly the entries that
// the profile says are written, and none stands for a category no longer
// chosen.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>

#include <sys/resource.h>
#include <QProcess>
#include <algorithm>
#include <csignal>
#include <functional>
#include <iostream>
#include <map>
#include <memory>

#include "platform/automation/class_registry.h"
#include "platform/oledate.h"
#include "platform/refusal.h"
#include "platform/settings/settings_tree.h"
#include "standins/daytimer/daytimer_db.h"
#include "standins/notes/notes_control.h"
#include "standins/organizer/organizer_control.h"
#include "standins/outlook/outlook_automation.h"
#include "support/stored_profile.h"
#include "system_walk.h"
#include "writers/pages/frmDayTimersSelect.h"
#include "writers/pages/frmLotusSelect.h"
#include "writers/pages/frmOrgDetails.h"
#include "writers/pages/frmPsion5.h"

namespace pellary {
namespace {

namespace psi = standins::psiwin;
namespace org = standins::organizer;
namespace nt = standins::notes;
namespace dt = standins::daytimer;

// The two categories of the walk and the event they share.
constexpr const char* kCup = "Cup rounds";
constexpr int32_t kCupID = 2102;
constexpr const char* kChampions = "Champions Cup";
constexpr int32_t kChampionsID = 2111;
constexpr const char* kSharedTitle = "Champions Cup final";
constexpr const char* kOwnEntry = "Own entry";

constexpr const char* kOrganizerFile = "C:\\Organize\\Diary.or5";
constexpr const char* kNotesFile = "mail\\ann.nsf";
constexpr const char* kDayTimerDb = "C:\\DT\\Home";
constexpr const char* kSeries3Agenda = "C:\\Agenda\\Diary.agn";

std::string day(double oleDate) {
  const platform::CivilDateTime c = platform::civilFromOle(oleDate);
  return std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day);
}
std::string firstLine(const std::string& text) { return text.substr(0, text.find("\r\n")); }

class CalendarTargets;

// One calendar target: what the user has before the first run, how the
// calendar page is driven, and the target's entries as "title|date" texts.
struct Target {
  const char* name;
  int16_t datesPlat;
  // Entries on the target after a pass whose third entry was refused: two
  // where entries land one by one, none where the target's file is put in
  // place only after the pass.
  long afterRefusal;
  std::function<void(CalendarTargets&)> prepare;
  std::function<void(CalendarTargets&)> write;
  std::function<std::vector<std::string>(CalendarTargets&)> entries;
};

void PrintTo(const Target& t, std::ostream* os) { *os << t.name; }

class CalendarTargets : public SystemWalk, public ::testing::WithParamInterface<Target> {
 protected:
  void TearDown() override {
    platform::standins::refuseEntry(0);
    SystemWalk::TearDown();
  }

  bool installed = false;
  // A fresh demo installation whose two categories share one event.
  void installWithSharedEvent() {
    installed = true;
    installDemo(GetParam().datesPlat);
    dao::Database db = openBank();
    dao::Recordset rs = db.openRecordset("SELECT EventID FROM Event WHERE Title = '" + std::string(kSharedTitle) + "'");
    ASSERT_FALSE(rs.eof());
    shared = rs["EventID"].value().toLong();
    db.execute("INSERT INTO EventCat (CatID, EventID, Status) VALUES (" + std::to_string(kCupID) + ", " +
               std::to_string(shared) + ", 1)");
    dao::Recordset n = db.openRecordset("SELECT DISTINCT EventID FROM EventCat WHERE CatID IN (" +
                                        std::to_string(kCupID) + ", " + std::to_string(kChampionsID) + ")");
    for (; !n.eof(); n.moveNext()) ++bothCategories;
    GetParam().prepare(*this);
  }

  static dao::Database openBank() {
    return dao::Database::open(paths::resolve(paths::programFolder(), Breg_GetRegSetting("Support", "Name")));
  }

  // The run's choices, then the calendar page, driven to its end; beforeWrite
  // runs just before the page's Next.
  void run(const std::function<void()>& choose, const std::function<void()>& beforeWrite = {}) {
    start();
    toSelection();
    choose();
    selectionScreen().cmdNext_Click();
    ASSERT_EQ(Bmm_CurrentPage(), page::Summary);
    ASSERT_GT(current<frmManager2>().datesList().rowCount(), 0);
    current<frmManager2>().cmdNext_Click();
    if (Bmm_CurrentPage() == page::Reference) current<frmReference>().cmdNext_Click();
    ASSERT_EQ(Bmm_CurrentPage(), datesPlatPage(GetParam().datesPlat));
    messages.clear();
    if (beforeWrite) beforeWrite();
    GetParam().write(*this);
  }
  void finishedRun(const char* when) {
    EXPECT_EQ(Bmm_CurrentPage(), page::UpdateSetup) << when;
    for (const MessageRequest& m : messages)
      if ((m.style & 0x70) == mb::Critical) ADD_FAILURE() << when << ": " << m.text;
    messages.clear();
    endRun();
  }

  bool chosen(const char* name) {
    QtTreeView& list = selectionScreen().selectedItems();
    for (const std::string& k : list.keys())
      if (list.text(k).find(name) != std::string::npos && !list.bold(k)) return true;
    return false;
  }
  void addIfMissing(const char* name) {
    if (!chosen(name)) addCategory(name);
  }

  // The written entries of the profile by event, and the chosen categories.
  struct Profile {
    std::map<int32_t, int32_t> categoryOf;  // EventID -> CatID of the written entries
    long written = 0;
    std::set<int32_t> chosen;
  };
  static Profile profile() {
    Profile p;
    dao::Database db = openBank();
    for (const auto& [event, row] : testing::storedProfileEvents(db, 1)) {
      const long st = row.status;
      p.written += ((st & 0x0004) ? 1 : 0) + ((st & 0x0040) ? 1 : 0);
      if (st & 0x0004) p.categoryOf[int32_t(event)] = int32_t(row.catID);
    }
    dao::Recordset cats = db.openRecordset("SELECT * FROM ProfileCatList WHERE ProfileID = 1");
    for (; !cats.eof(); cats.moveNext())
      if ((cats["Status"].value().toLong() & 0x000F) == 4) p.chosen.insert(cats["CatID"].value().toLong());
    return p;
  }

  // The target's entries that the program wrote (the user's own left out).
  std::vector<std::string> written() {
    std::vector<std::string> out = GetParam().entries(*this);
    std::erase_if(out, [](const std::string& e) { return e.rfind(kOwnEntry, 0) == 0; });
    return out;
  }
  long ownEntries() {
    const std::vector<std::string> all = GetParam().entries(*this);
    return long(std::count_if(all.begin(), all.end(), [](const std::string& e) { return e.rfind(kOwnEntry, 0) == 0; }));
  }

  // The target and the profile agree, entry for entry.
  void expectInStep(const char* when) {
    const std::vector<std::string> held = written();
    const Profile p = profile();
    EXPECT_EQ(long(held.size()), p.written) << when;
    std::set<std::string> once(held.begin(), held.end());
    EXPECT_EQ(once.size(), held.size()) << when << ": an entry stands twice";
    for (auto [event, cat] : p.categoryOf)
      EXPECT_TRUE(cat == 0 || p.chosen.count(cat)) << when << ": event " << event << " stands for category " << cat;
  }
  long held() { return long(written().size()); }
  // Gives the target many entries of the user's own, so that its file is
  // larger than any other the run grows; false where that cannot be done.
  bool padWithOwnEntries(int n);
  long own = 0;

  long prepareTrials(const class Trials& trials, std::vector<std::string>* calls);
  bool retryConverges(const class Trials& trials, const struct Trial& t, const std::string& when, long expected);

 public:
  int32_t shared = 0;
  long bothCategories = 0;
  using SystemWalk::current;
  using SystemWalk::messages;
  using SystemWalk::answer;
  using SystemWalk::keepTheCalendarWhenOutlookOpens;
  using SystemWalk::home;
  using SystemWalk::standins;
};

// Four runs: both categories; the one that wrote the shared event goes; a
// new version of the shared event; the other one goes.
TEST_P(CalendarTargets, FourRunsKeepTheTargetInStepWithTheProfile) {
  installWithSharedEvent();

  run([&] {
    addCategory(kCup);
    addCategory(kChampions);
  });
  finishedRun("run 1");
  expectInStep("run 1");
  EXPECT_EQ(held(), bothCategories);
  const int32_t writer = profile().categoryOf.at(shared);
  ASSERT_TRUE(writer == kCupID || writer == kChampionsID) << writer;
  const char* first = writer == kCupID ? kCup : kChampions;
  const char* other = writer == kCupID ? kChampions : kCup;

  run([&] { removeCategory(first); });
  finishedRun("run 2");
  expectInStep("run 2");
  EXPECT_EQ(profile().categoryOf.at(shared), writer == kCupID ? kChampionsID : kCupID);

  // An update brings version 2 of the shared event, with its details changed.
  {
    dao::Database db = openBank();
    db.execute(
        "INSERT INTO Event SELECT EventID, Title, Memo || ' (new kick-off)', MemoLong, StartDate, EndDate, "
        "OnSale, URL, TelCountry, TelPrefix, Tel, Priority, 2, 3, 1 FROM Event WHERE EventID = " +
        std::to_string(shared));
    db.execute("UPDATE Event SET Status = 0 WHERE EventID = " + std::to_string(shared) + " AND Version = 1");
  }
  run([] {});
  finishedRun("run 3");
  expectInStep("run 3");
  const std::vector<std::string> after = GetParam().entries(*this);
  EXPECT_EQ(std::count_if(after.begin(), after.end(),
                          [](const std::string& e) { return e.find(kSharedTitle) != std::string::npos; }),
            1);
  EXPECT_NE(std::find_if(after.begin(), after.end(),
                         [](const std::string& e) { return e.rfind(std::string("Updated: ") + kSharedTitle, 0) == 0; }),
            after.end());

  run([&] { removeCategory(other); });
  finishedRun("run 4");
  expectInStep("run 4");
  EXPECT_EQ(held(), 0);
}

// The target refuses the third entry of the pass; the run ends with the
// error, and the retry after the cause is gone writes every entry once.
TEST_P(CalendarTargets, ARetryAfterARefusedEntryWritesEachEntryOnce) {
  installWithSharedEvent();

  platform::standins::refuseEntry(3);
  EXPECT_THROW(run([&] {
                 addCategory(kCup);
                 addCategory(kChampions);
               }),
               ProgramEnded);
  bool told = false;
  for (const MessageRequest& m : messages) told = told || m.text.rfind("An error has occurred", 0) == 0;
  EXPECT_TRUE(told) << "the failure is reported";
  messages.clear();
  endRun();
  expectInStep("failed run");
  EXPECT_EQ(held(), GetParam().afterRefusal);

  platform::standins::refuseEntry(0);
  run([&] {
    addIfMissing(kCup);
    addIfMissing(kChampions);
  });
  finishedRun("retry");
  expectInStep("retry");
  EXPECT_EQ(held(), bothCategories);
}

// --- a run ended at any call ---------------------------------------------------

// Folders of one trial: a copy of the installation the campaign starts from.
struct Trial {
  testing::TempDir dir;
  fs::path home() const { return dir.path() / "program"; }
  fs::path settings() const { return dir.path() / "settings"; }
  fs::path standins() const { return dir.path() / "standins"; }
};

void copyTree(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

// Points the program's folders at a trial's, for as long as it lives.
struct FoldersOf {
  explicit FoldersOf(const Trial& t) {
    for (const char* n : {"PELLARY_HOME", "PELLARY_SETTINGS", "PELLARY_STANDINS"}) was.emplace_back(std::getenv(n));
    setenv("PELLARY_HOME", t.home().c_str(), 1);
    setenv("PELLARY_SETTINGS", t.settings().c_str(), 1);
    setenv("PELLARY_STANDINS", t.standins().c_str(), 1);
  }
  ~FoldersOf() {
    const char* names[] = {"PELLARY_HOME", "PELLARY_SETTINGS", "PELLARY_STANDINS"};
    for (size_t i = 0; i < 3; ++i) setenv(names[i], was[i].c_str(), 1);
  }
  std::vector<std::string> was;
};

// The calls a run makes, from a trace: "<number>\t<file>" per line.
std::vector<std::string> tracedCalls(const fs::path& trace) {
  std::vector<std::string> files;
  std::istringstream lines(readFile(trace));
  for (std::string line; std::getline(lines, line);) {
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) files.push_back(line.substr(tab + 1));
  }
  return files;
}

// The kill points tried: every call when asked for all, else the calls where
// the run moves on to another file (the seams), first and last ones kept and
// the rest spread evenly, at most `cap`.
std::vector<long> killPoints(const std::vector<std::string>& calls, long cap) {
  std::vector<long> all, seams;
  for (size_t i = 0; i < calls.size(); ++i) {
    all.push_back(long(i + 1));
    if (i == 0 || calls[i] != calls[i - 1] || i + 1 == calls.size()) seams.push_back(long(i + 1));
  }
  if (cap <= 0) return all;
  if (long(seams.size()) <= cap) return seams;
  std::set<long> chosen;
  const long ends = cap / 3;
  for (long i = 0; i < ends; ++i) {
    chosen.insert(seams[size_t(i)]);
    chosen.insert(seams[seams.size() - 1 - size_t(i)]);
  }
  const long middle = cap - 2 * ends;
  for (long i = 1; i <= middle; ++i) chosen.insert(seams[size_t(i * long(seams.size()) / (middle + 1))]);
  return {chosen.begin(), chosen.end()};
}

std::vector<std::string> campaignCategories();

// The child's side of the campaign: the user's run over the folders the
// parent names, nothing more. Started by the campaign, skipped otherwise.
TEST_P(CalendarTargets, CrashCampaignChildRun) {
  const char* home = std::getenv("PELLARY_CRASH_HOME");
  if (!home) GTEST_SKIP() << "run by the crash campaign only";
  setenv("PELLARY_HOME", home, 1);
  setenv("PELLARY_SETTINGS", std::getenv("PELLARY_CRASH_SETTINGS"), 1);
  setenv("PELLARY_STANDINS", std::getenv("PELLARY_CRASH_STANDINS"), 1);
  struct Told {
    std::vector<MessageRequest>& messages;
    ~Told() {
      for (const MessageRequest& m : messages) std::cerr << "message: " << m.text << "\n";
    }
  } told{messages};
  start();
  toSelection();
  for (const std::string& c : campaignCategories()) addIfMissing(c.c_str());
  selectionScreen().cmdNext_Click();
  // A retry after a run that ended once its work was stored finds nothing to do.
  if (Bmm_CurrentPage() == page::Summary) current<frmManager2>().cmdNext_Click();
  if (Bmm_CurrentPage() == page::Reference) current<frmReference>().cmdNext_Click();
  if (Bmm_CurrentPage() == datesPlatPage(GetParam().datesPlat)) {
    messages.clear();
    if (const char* limit = std::getenv("PELLARY_CRASH_FSIZE")) {
      // The disk fills as the write starts (the databank is open by then):
      // writes past the limit fail with EFBIG instead of ending the process.
      std::signal(SIGXFSZ, SIG_IGN);
      const rlim_t n = rlim_t(std::atoll(limit));
      const struct rlimit r { n, n };
      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &r), 0);
    }
    GetParam().write(*this);
    if (Bmm_CurrentPage() == datesPlatPage(GetParam().datesPlat)) std::cerr << "stayed on the calendar page\n";
    EXPECT_EQ(Bmm_CurrentPage(), page::UpdateSetup);
  }
  for (const MessageRequest& m : messages)
    if ((m.style & 0x70) == mb::Critical) ADD_FAILURE() << m.text;
  messages.clear();
  endRun();
}

// Trials of one installation, each in a copy of its own: a child run with a
// fault, the retry as a plain child run, then the target and the stored
// profile as the next start finds them.
class Trials {
 public:
  explicit Trials(CalendarTargets& t, const fs::path& home, const fs::path& settings, const fs::path& standins)
      : home_(home), settings_(settings), standins_(standins), from_(home.parent_path().string()) {
    self_ = fs::read_symlink("/proc/self/exe").string();
    filter_ = "--gtest_filter=EveryTarget/CalendarTargets.CrashCampaignChildRun/" + std::string(t.GetParam().name);
  }

  std::unique_ptr<Trial> fresh() const {
    auto t = std::make_unique<Trial>();
    copyTree(home_, t->home());
    copyTree(settings_, t->settings());
    copyTree(standins_, t->standins());
    // The settings name folders by their full paths: a copy names its own.
    for (const auto& e : fs::directory_iterator(t->settings())) {
      std::string text = readFile(e.path());
      for (size_t at = text.find(from_); at != std::string::npos; at = text.find(from_, at + 1))
        text.replace(at, from_.size(), t->dir.path().string());
      testing::writeFile(e.path(), text);
    }
    return t;
  }

  testing::ToolRun child(const Trial& t, std::map<std::string, std::string> env) const {
    env["PELLARY_CRASH_HOME"] = t.home().string();
    env["PELLARY_CRASH_SETTINGS"] = t.settings().string();
    env["PELLARY_CRASH_STANDINS"] = t.standins().string();
    env["PELLARY_UNATTENDED"] = "1";
    // A child ended by a fault leaves its own fixture's folder behind: made
    // here, it goes with this campaign's.
    env["TMPDIR"] = childTemp_.path().string();
    return testing::runTool(self_, {filter_}, env, 240000);
  }

  std::map<std::string, std::string> shim(const Trial& t) const {
    return {{"LD_PRELOAD", PELLARY_CRASH_SHIM}, {"PELLARY_CRASH_UNDER", t.dir.path().string()}};
  }

 private:
  fs::path home_, settings_, standins_;
  std::string from_, self_, filter_;
  testing::TempDir childTemp_;
};

long failureCount() { return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count(); }

// The retry and the check after it; true when the trial converged.
bool CalendarTargets::retryConverges(const Trials& trials, const Trial& t, const std::string& when, long expected) {
  const long before = failureCount();
  const testing::ToolRun retry = trials.child(t, {});
  EXPECT_EQ(retry.exitCode, 0) << when << ": the retry failed\n" << retry.out << retry.err;
  FoldersOf in(t);
  try {
    expectInStep(when.c_str());
    EXPECT_EQ(held(), expected) << when;
    EXPECT_EQ(ownEntries(), own) << when << ": the user's own entries";
  } catch (const std::exception& e) {
    ADD_FAILURE() << when << ": the target cannot be read back: " << e.what();
  }
  ol::closeStore();
  Bsql_CloseDataBank();
  return failureCount() == before;
}

// The categories of the pass: the two of the walk, or PELLARY_CRASH_CATEGORIES.
std::vector<std::string> campaignCategories() {
  const char* named = std::getenv("PELLARY_CRASH_CATEGORIES");
  std::vector<std::string> out{kCup, kChampions};
  if (!named || !*named) return out;
  std::istringstream list(named);
  for (std::string c; std::getline(list, c, ';');)
    if (!c.empty() && std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
  return out;
}

// An installation for trials, and what a complete run leaves on the target.
long CalendarTargets::prepareTrials(const Trials& trials, std::vector<std::string>* calls) {
  if (!installed) installWithSharedEvent();
  endRun();
  ol::registerOutlookClasses();  // the readers' Outlook, as a start registers it
  auto t = trials.fresh();
  const fs::path trace = t->dir.path() / "trace";
  auto env = trials.shim(*t);
  env["PELLARY_CRASH_TRACE"] = trace.string();
  const testing::ToolRun r = trials.child(*t, env);
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  if (calls) *calls = tracedCalls(trace);
  FoldersOf in(*t);
  const long entries = held();
  expectInStep("a complete run");
  ol::closeStore();
  Bsql_CloseDataBank();
  if (!std::getenv("PELLARY_CRASH_CATEGORIES")) {
    EXPECT_EQ(entries, bothCategories);
  }
  return entries;
}

// The run is killed just before one call that changes a file (during the
// pass, the target's own commit, the profile commit, a settings save); the
// next start and one complete run leave the target's entries equal to the
// profile's written entries, each once. Every call of the run is tried;
// PELLARY_CRASH_POINTS=N tries N of them, the seams between files first.
// PELLARY_CRASH_CATEGORIES (names joined by ";") makes the pass larger.
TEST_P(CalendarTargets, ARunEndedAtAnyCallConvergesOnTheRetry) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the preloaded shim cannot come before the sanitizer's runtime";
#endif
  const char* asked = std::getenv("PELLARY_CRASH_POINTS");
  const long cap = !asked || std::string(asked) == "all" ? 0 : std::atol(asked);
  const Trials trials(*this, home(), settings(), standins());
  std::vector<std::string> calls;
  const long expected = prepareTrials(trials, &calls);
  ASSERT_GT(calls.size(), 10u);

  long tried = 0, converged = 0, killedThere = 0;
  for (long point : killPoints(calls, cap)) {
    auto t = trials.fresh();
    auto env = trials.shim(*t);
    env["PELLARY_CRASH_AT"] = std::to_string(point);
    const testing::ToolRun killed = trials.child(*t, env);
    ++tried;
    killedThere += killed.exitCode == -1 ? 1 : 0;
    const std::string when = "kill before call " + std::to_string(point) + " (" + calls[size_t(point - 1)] + ")";
    if (retryConverges(trials, *t, when, expected)) ++converged;
  }
  std::cout << "crash campaign " << GetParam().name << ": " << expected << " entries, " << calls.size() << " calls, "
            << tried << " kill points tried (" << killedThere << " killed there), " << converged << " converged\n";
  // The shim did end the runs (a run that outlived its point was not tried).
  EXPECT_GT(killedThere, tried / 2);
}

// A full disk without root: the write under a file-size limit that each file
// the run grows (the target's, the settings) meets half way, or that the
// entry journal and the databank's log pass; then the limit is lifted and
// the retry converges, every file readable.
TEST_P(CalendarTargets, AFullDiskLeavesNoTornFileAndTheRetryConverges) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the trials' traces come from the preloaded shim";
#endif
  const Trials trials(*this, home(), settings(), standins());
  std::vector<std::string> calls;
  installWithSharedEvent();
  const bool padded = padWithOwnEntries(40000);
  const long expected = prepareTrials(trials, &calls);
  // Each grown file's size before and after a complete run (a copy of the run above).
  std::map<std::string, std::pair<uintmax_t, uintmax_t>> grown;
  {
    auto t = trials.fresh();
    std::map<std::string, uintmax_t> before;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(t->dir.path(), ec))
      if (e.is_regular_file()) before[fs::relative(e.path(), t->dir.path()).string()] = e.file_size();
    ASSERT_EQ(trials.child(*t, {}).exitCode, 0);
    for (const auto& e : fs::recursive_directory_iterator(t->dir.path(), ec)) {
      if (!e.is_regular_file()) continue;
      const std::string name = fs::relative(e.path(), t->dir.path()).string();
      const uintmax_t was = before.count(name) ? before[name] : 0;
      if (e.file_size() > was) grown[name] = {was, e.file_size()};
    }
  }
  ASSERT_FALSE(grown.empty());
  if (std::getenv("PELLARY_CRASH_VERBOSE"))
    for (const auto& [name, sizes] : grown) std::cout << name << " " << sizes.first << " -> " << sizes.second << "\n";
  std::set<uintmax_t> limits;
  for (const auto& [name, sizes] : grown) limits.insert(sizes.first + (sizes.second - sizes.first) / 2);
  // The databank's log and the entry journal are gone by the end of a run: sizes they pass.
  for (uintmax_t l : {uintmax_t(512), uintmax_t(4096), uintmax_t(65536)}) limits.insert(l);
  long failed = 0;
  for (uintmax_t limit : limits) {
    auto t = trials.fresh();
    const testing::ToolRun limited = trials.child(*t, {{"PELLARY_CRASH_FSIZE", std::to_string(limit)}});
    std::string names;
    for (const auto& [name, sizes] : grown)
      if (sizes.second > limit && sizes.first <= limit) names += " " + name;
    const std::string when = "file size limit " + std::to_string(limit) + " (reached by" + names + ")";
    if (limited.exitCode != 0) {
      ++failed;
      if (std::getenv("PELLARY_CRASH_VERBOSE")) std::cout << when << ": " << limited.out << limited.err << "\n";
      // The error took the error road (the user was told, the log has it),
      // or a settings save that failed kept the user on the page.
      if (limited.err.find("stayed on the calendar page") == std::string::npos) {
        EXPECT_NE(limited.err.find("message: An error has occurred"), std::string::npos) << when << "\n" << limited.err;
        EXPECT_TRUE(fs::exists(t->home() / "LY98ERR.log")) << when;
      }
    }
    retryConverges(trials, *t, when, expected);
  }
  EXPECT_GT(failed, 0) << "no limit failed the run";
  (void)padded;
  std::cout << "disk full " << GetParam().name << ": " << limits.size() << " limits, " << failed << " failed the run\n";
}

// Another program holds the databank's write lock for a second, from the
// moment the pass starts or from the target's first entry: the run waits it
// out and completes.
TEST_P(CalendarTargets, ALockHeldBrieflyByAnotherProgramIsWaitedOut) {
  installWithSharedEvent();
  const fs::path bank = paths::resolve(paths::programFolder(), Breg_GetRegSetting("Support", "Name"));
  struct Locker {
    QProcess p;
    void take(const fs::path& db) {
      p.start("python3", {"-c",
                          "import sqlite3,sys,time\n"
                          "c=sqlite3.connect(sys.argv[1],isolation_level=None)\n"
                          "c.execute('BEGIN EXCLUSIVE')\n"
                          "print('held',flush=True)\n"
                          "time.sleep(1)\n"
                          "c.execute('COMMIT')\n",
                          QString::fromStdString(db.string())});
      ASSERT_TRUE(p.waitForReadyRead(20000)) << p.readAllStandardError().toStdString();
    }
    ~Locker() { p.waitForFinished(20000); }
  };

  // Held as the calendar page's Next starts the pass.
  {
    Locker lock;
    run([&] { addCategory(kCup); }, [&] { lock.take(bank); });
    finishedRun("lock at the pass's start");
    expectInStep("lock at the pass's start");
  }
  // Held from the first entry the target takes, over the rest of the pass and the commit.
  {
    Locker lock;
    bool taken = false;
    platform::standins::onEntryTaken([&] {
      if (!taken) lock.take(bank);
      taken = true;
    });
    run([&] { addCategory(kChampions); });
    platform::standins::onEntryTaken(nullptr);
    finishedRun("lock at the first entry");
    expectInStep("lock at the first entry");
    if (GetParam().datesPlat != 1) {  // Quoll counts its entries in its own module
      EXPECT_TRUE(taken);
    }
  }
  EXPECT_EQ(held(), bothCategories);
}

bool CalendarTargets::padWithOwnEntries(int n) {
  const std::string name = GetParam().name;
  auto title = [](int i) { return std::string(kOwnEntry) + " " + std::to_string(i); };
  if (name == "Notes") {
    const fs::path f = nt::databasePath("", kNotesFile);
    nt::Database db = nt::readDatabase(f);
    for (int i = 0; i < n; ++i) db.entries.push_back({1990, 1, 1 + i % 28, 1990, 1, 1 + i % 28, title(i), "mine"});
    nt::writeDatabase(f, db);
  } else if (name == "DayTimer") {
    const fs::path f = dt::databaseFile(kDayTimerDb);
    dt::DatabaseContent db = dt::readDatabase(f);
    for (int i = 0; i < n; ++i)
      db.entries.push_back({"own" + std::to_string(i), 32874.0 + i % 28, 32874.0 + i % 28, i, title(i)});
    dt::writeDatabase(f, db);
  } else if (name == "Organizer") {
    const fs::path f = org::filePath(kOrganizerFile);
    org::OrganizerFile file = org::readFile(f);
    for (int i = 0; i < n; ++i)
      file.entries.push_back({"CAL1", 0, 9, 1 + i % 28, 1, 1990, 1 + i % 28, 1, 1990, title(i)});
    org::writeFile(f, file);
  } else if (name == "Series5") {
    const fs::path f = psi::devicePath(install::kSeries5DemoAgenda);
    std::vector<psi::AgendaEntry> entries = psi::readAgendaFile(f);
    for (int i = 0; i < n; ++i)
      entries.push_back({int32_t(i + 1), 32874.0 + i % 28, 32874.0 + i % 28, false, false, false, "", title(i)});
    psi::writeAgendaFile(f, entries, n + 1);
  } else if (name == "Palm") {
    std::vector<standins::palm::DatebookEntry> entries;
    for (int i = 0; i < n; ++i)
      entries.push_back({int16_t(1 + i % 28), 1, 1990, int16_t(1 + i % 28), 1, 1990, title(i), "mine"});
    standins::palm::writeDatebook(standins::palm::datebookFile(standins::palm::users().at(0)), entries);
  } else {
    return false;
  }
  own = n;
  return true;
}

// --- the targets -------------------------------------------------------------

void noPreparation(CalendarTargets&) {}

void outlookWrite(CalendarTargets& t) {
  t.keepTheCalendarWhenOutlookOpens();
  t.current<frmOutlook>().cmdNext_Click();
  if (Bmm_CurrentPage() == datesPlatPage(3)) t.current<frmOutlook>().guide()->cmdContinue_Click();
}
std::vector<std::string> outlookEntries(CalendarTargets&) {
  // A new Outlook process, through its object model.
  ol::closeStore();
  auto app = platform::automation::createObject(ol::kApplicationClass);
  auto mapi = app->call("GetNamespace", {Variant(std::string("MAPI"))}).toObject();
  auto calendar = mapi->call("GetDefaultFolder", {Variant(int32_t(9))}).toObject();
  auto items = calendar->call("Items").toObject();
  std::vector<std::string> out;
  const int32_t n = items->call("Count").toLong();
  for (int32_t i = 1; i <= n; ++i) {
    auto item = items->call("Item", {Variant(i)}).toObject();
    out.push_back(item->call("Subject").toString() + "|" + day(item->call("Start").toDouble()));
  }
  return out;
}

void palmWrite(CalendarTargets& t) {
  frmPilot& pilot = t.current<frmPilot>();
  auto* users = pilot.findChild<QListWidget*>("lstPilotUsers");
  ASSERT_NE(users, nullptr);
  users->setCurrentRow(0);
  emit users->itemClicked(users->item(0));
  pilot.cmdNext_Click();
}
std::vector<std::string> palmEntries(CalendarTargets&) {
  std::vector<std::string> out;
  const auto user = standins::palm::users().at(0);
  for (const auto& e : standins::palm::readDatebook(standins::palm::datebookFile(user)))
    out.push_back(e.title + "|" + std::to_string(e.startYear) + "-" + std::to_string(e.startMonth) + "-" +
                  std::to_string(e.startDay));
  return out;
}

void series3Prepare(CalendarTargets&) {
  // The device holds an empty agenda: the header and the first-record offset.
  const fs::path agenda = psi::devicePath(kSeries3Agenda);
  fs::create_directories(agenda.parent_path());
  std::ofstream(agenda, std::ios::binary) << std::string(18, '\x5A') + std::string("\x14\x00", 2);
}
void series3Write(CalendarTargets& t) {
  frmPsion3Agenda& page = t.current<frmPsion3Agenda>();
  page.txtAgendaName->setText(kSeries3Agenda);
  for (int i = 0; i < 200 && page.Status->currentMessage() != "Connected"; ++i) Bps3().doEvents();
  ASSERT_EQ(page.Status->currentMessage().toStdString(), "Connected");
  page.cmdNext->click();
}
std::vector<std::string> series3Entries(CalendarTargets&) {
  quoll::AgendaFile file;
  std::vector<std::string> out;
  if (file.OpenFile(psi::devicePath(kSeries3Agenda)) != 0) return {"unreadable agenda"};
  while (file.ReadNextEntry() == 0)
    if (file.recordType() != quoll::AgendaFile::Deleted && file.entry().hasDate)
      out.push_back(file.entry().text + "|" + std::to_string(file.entry().day));
  return out;
}

void series5Write(CalendarTargets& t) {
  frmPsion5& page = t.current<frmPsion5>();
  page.txtAgendaName->setText(install::kSeries5DemoAgenda);
  for (int i = 0; i < 200 && !page.cmdNext->isEnabled(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
  ASSERT_TRUE(page.cmdNext->isEnabled()) << "the device connects";
  page.cmdNext->click();
}
std::vector<std::string> series5Entries(CalendarTargets&) {
  std::vector<std::string> out;
  for (const auto& e : psi::readAgendaFile(psi::devicePath(install::kSeries5DemoAgenda)))
    out.push_back(firstLine(e.text) + "|" + day(e.start));
  return out;
}

void organizerPrepare(CalendarTargets&) {
  // Organizer 99.1 with one file in its list of recent files.
  platform::settings::writeValue(platform::settings::Root::CurrentUser, "Software\\Lotus\\Organizer\\99.1\\Settings",
                                 "File1", kOrganizerFile);
  org::OrganizerFile f;
  f.password = "sesame";
  f.sections = {{0, "CAL1", "Calendar"}, {0, "CAL2", "Work"}, {1, "Anniversary", "Birthdays"}};
  org::writeFile(org::filePath(kOrganizerFile), f);
}
void organizerWrite(CalendarTargets& t) {
  frmOrgDetails& page = t.current<frmOrgDetails>();
  if (!page.lstFiles->isHidden()) page.lstFiles->setCurrentRow(0);
  page.txtPassword->setText("sesame");
  page.chkKeepPassword->setChecked(true);
  page.cmdNext_Click();
  if (page.step() == 1) {
    page.lstSections->setCurrentRow(1);
    page.cboDispTime->setCurrentIndex(3);  // 10:00
    page.cmdNext_Click();
  }
}
std::vector<std::string> organizerEntries(CalendarTargets&) {
  std::vector<std::string> out;
  for (const auto& e : org::readFile(org::filePath(kOrganizerFile)).entries) {
    if (e.text.rfind(kOwnEntry, 0) != 0) {
      EXPECT_EQ(e.hour, 10) << e.text;  // the hour picked in the first run
    }
    out.push_back(firstLine(e.text) + "|" + std::to_string(e.startYear) + "-" + std::to_string(e.startMonth) + "-" +
                  std::to_string(e.startDay));
  }
  return out;
}

void notesPrepare(CalendarTargets&) { nt::writeDatabase(nt::databasePath("", kNotesFile), {"pw", {}}); }
void notesWrite(CalendarTargets& t) {
  frmLotusSelect& page = t.current<frmLotusSelect>();
  if (page.txtUserFile->isEnabled()) page.txtUserFile->setText(kNotesFile);
  page.txtPassword->setText("pw");
  page.chkKeepPassword->setChecked(true);
  page.cmdNext_Click();
}
std::vector<std::string> notesEntries(CalendarTargets&) {
  std::vector<std::string> out;
  for (const auto& e : nt::readDatabase(nt::databasePath("", kNotesFile)).entries)
    out.push_back(e.title + "|" + std::to_string(e.startYear) + "-" + std::to_string(e.startMonth) + "-" +
                  std::to_string(e.startDay));
  return out;
}

void dayTimerPrepare(CalendarTargets&) {
  dt::writeDatabase(dt::databaseFile(kDayTimerDb), {});
  fs::create_directories(dt::windowsFolder());
  std::ofstream(dt::windowsFolder() / "daytimer.ini", std::ios::binary)
      << "[LastPaths]\r\nPath0=C:\\DT\r\nDatabaseName0=Home\r\n";
}
void dayTimerWrite(CalendarTargets& t) {
  frmDayTimersSelect& page = t.current<frmDayTimersSelect>();
  page.lstFiles->setCurrentRow(0);
  t.answer = mb::Yes;  // the database shown is the right one
  page.cmdNext_Click();
  t.answer = mb::OK;
}
std::vector<std::string> dayTimerEntries(CalendarTargets&) {
  std::vector<std::string> out;
  for (const auto& e : dt::readDatabase(dt::databaseFile(kDayTimerDb)).entries)
    out.push_back(firstLine(e.text) + "|" + day(e.start));
  return out;
}

INSTANTIATE_TEST_SUITE_P(EveryTarget, CalendarTargets,
                         ::testing::Values(Target{"Outlook", 3, 2, noPreparation, outlookWrite, outlookEntries},
                                           Target{"Palm", 12, 0, noPreparation, palmWrite, palmEntries},
                                           Target{"Series3", 1, 0, series3Prepare, series3Write, series3Entries},
                                           Target{"Series5", 15, 0, noPreparation, series5Write, series5Entries},
                                           Target{"Organizer", 6, 0, organizerPrepare, organizerWrite,
                                                  organizerEntries},
                                           Target{"Notes", 9, 2, notesPrepare, notesWrite, notesEntries},
                                           Target{"DayTimer", 4, 2, dayTimerPrepare, dayTimerWrite, dayTimerEntries}),
                         [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pellary
