// Times Hushbank filling a fresh databank from synthetic table files, and the
// sqlite3 shell importing the same rows (as they end up stored) into a fresh
// databank of the same schema, side by side; checks both exit codes and that
// both databanks hold the same values (type by type, NULL apart from ''); and
// measures how far Hushbank's peak memory rises above a run with nothing to
// load. The default sizes give an events file and an EventCat file of about
// 100 MB each.
//
//   bench_hushbank [--events N] [--links M] [--categories C] [--keep]
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../scratch.h"
#include "core/registry.h"
#include "core/schema.h"
#include "platform/dao/dao.h"
#include "platform/oledate.h"
#include "platform/process/process.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Sizes {
  long events = 520000;
  long links = 6500000;
  long categories = 5000;
};

class Out {
 public:
  explicit Out(const fs::path& p) : f_(p, std::ios::binary) { buf_.reserve(1 << 20); }
  ~Out() { flush(); }
  Out& operator<<(const std::string& s) {
    buf_ += s;
    if (buf_.size() > (1 << 20)) flush();
    return *this;
  }
  void flush() {
    f_.write(buf_.data(), std::streamsize(buf_.size()));
    buf_.clear();
  }

 private:
  std::ofstream f_;
  std::string buf_;
};

std::string num(long v) { return std::to_string(v); }
std::string ole(long seconds) {
  char b[40];
  std::snprintf(b, sizeof b, "%.17g", pellary::platform::oleFromUnixSeconds(seconds));
  return b;
}

// Writes the table files into cue and the import files (CSV of stored rows) into csv.
void generate(const Sizes& s, const fs::path& cue, const fs::path& csv) {
  fs::create_directories(cue);
  fs::create_directories(csv);
  const long perSecondary = 50;
  {
    Out t(cue / "Primary.cue"), c(csv / "Primary.csv");
    for (int p = 1; p <= 5; ++p) {
      t << "1," + num(p) + ",\"Primary " + num(p) + "\",1\r\n";
      c << "1," + num(p) + ",Primary " + num(p) + ",1\n";
    }
  }
  {
    Out st(cue / "Secondary.cue"), sc(csv / "Secondary.csv");
    Out tt(cue / "Tertiary.cue"), tc(csv / "Tertiary.csv");
    for (long k = 0; k < s.categories; ++k) {
      long pid = 1 + k % 5, sid = 1 + (k / 5) / perSecondary, tid = 1 + (k / 5) % perSecondary;
      if (tid == 1) {
        st << "1," + num(pid) + "," + num(sid) + ",\"Secondary " + num(sid) + "\",1\r\n";
        sc << "1," + num(pid) + "," + num(sid) + ",Secondary " + num(sid) + ",1\n";
      }
      long cat = 10000 + k;
      tt << "1," + num(pid) + "," + num(sid) + "," + num(tid) + "," + num(cat) + ",\"Category " + num(cat) +
                "\",4,1\r\n";
      // ProductID, PID, SID, TID, CatID, TertiaryName, Priorities_Valid, CatSettings, Status, TimeStamp
      tc << "1," + num(pid) + "," + num(sid) + "," + num(tid) + "," + num(cat) + ",Category " + num(cat) + ",4,4,1,0\n";
    }
  }
  {
    Out ev(cue / "events.kest"), ec(csv / "Event.csv");
    const long start = 1798761600;  // 1 Jan 2027
    for (long e = 1; e <= s.events; ++e) {
      long day = start + (e % 365) * 86400;
      std::string id = num(e);
      ev << id + ",\"Event " + id + ", the title\",\"Line one|Line two\",\"A longer memo for event " + id + "\"," +
                num(day) + "," + num(day) + "," + (e % 3 ? "0" : num(day - 30 * 86400)) + ",\"https://example.org/e/" +
                id + "\",\" 44 \",\"20\",\"7946 0000\"," + num(1 + e % 3) + ",1,2,1,3\r\n";
      // EventID, Title, Memo, MemoLong, StartDate, EndDate, OnSale, URL, TelCountry, TelPrefix, Tel,
      // Priority, Version, Action, Status
      ec << id + ",\"Event " + id + ", the title\",\"Line one\r\nLine two\",A longer memo for event " + id + "," +
                ole(day) + "," + ole(day) + "," + (e % 3 ? "" : ole(day - 30 * 86400)) + ",https://example.org/e/" +
                id + ",44,20,7946 0000," + num(1 + e % 3) + ",1,3,1\n";
    }
  }
  {
    Out lt(cue / "EVENTCAT.cue"), lc(csv / "EventCat.csv");
    const long per = std::max(1L, s.links / std::max(1L, s.events));
    long written = 0;
    for (long e = 1; e <= s.events && written < s.links; ++e) {
      for (long k = 0; k < per && written < s.links; ++k, ++written) {
        long cat = 10000 + (e + k * (s.categories / per)) % s.categories;
        lt << num(cat) + "," + num(e) + ",1\r\n";
        lc << num(e) + "," + num(cat) + ",1\n";  // EventID, CatID, Status
      }
    }
  }
}

