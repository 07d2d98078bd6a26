// Times Hushbank filling a fresh databank from synthetic table files, and the
// sqlite3 shell importing the same rows (as they end up stored) into a fresh
// databank of the same schema. Prints both times and their ratio.
//
//   bench_hushbank [--events N] [--links M] [--categories C] [--keep]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/registry.h"
#include "core/schema.h"
#include "platform/dao/dao.h"
#include "platform/oledate.h"
#include "platform/process/process.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Sizes {
  long events = 200000;
  long links = 1000000;
  long categories = 1000;
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
      tt << "1," + num(pid) + "," + num(sid) + "," + num(tid) + "," + num(cat) + ",\"Category " + num(cat) + "\",4,1\r\n";
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
      ev << id + ",\"Event " + id + ", the title\",\"Line one|Line two\",\"A longer memo for event " + id +
                "\"," + num(day) + "," + num(day) + "," + (e % 3 ? "0" : num(day - 30 * 86400)) +
                ",\"https://example.org/e/" + id + "\",\" 44 \",\"20\",\"7946 0000\"," + num(1 + e % 3) + ",1,2,1,3\r\n";
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

  std::printf("generating %ld events, %ld links, %ld categories in %s\n", s.events, s.links, s.categories, root.c_str());
  generate(s, home / "CUE", csv);
  freshDatabank(home / "bench.db");

  auto t0 = Clock::now();
  pellary::platform::process::runAndWait(hushbank.string(), {"silent"}, 0, std::nullopt);
  auto t1 = Clock::now();
  bool loaded = fs::is_empty(home / "CUE");

  fs::path importDb = root / "import.db";
  freshDatabank(importDb);
  {
    std::ofstream script(root / "import.sql");
    script << ".mode csv\n";
    for (const char* t : {"Primary", "Secondary", "Tertiary", "EventCat", "Event"})
      script << ".import '" << (csv / (std::string(t) + ".csv")).string() << "' \"" << t << "\"\n";
  }
  auto t2 = Clock::now();
  pellary::platform::process::runAndWait(sqlite, {importDb.string(), ".read '" + (root / "import.sql").string() + "'"}, 0,
                                         std::nullopt);
  auto t3 = Clock::now();

  pellary::dao::Database check = pellary::dao::Database::open(home / "bench.db");
  long hbEvents = check.openRecordset("SELECT COUNT(*) AS n FROM Event")["n"].value().toLong();
  long hbLinks = check.openRecordset("SELECT COUNT(*) AS n FROM EventCat")["n"].value().toLong();
  check.close();
  pellary::dao::Database imp = pellary::dao::Database::open(importDb);
  long imEvents = imp.openRecordset("SELECT COUNT(*) AS n FROM Event")["n"].value().toLong();
  long imLinks = imp.openRecordset("SELECT COUNT(*) AS n FROM EventCat")["n"].value().toLong();
  imp.close();

  double hb = seconds(t0, t1), im = seconds(t2, t3);
  std::printf("hushbank:       %8.3f s  (%ld events, %ld links%s)\n", hb, hbEvents, hbLinks,
              loaded ? "" : ", FILES LEFT IN CUE");
  std::printf("sqlite3 import: %8.3f s  (%ld events, %ld links)\n", im, imEvents, imLinks);
  std::printf("ratio:          %8.2f  (goal: at most 2)\n", im > 0 ? hb / im : 0.0);
  if (!keep) fs::remove_all(root, ec);
  return 0;
}
