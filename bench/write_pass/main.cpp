// The central writer's preview pass and write pass over 50,000 entries of the
// bench databank into each calendar target's stand-in, then a second run that
// removes 10,000 of them. Each run is timed as the user waits for it: the
// target opened, the write pass, the target's own commit and flush, and the
// profile commit. Beside each write pass, a plain loop writes the same bytes
// into the same kind of file and the same number of rows into the databank. Prints figures, ratios and goal lines; the
// exit code is 0 whatever they are. Arguments, when given, pick the targets
// whose names contain them.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "../scratch.h"
#include "bench/common/bench_databank.h"
#include "core/databank.h"
#include "core/final_selection.h"
#include "core/preview_lists.h"
#include "core/products.h"
#include "core/profile_commit.h"
#include "core/profile_lists.h"
#include "core/registry.h"
#include "platform/automation/class_registry.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/oledate.h"
#include "platform/paths.h"
#include "quoll/kest_quoll.h"
#include "standins/daytimer/daytimer_db.h"
#include "standins/notes/notes_control.h"
#include "standins/organizer/organizer_control.h"
#include "standins/outlook/outlook_automation.h"
#include "standins/outlook/outlook_store.h"
#include "standins/palm/palm_desktop.h"
#include "standins/psiwin/psiwin_engine.h"
#include "writers/daytimer/daytimer_writer.h"
#include "writers/notes/notes_writer.h"
#include "writers/organizer/organizer_writer.h"
#include "writers/outlook/outlook_writer.h"
#include "writers/palm/palm_writer.h"
#include "writers/processor/central_writer.h"
#include "writers/processor/relay.h"
#include "writers/series3/series3_writer.h"
#include "writers/series5/series5_writer.h"

using namespace pellary;
using namespace pellary::bench;
namespace fs = std::filesystem;

namespace {

constexpr int32_t kEntries = 50000;
constexpr int32_t kRemoved = 10000;
// Added during this run, every priority level.
constexpr int16_t kAllPriorities = 0x0100;

// How the target keeps what it is given; the plain loop does the same.
enum class Persist {
  OneWrite,        // buffered, reaching the file when it closes
  AppendPerEntry,  // one write call per entry at the file's end
  FilePerEntry,    // a file of its own per entry
};

// What one run of a target measured.
struct Run {
  double flow = 0;     // the whole write: open, write pass, commit point
  double open = 0;     // before the write pass
  double pass = 0;     // the central writer's write pass, the target's calls included
  double commit = 0;   // after the write pass: the target's own commit and flush
  double profile = 0;  // the profile commit that follows
  double relay = 0;    // inside the target's add and delete calls
  int32_t calls = 0;   // add and delete calls
  Clock::time_point start, passStart, passEnd;
  // What the target itself spends on the entries: its calls and its commit point.
  double writing() const { return relay + commit; }
};

Run* gRun = nullptr;

constexpr int kMeasured = 3;

// What the parent reads of a target's process it stops.
struct Progress {
  std::atomic<int> calls{0};
  std::atomic<int> run{0};  // 1 or 2 while a run is timed; kMeasured once the figures are printed
  // The run under way: its calls and when it started.
  std::atomic<int> runCalls{0};
  std::atomic<int64_t> runStartNs{0};
};

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}
Progress* gProgress = nullptr;

void timedPass() {
  gRun->passStart = Clock::now();
  Bplp_CentralWriter(false);
  gRun->passEnd = Clock::now();
}

// The relays, timed.
void timeRelays() {
  Bplp().writeOverride = [](RelayEventRecord& r, int16_t& p) {
    auto a = Clock::now();
    std::string id = relayTargetOf(Bset().Bset_DatesPlat)->add(r, p);
    gRun->relay += seconds(a, Clock::now());
    ++gRun->calls;
    ++gProgress->calls;
    ++gProgress->runCalls;
    return id;
  };
  Bplp().deleteOverride = [](RelayEventRecord& r, int16_t& p) {
    auto a = Clock::now();
    relayTargetOf(Bset().Bset_DatesPlat)->remove(r, p);
    gRun->relay += seconds(a, Clock::now());
    ++gRun->calls;
    ++gProgress->calls;
    ++gProgress->runCalls;
  };
}

