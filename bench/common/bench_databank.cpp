#include "bench/common/bench_databank.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/registry.h"
#include "core/schema.h"
#include "platform/errors.h"
#include "platform/oledate.h"

namespace pellary::bench {

namespace {
std::string s(long v) { return std::to_string(v); }
}  // namespace

void Inserter::row(const std::string& values) {
  sql_ += sql_.empty() ? head_ + " VALUES " : ", ";
  sql_ += "(" + values + ")";
  if (++n_ == 500) flush();
}

void Inserter::flush() {
  if (!sql_.empty()) db_.execute(sql_);
  sql_.clear();
  n_ = 0;
}

void buildDatabank(dao::Database& db) {
  createDatabankSchema(db);
  const double start = platform::oleFromCivil(2026, 1, 1);
  db.beginTrans();
  db.execute(
      "INSERT INTO Products (ProductID, ProgProductID, ProductName, Status, Viewers, StartDate, GenDates) VALUES "
      "(3, 30, 'Events', 1, 3, " +
      std::to_string(start) + ", 1), (4, 40, 'Holidays', 1, 1, " + std::to_string(start) + ", 1)");
  {
    Inserter primary(db, "INSERT INTO Primary (ProductID, PID, PrimaryName, Status)");
    Inserter secondary(db, "INSERT INTO Secondary (ProductID, PID, SID, SecondaryName, Status)");
    Inserter tertiary(db, "INSERT INTO Tertiary (ProductID, PID, SID, TID, CatID, TertiaryName, CatSettings, Status)");
    // Two products, 50 primaries of 10 secondaries of 5 tertiaries each.
    long cat = 1;
    for (int product = 3; product <= 4; ++product)
      for (int p = 1; p <= 50; ++p) {
        int pid = (product - 3) * 100 + p;
        primary.row(s(product) + ", " + s(pid) + ", 'Primary " + s(pid) + "', 1");
        for (int sid = 1; sid <= 10; ++sid) {
          secondary.row(s(product) + ", " + s(pid) + ", " + s(sid) + ", 'Secondary " + s(sid) + "', 1");
          for (int tid = 1; tid <= 5; ++tid, ++cat)
            tertiary.row(s(product) + ", " + s(pid) + ", " + s(sid) + ", " + s(tid) + ", " + s(cat) + ", 'Category " +
                         s(cat) + "', " + (product == 4 ? "1" : "6") + ", 1");
        }
      }
  }
  {
    Inserter event(db, "INSERT INTO Event (EventID, Title, Memo, StartDate, EndDate, Priority, Version, Status)");
    Inserter link(db, "INSERT INTO EventCat (EventID, CatID, Status)");
    for (long e = 1; e <= kEvents; ++e) {
      double day = start + static_cast<double>(e % 730);
      event.row(s(e) + ", 'Event " + s(e) + "', 'A memo line', " + std::to_string(day) + ", " +
                std::to_string(day + (e % 5 == 0 ? 3 : 0)) + ", " + s(1 + e % 3) + ", 1, 1");
      link.row(s(e) + ", " + s(1 + e % kCategories) + ", 1");
      if (e % 10 == 0) link.row(s(e) + ", " + s(1 + (e + kCategories / 2) % kCategories) + ", 1");
    }
  }
  {
    // The chosen categories: every fifth one; their first 50,000 events written.
    Inserter cats(db,
                  "INSERT INTO ProfileCatList (ProfileID, CatID, StartDate, EndDate, Duration, CatSetting, Status, "
                  "AddStatus)");
    for (long c = 1; c <= kChosen; ++c)
      cats.row("1, " + s(c * 5) + ", 0, 0, 2561, " + (c * 5 > 2500 ? "1" : "6") + ", 4, 0");
    Inserter events(db,
                    "INSERT INTO ProfileEventList (ProfileID, EventID, CatID, Version, Status, AddStatus, AuxDate, "
                    "DateUsed, PlatMisc, PubHol)");
    long written = 0;
    for (long e = 1; e <= kEvents && written < kWritten; ++e) {
      long cat = 1 + e % kCategories;
      if (cat % 5 != 0) continue;
      events.row("1, " + s(e) + ", " + s(cat) + ", 1, 4, 0, 0, " + std::to_string(start) + ", 'entry-" + s(e) +
                 "', NULL");
      ++written;
    }
  }
  {
    Inserter tmpl(db, "INSERT INTO RETemplate (Product_Id, Template_Id, Name, Status)");
    Inserter edge(db, "INSERT INTO REStructure (Product_Id, ParentTemplate_Id, ChildTemplate_Id, Status)");
    Inserter refs(db, "INSERT INTO ProfileRefList (ProfileID, RefID, Product_Id, Status)");
    for (long t = 1; t <= kTopics; ++t) {
      tmpl.row("3, " + s(t) + ", 'Topic " + s(t) + "', 1");
      if (t > 1) edge.row("3, " + s(t <= 20 ? 1 : 1 + (t % 19) + 1) + ", " + s(t) + ", 1");
      if (t % 7 == 0) refs.row("1, " + s(t) + ", 3, 1");
    }
  }
  db.commitTrans();
}

void addTopics(dao::Database& db, int product, int count) {
  db.beginTrans();
  {
    Inserter tmpl(db, "INSERT INTO RETemplate (Product_Id, Template_Id, Name, Status)");
    Inserter edge(db, "INSERT INTO REStructure (Product_Id, ParentTemplate_Id, ChildTemplate_Id, Status)");
    for (long t = 1; t <= count; ++t) {
      tmpl.row(s(product) + ", " + s(t) + ", 'Topic " + s(t) + "', 1");
      if (t > 1) edge.row(s(product) + ", " + s((t - 2) / 10 + 1) + ", " + s(t) + ", 1");
    }
  }
  db.commitTrans();
}

void growth(const std::string& what, const std::vector<int>& sizes, const std::vector<double>& secs) {
  std::string figures;
  for (size_t i = 0; i < sizes.size() && i < secs.size(); ++i) {
    char b[96];
    std::snprintf(b, sizeof b, "%s%d: %.3f s (%.1f us each)", i ? "; " : "", sizes[i], secs[i],
                  1e6 * secs[i] / std::max(sizes[i], 1));
    figures += b;
  }
  std::printf("  %s growth: %s\n", what.c_str(), figures.c_str());
  if (sizes.size() < 2 || secs.size() < sizes.size()) return;
  const double first = secs.front() / std::max(sizes.front(), 1), last = secs.back() / std::max(sizes.back(), 1);
  const double ratio = first > 0 ? last / first : 0;
  // Three decimals: a figure just above the goal does not print as 1.50.
  char figure[32];
  std::snprintf(figure, sizeof figure, "%.3fx", ratio);
  std::printf("  %-44s %-26s goal <= 1.5: %s\n", (what + " time per item, largest vs smallest").c_str(), figure,
              verdict(first > 0 && ratio <= 1.5));
}

double installBench(const std::filesystem::path& root) {
  std::filesystem::create_directories(root / "program");
  std::filesystem::create_directories(root / "settings");
  setenv("PELLARY_HOME", (root / "program").c_str(), 1);
  setenv("PELLARY_SETTINGS", (root / "settings").c_str(), 1);
  setenv("PELLARY_STANDINS", (root / "standins").c_str(), 1);
  setEndHandler([](int code) {
    std::fprintf(stderr, "the program would end here (code %d)\n", code);
    std::exit(1);
  });
  Breg_WriteRegSettings("Support", "Name", "bench.mdb");
  Breg_WriteRegSettings("Support", "HighNodeCount", "1");
  Breg_WriteRegSettings("Support", "Node0", "3");
  Breg_WriteRegSettings("Support", "Node1", "4");
  const auto start = Clock::now();
  dao::Database db = dao::Database::create(root / "program" / "bench.mdb");
  buildDatabank(db);
  db.close();
  return seconds(start, Clock::now());
}

}  // namespace pellary::bench