void freshDatabank(const fs::path& file) {
  fs::remove(file);
  pellary::dao::Database db = pellary::dao::Database::create(file);
  pellary::createDatabankSchema(db);
  db.close();
}

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

struct Finished {
  int status = -1;  // exit code, -1 when it did not exit normally
  long peakKb = 0;  // peak resident memory
  double seconds = 0;
};

// Runs a program to its end with the environment of this one.
Finished runProgram(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  Finished f;
  auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return f;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) < 0) return f;
  f.seconds = seconds(start, Clock::now());
  f.peakKb = usage.ru_maxrss;
  if (WIFEXITED(status)) f.status = WEXITSTATUS(status);
  return f;
}

// Every stored value of a table, row by row, with its type: quote() tells
// NULL from '' and 1 from 1.0.
std::vector<std::string> storedRows(const fs::path& file, const std::string& table) {
  sqlite3* db = nullptr;
  std::vector<std::string> out;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return out;
  std::vector<std::string> columns;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, ("PRAGMA table_info(\"" + table + "\")").c_str(), -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) columns.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
  sqlite3_finalize(st);
  std::string select = "SELECT ";
  for (size_t i = 0; i < columns.size(); ++i)
    select += (i ? "||'|'||" : "") + std::string("quote(\"") + columns[i] + "\")";
  select += " FROM \"" + table + "\" ORDER BY rowid";
  sqlite3_prepare_v2(db, select.c_str(), -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  sqlite3_finalize(st);
  sqlite3_close(db);
  return out;
}

const char* met(bool ok) { return ok ? "met" : "not met"; }

}  // namespace