struct Target {
  // Most targets take no later step.
  Target(const char* name, int16_t code, Persist persist, std::function<void()> prepare, std::function<void()> write,
         std::function<fs::path()> store, const char* laterStep = nullptr, std::function<void()> later = {})
      : name(name),
        code(code),
        persist(persist),
        prepare(std::move(prepare)),
        write(std::move(write)),
        store(std::move(store)),
        laterStep(laterStep),
        later(std::move(later)) {}
  const char* name;
  int16_t code;
  Persist persist;
  std::function<void()> prepare;    // an empty store, before the first run
  std::function<void()> write;      // open, write pass, commit point
  std::function<fs::path()> store;  // the file or folder that holds the entries
  // A later step the program takes with what was written (printed apart).
  const char* laterStep = nullptr;
  std::function<void()> later;
};

fs::path gRoot;

// The same write pass relaying into a plain loop: each entry's share of the
// store's bytes written to a file of the same kind, in dir.
double plainPass(const fs::path& dir, uint64_t bytes, int32_t entries, Persist persist) {
  fs::create_directories(dir);
  const fs::path file = dir / "plain.out";
  const std::string chunk(size_t(bytes / uint64_t(std::max(entries, 1))), 'x');
  std::ofstream buffered;
  int fd = -1;
  auto a = Clock::now();
  if (persist == Persist::AppendPerEntry)
    fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  else if (persist == Persist::OneWrite)
    buffered.open(file, std::ios::binary | std::ios::trunc);
  int n = 0;
  auto put = [&] {
    if (persist == Persist::FilePerEntry) {
      std::ofstream(dir / ("plain-" + std::to_string(n++) + ".out"), std::ios::binary)
          .write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    } else if (fd >= 0) {
      if (::write(fd, chunk.data(), chunk.size()) < 0) std::perror("plain loop");
    } else {
      buffered.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
  };
  Bplp().writeOverride = [&](RelayEventRecord&, int16_t&) {
    put();
    return std::string();
  };
  Bplp().deleteOverride = [&](RelayEventRecord&, int16_t&) { put(); };
  Bplp_CentralWriter(false);
  if (fd >= 0) ::close(fd);
  buffered.close();
  const double t = seconds(a, Clock::now());
  timeRelays();
  return t;
}

// A fresh profile in memory choosing the first categories of the events
// product until their events make kEntries entries.
void chooseCategories() {
  resetProfileLists();
  int32_t entries = 0;
  for (int32_t cat = 1; entries < kEntries; ++cat) {
    Bsda_AddToProfileCatList(cat, int16_t(catstate::Added | kAllPriorities), 0, 0, 0, 6);
    entries += 40 + (cat % 10 == 1 ? 40 : 0);  // the generator's links
  }
}

// After the first run: the added categories are in the profile, and enough of
// them removed to take kRemoved entries off the target.
int32_t removeSome() {
  ProfileLists& l = Bsda();
  std::map<int32_t, int32_t> written;
  for (int32_t i = 1; i <= l.eventCount(); ++i)
    if (l.event(i).Status & 0x0004) ++written[l.event(i).CatID];
  int32_t removed = 0;
  for (int32_t i = 1; i <= l.catCount(); ++i) {
    ProfileCatRecord& c = l.cat(i);
    const bool remove = removed < kRemoved;
    if (remove) removed += written[c.CatID];
    c.Status = int16_t((c.Status & catstate::OptionMask) | (remove ? catstate::Removed : catstate::InProfile));
  }
  return removed;
}

MemoryPreviewList gPreview;

double previewPass() {
  gPreview.clear();
  previewTargets().dates = &gPreview;
  auto a = Clock::now();
  Bplp_CentralWriter(true);
  return seconds(a, Clock::now());
}

void goal(const std::string& what, const std::string& figure, const std::string& goalText, bool met) {
  std::printf("  %-44s %-26s goal %s: %s\n", what.c_str(), figure.c_str(), goalText.c_str(), verdict(met));
}

std::string fmt(const char* f, double v) {
  char b[64];
  std::snprintf(b, sizeof b, f, v);
  return b;
}

Run runOnce(Target& t) {
  Run r;
  gRun = &r;
  gProgress->runCalls = 0;
  gProgress->runStartNs = nowNs();
  r.start = r.passStart = r.passEnd = Clock::now();
  t.write();
  const auto written = Clock::now();
  // The page's next step once the pass succeeded.
  Bsda_CommittChanges();
  const auto end = Clock::now();
  r.flow = seconds(r.start, end);
  r.open = seconds(r.start, r.passStart);
  r.pass = seconds(r.passStart, r.passEnd);
  r.commit = seconds(r.passEnd, written);
  r.profile = seconds(written, end);
  gRun = nullptr;
  return r;
}

// The plain loop's share of the profile commit: as many rows written into a
// table of the profile's shape, in one transaction.
double plainRows(int32_t rows) {
  dao::Database& db = Bsql_DataBank();
  db.execute("CREATE TABLE IF NOT EXISTS PlainRows AS SELECT * FROM ProfileEventList WHERE 0");
  db.execute("DELETE FROM PlainRows");
  dao::Statement insert = db.prepare(
      "INSERT INTO PlainRows (ProfileID, EventID, CatID, Version, Status, AddStatus, AuxDate, DateUsed, PlatMisc, "
      "PubHol) VALUES (1, ?1, 0, 1, 4, 0, 0, 0, ?2, NULL)");
  const auto a = Clock::now();
  db.beginTrans();
  for (int32_t i = 1; i <= rows; ++i) insert.bindInt(1, i).bindText(2, "entry-" + std::to_string(i)).run();
  db.commitTrans();
  return seconds(a, Clock::now());
}

// The bytes and the number of files of a store (a file or a folder).
uint64_t storeBytes(const fs::path& store, int32_t& files) {
  uint64_t n = 0;
  files = 0;
  std::error_code ec;
  if (fs::is_regular_file(store, ec)) {
    files = 1;
    return fs::file_size(store);
  }
  if (fs::is_directory(store, ec))
    for (const auto& e : fs::recursive_directory_iterator(store))
      if (e.is_regular_file()) {
        n += e.file_size();
        ++files;
      }
  return n;
}

std::vector<Target> targets() {
  namespace dt = standins::daytimer;
  namespace ol = standins::outlook;
  namespace psi = standins::psiwin;
  namespace au = platform::automation;
  const fs::path home = gRoot / "program";
  std::vector<Target> list;

  list.push_back({"Outlook", 3, Persist::OneWrite,
                  [] {
                    ol::closeStore();
                    ol::registerOutlookClasses();
                    resetOutlookState();
                  },
                  [] {
                    Bset().Bset_NoProfileCats = true;  // asks for the folder: the calendar in view
                    Bout_InitialiseOutlook();
                    // The pass Bout_BeginWriting runs, without its windows and the profile's commit.
                    if (Bout_CheckOutlook()) timedPass();
                    ol::closeStore();
                  },
                  [] { return paths::standinsFolder(); }});

  list.push_back({"Palm exchange file", 12, Persist::OneWrite, [] { resetPalmWriter(); },
                  [] {
                    Bpm_OpenPalmUpdateFile();
                    timedPass();
                    Bpm_ClosePalmUpdateFile();
                  },
                  [home] { return home / "Datefile.kest"; }, "the conduit applies them to the Date Book",
                  [home] {
                    Bpm_CallConduit((paths::standinsFolder() / "Datebook.dat").string(),
                                    (home / "Datefile.kest").string());
                  }});

  list.push_back({"Series 3 agenda (Quoll)", 1, Persist::AppendPerEntry,
                  [home] {
                    resetBps3();
                    std::ofstream(home / "Psi3.agn", std::ios::binary) << std::string(18, '\0') << '\x14' << '\0';
                  },
                  [home] {
                    auto quoll = std::make_shared<quoll::KestQuoll>();
                    Bps3().quoll = quoll;
                    quoll->call(quoll::kOpen, {Variant((home / "Psi3.agn").string())});
                    timedPass();
                    quoll->call(quoll::kClose);
                    Bps3().quoll.reset();
                  },
                  [home] { return home / "Psi3.agn"; }});

  list.push_back({"Series 5 agenda", 15, Persist::OneWrite,
                  [] {
                    resetBpsi();
                    psi::registerPsiWinClasses();
                    psi::installPsiWin(true);
                    psi::createAgendaFile("C:\\Agenda.agn");
                  },
                  [] {
                    Bpsi().writePass = timedPass;
                    Bpsi().commit = [] {};
                    Bpsi_SetAgendaFile("C:\\Agenda.agn");
                    if (!Bpsi_psion5Handler()) std::fprintf(stderr, "the Series 5 write failed\n");
                  },
                  [] { return psi::deviceFolder(); }});

  list.push_back({"Organizer", 6, Persist::OneWrite,
                  [] {
                    resetBorg();
                    standins::organizer::registerOrganizerClass();
                    standins::organizer::OrganizerFile f;
                    f.sections.push_back({0, "Calendar", "Calendar"});
                    standins::organizer::writeFile(standins::organizer::filePath("C:\\Organize\\Bench.or5"), f);
                    Breg_WriteRegSettings("Settings", "OrgSection", "Calendar");
                  },
                  [] {
                    Borg().writePass = timedPass;
                    Borg().commit = [] {};
                    Borg().nextPage = [] {};
                    if (Borg_Initialise_Control(4, 0, 9, "C:\\Organize\\Bench.or5", "") != 0)
                      std::fprintf(stderr, "the Organizer file did not open\n");
                    Borg_RunWrite();
                  },
                  [] { return paths::standinsFolder() / "organizer"; }});

  list.push_back(
      {"Notes", 9, Persist::AppendPerEntry,
       [] {
         resetBLot();
         standins::notes::registerNotesClass();
         standins::notes::writeDatabase(standins::notes::databasePath("", "mail\\bench.nsf"), {});
       },
       [] {
         platform::Dispatch& c = BLot_Control();
         c.call(3, {Variant(std::string()), Variant(std::string("mail\\bench.nsf")), Variant(std::string())});
         if (c.call(5).toString() != standins::notes::kLoggedOn)
           std::fprintf(stderr, "Notes did not log on: %s\n", c.call(5).toString().c_str());
         timedPass();
         c.call(4);
       },
       [] { return paths::standinsFolder() / "notes"; }});

  list.push_back({"Day-Timer", 4, Persist::AppendPerEntry,
                  [] {
                    resetBdt();
                    dt::writeDatabase(dt::databaseFile("C:\\DayTimer\\Bench"), {});
                  },
                  [] {
                    auto db = std::make_shared<dt::DayTimerDatabase>();
                    if (db->setCurrentDB("C:\\DayTimer\\Bench", "", "", "") != dt::result::Ok)
                      std::fprintf(stderr, "the Day-Timer database did not open\n");
                    Bdt().writePass = timedPass;
                    Bdt().commit = [] {};
                    Bdt().nextPage = [] {};
                    Bdt_RunWrite(db);
                    Bdt().Bdt_DayTimerDB.reset();
                  },
                  [] { return paths::standinsFolder() / "daytimer"; }});
  return list;
}

// What earlier steps left unflushed is flushed before a timed step, so that
// no step pays for another's (a new Outlook store flushes the file system).
void settle() {
  const int fd = ::open(gRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::syncfs(fd);
    ::close(fd);
  }
}

// One target: the first run, the second run and the plain loop, in a process
// of its own.
double timeLater(Target& t) {
  if (!t.later) return 0;
  const auto a = Clock::now();
  t.later();
  return seconds(a, Clock::now());
}

// The quicker of two runs, figure by figure.
Run quicker(const Run& a, const Run& b) {
  Run r = a;
  r.flow = std::min(a.flow, b.flow);
  r.open = std::min(a.open, b.open);
  r.pass = std::min(a.pass, b.pass);
  r.commit = std::min(a.commit, b.commit);
  r.profile = std::min(a.profile, b.profile);
  r.relay = std::min(a.relay, b.relay);
  return r;
}

void measure(Target& t, bool firstPreview) {
  Bsql_OpenDataBanks();
  Bset_SetProducts();
  timeRelays();
  Bset().Bset_DatesPlat = t.code;
  Bset().Bset_NoProfileCats = false;
  std::printf("%s (calendar platform code %d):\n", t.name, t.code);

  // Each figure is the best of a few rounds on a fresh store, so that other
  // work on the machine weighs less.
  constexpr int kRounds = 5;
  std::vector<fs::path> kept;
  Run first, second;
  double plain = 0, laterFirst = 0, laterSecond = 0;
  int32_t removing = 0, files = 0;
  uint64_t bytes = 0;
  Persist persist = t.persist;
  // The plain loop: the same first run relaying into plain files.
  auto plainRound = [&](int round) {
    chooseCategories();
    Bsql_SetFinalRecordSelection();
    previewPass();
    const fs::path plainDir = gRoot / ("plain-" + std::to_string(t.code) + "-" + std::to_string(round));
    settle();
    const double p =
        plainPass(plainDir, bytes, first.calls, persist) + plainRows(Bsda().eventCount() + Bsda().catCount());
    plain = plain == 0 ? p : std::min(plain, p);
    kept.push_back(plainDir);
  };
  for (int round = 0; round < kRounds; ++round) {
    // Which side goes first alternates: a file made right after many were
    // made or removed can cost more, which would always fall on one side.
    // (The first round tells the plain loop how many bytes to write.)
    const bool plainFirst = round % 2 == 1;
    if (plainFirst) plainRound(round);
    const fs::path standins = gRoot / ("standins-" + std::to_string(t.code) + "-" + std::to_string(round));
    setenv("PELLARY_STANDINS", standins.c_str(), 1);
    t.prepare();
    chooseCategories();
    Bsql_SetFinalRecordSelection();
    const double preview1 = previewPass();
    if (firstPreview && round == 0)
      goal("preview pass, " + std::to_string(Bplp().Bplp_TotalCount) + " entries", fmt("%.3f s", preview1), "< 1 s",
           preview1 < 1.0);
    gProgress->run = 1;
    settle();
    const Run one = runOnce(t);
    const double later1 = timeLater(t);
    first = round == 0 ? one : quicker(first, one);
    bytes = storeBytes(t.store(), files);
    // A store of a file per entry is compared with a file per entry.
    persist = files >= one.calls / 2 ? Persist::FilePerEntry : t.persist;
    if (!plainFirst) plainRound(round);

    removing = removeSome();
    Bsql_SetFinalRecordSelection();
    const double preview2 = previewPass();
    if (firstPreview && round == 0)
      goal("preview pass of the removal, " + std::to_string(Bplp().Bplp_TotalCount) + " entries",
           fmt("%.3f s", preview2), "< 1 s", preview2 < 1.0);
    gProgress->run = 2;
    settle();
    const Run two = runOnce(t);
    const double later2 = timeLater(t);
    laterFirst = round == 0 ? later1 : std::min(laterFirst, later1);
    laterSecond = round == 0 ? later2 : std::min(laterSecond, later2);
    second = round == 0 ? two : quicker(second, two);
    // The files stay until the target is done: on a file system that skips
    // inodes freed a moment ago, removing them now would slow the next round.
    kept.push_back(standins);
  }
  const std::string n = t.name;
  std::printf(
      "  first run (best of %d): %d entries, %.1f MB stored in %d file(s); %.3f s in all (open %.3f, write "
      "pass %.3f, of it in the target %.3f, target's commit %.3f, profile commit %.3f); plain loop %.3f s\n",
      kRounds, first.calls, double(bytes) / 1e6, files, first.flow, first.open, first.pass, first.relay, first.commit,
      first.profile, plain);
  const double rate = first.calls / first.flow;
  goal(n + " write pass rate", fmt("%.0f entries/s", rate), ">= 10,000 entries/s", rate >= 10000);
  goal(n + " write pass vs plain loop", fmt("%.2fx", first.flow / plain), "<= 3x", first.flow <= 3 * plain);
  std::printf(
      "  second run (best of %d): %d entries removed with %d calls from %d; %.3f s in all (open %.3f, write "
      "pass %.3f, of it in the target %.3f, target's commit %.3f, profile commit %.3f)\n",
      kRounds, removing, second.calls, first.calls, second.flow, second.open, second.pass, second.relay, second.commit,
      second.profile);
  if (t.later)
    std::printf("  then %s: %.3f s after the first run, %.3f s after the second\n", t.laterStep, laterFirst,
                laterSecond);
  const double perChange = second.writing() / std::max(second.calls, 1);
  const double perEntry = first.writing() / std::max(first.calls, 1);
  goal(n + " removal: target cost per change vs per entry written", fmt("%.2fx", perChange / perEntry), "<= 3x",
       perChange <= 3 * perEntry);
  Bsql_CloseDataBank();
  // The figures stand once printed: removing the rounds' files (hundreds of
  // thousands for a file per entry) is no part of the target's time limit.
  std::fflush(stdout);
  gProgress->run = kMeasured;
  for (const fs::path& dir : kept) pellary::bench::removeScratch(dir, false);  // below gRoot
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  gRoot = fs::temp_directory_path() / ("pellary-bench-write-" + std::to_string(::getpid()));
  const double built = installBench(gRoot);
  std::printf("Databank: %d categories, %d events (built in %.1f s)\n", kCategories, kEvents, built);
  setMessagePresenter([](const MessageRequest& r) {
    std::fprintf(stderr, "message: %s\n", r.text.c_str());
    return (r.style & mb::ButtonsMask) == mb::YesNo ? mb::Yes : mb::OK;
  });
  // Only the targets whose names contain an argument, when given.
  std::vector<std::string> only(argv + 1, argv + argc);

  // Each target runs in a process of its own, stopped after PELLARY_BENCH_LIMIT
  // seconds (120 unless set): five rounds of a target meeting its goals need well under a minute.
  const char* limitText = std::getenv("PELLARY_BENCH_LIMIT");
  const int limit = limitText ? std::atoi(limitText) : 120;
  gProgress = static_cast<Progress*>(
      mmap(nullptr, sizeof(Progress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  bool firstPreview = true;
  for (Target& t : targets()) {
    bool wanted = only.empty();
    for (const auto& o : only) wanted = wanted || std::string(t.name).find(o) != std::string::npos;
    if (!wanted) continue;
    new (gProgress) Progress{};
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
      measure(t, firstPreview);
      std::fflush(stdout);
      _exit(0);
    }
    firstPreview = false;
    const auto start = Clock::now();
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (seconds(start, Clock::now()) > limit) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        if (gProgress->run == kMeasured) break;  // its files are left to the removal of the bench folder
        const std::string n = t.name;
        // The rate the run under way had reached when it was stopped.
        const double runSecs = double(nowNs() - gProgress->runStartNs.load()) / 1e9;
        const int runCalls = gProgress->runCalls.load();
        const double rate = gProgress->runStartNs.load() > 0 && runSecs > 0 ? runCalls / runSecs : 0;
        std::printf("  stopped after %d s in the %s run: %d calls into the target in all, %d in %.1f s of this run\n",
                    limit, gProgress->run == 1 ? "first" : "second", gProgress->calls.load(), runCalls, runSecs);
        goal(n + " write pass rate (stopped)", fmt("%.0f entries/s", rate), ">= 10,000 entries/s", false);
        goal(n + " write pass vs plain loop", "-", "<= 3x", false);
        goal(n + " removal: target cost per change vs per entry written", "-", "<= 3x", false);
        break;
      }
      usleep(20000);
    }
  }

  pellary::bench::removeScratch(gRoot);
  return 0;
}