int main(int argc, char** argv) {
  Sizes s;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--keep") {
      keep = true;
    } else if (i + 1 < argc && (a == "--events" || a == "--links" || a == "--categories")) {
      long v = std::atol(argv[++i]);
      (a == "--events" ? s.events : a == "--links" ? s.links : s.categories) = v;
    } else {
      std::fprintf(stderr, "usage: bench_hushbank [--events N] [--links M] [--categories C] [--keep]\n");
      return 2;
    }
  }
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  fs::path hushbank = self.parent_path() / "hushbank";
  std::string sqlite = pellary::platform::process::findProgram("sqlite3");
  if (!fs::exists(hushbank) || sqlite.empty()) {
    std::fprintf(stderr, "bench_hushbank: needs %s and sqlite3 on PATH\n", hushbank.c_str());
    return 1;
  }

  fs::path root = fs::temp_directory_path() / ("bench_hushbank_" + std::to_string(::getpid()));
  fs::path home = root / "home", csv = root / "csv";
  fs::create_directories(home);
  setenv("PELLARY_HOME", home.c_str(), 1);
  setenv("PELLARY_SETTINGS", (root / "settings").c_str(), 1);
  setenv("PELLARY_UNATTENDED", "1", 1);
  pellary::Breg_WriteRegSettings("Support", "Name", "bench.db");

  std::printf("generating %ld events, %ld links, %ld categories in %s\n", s.events, s.links, s.categories,
              root.c_str());
  generate(s, home / "CUE", csv);
  freshDatabank(home / "bench.db");

  // Where Hushbank's memory starts: a run with nothing to load.
  fs::create_directories(home / "CUE-full");
  for (const auto& e : fs::directory_iterator(home / "CUE"))
    fs::rename(e.path(), home / "CUE-full" / e.path().filename());
  Finished idle = runProgram(hushbank.string(), {"silent"});
  fs::remove(home / "CUE");
  fs::rename(home / "CUE-full", home / "CUE");
  uintmax_t eventsBytes = fs::file_size(home / "CUE" / "events.kest");
  uintmax_t linksBytes = fs::file_size(home / "CUE" / "EVENTCAT.cue");
  freshDatabank(home / "bench.db");

  Finished hb = runProgram(hushbank.string(), {"silent"});
  bool loaded = fs::is_empty(home / "CUE");

  // The shell's import of the same rows; the empty OnSale fields then become
  // NULL, as the loader stores them.
  fs::path importDb = root / "import.db";
  freshDatabank(importDb);
  {
    std::ofstream script(root / "import.sql");
    script << ".bail on\n.mode csv\nBEGIN;\n";
    for (const char* t : {"Primary", "Secondary", "Tertiary", "EventCat", "Event"})
      script << ".import '" << (csv / (std::string(t) + ".csv")).string() << "' \"" << t << "\"\n";
    script << "UPDATE \"Event\" SET \"OnSale\" = NULL WHERE \"OnSale\" = '';\nCOMMIT;\n";
  }
  Finished im = runProgram(sqlite, {importDb.string(), ".read '" + (root / "import.sql").string() + "'"});

  // The same values in both.
  long rows = 0, differing = 0;
  std::string firstDifference;
  for (const char* t : {"Primary", "Secondary", "Tertiary", "EventCat", "Event"}) {
    std::vector<std::string> a = storedRows(home / "bench.db", t), b = storedRows(importDb, t);
    rows += long(a.size());
    if (a.size() != b.size()) {
      ++differing;
      if (firstDifference.empty())
        firstDifference =
            std::string(t) + ": " + std::to_string(a.size()) + " rows against " + std::to_string(b.size());
    }
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
      if (a[i] != b[i] && ++differing && firstDifference.empty())
        firstDifference = std::string(t) + " row " + std::to_string(i + 1) + ": " + a[i] + "  against  " + b[i];
  }

  const double ratio = im.seconds > 0 ? hb.seconds / im.seconds : 0.0;
  const long growthKb = hb.peakKb - idle.peakKb;
  std::printf("files:          events.kest %.1f MB, EVENTCAT.cue %.1f MB\n", double(eventsBytes) / 1e6,
              double(linksBytes) / 1e6);
  std::printf("hushbank:       %8.3f s  exit %d  peak %ld MB (%ld MB with nothing to load)%s\n", hb.seconds, hb.status,
              hb.peakKb / 1024, idle.peakKb / 1024, loaded ? "" : "  FILES LEFT IN CUE");
  std::printf("sqlite3 import: %8.3f s  exit %d\n", im.seconds, im.status);
  std::printf("stored values:  %ld rows compared, %ld differing%s%s\n", rows, differing,
              firstDifference.empty() ? "" : "; first: ", firstDifference.c_str());
  std::printf("ratio:          %8.2f\n", ratio);
  const bool exits = hb.status == 0 && im.status == 0 && loaded;
  std::printf("goal 2 (Hushbank's peak memory at most 64 MB above its start): %s (%ld MB)\n",
              met(exits && growthKb <= 64 * 1024), growthKb / 1024);
  std::printf("goal 4 (Hushbank within 1.2x of the sqlite3 shell's .import, same values, both exit 0): %s (%.2fx)\n",
              met(exits && differing == 0 && ratio <= 1.2), ratio);
  if (!keep) pellary::bench::removeScratch(root);
  return 0;
}
