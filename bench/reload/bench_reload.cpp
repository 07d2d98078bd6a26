// Times the update's EventCat loader on a first load of N links into a fresh
// databank, then on a reload of the same N keys (every row's Status changes),
// side by side in one run, and prints the ratio. The rows are checked after
// each load.
//
//   bench_reload [--links N] [--keep]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "../scratch.h"
#include "core/databank.h"
#include "core/registry.h"
#include "core/schema.h"
#include "platform/dao/dao.h"
#include "update/cue/cue_loaders.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace pellary;

namespace {

void writeLinks(const fs::path& file, long links, int status) {
  std::ofstream out(file, std::ios::binary);
  std::string buffer;
  const long categories = 5000;
  for (long i = 0; i < links; ++i) {
    long event = 1 + i / 12, cat = 10000 + (i * 7919) % categories;
    buffer += std::to_string(cat) + "," + std::to_string(event) + "," + std::to_string(status) + "\r\n";
    if (buffer.size() > (1 << 20)) {
      out << buffer;
      buffer.clear();
    }
  }
  out << buffer;
}

double timedLoad(dao::Database& db) {
  auto start = Clock::now();
  cue::loadTableFile(db, cue::eventCatLayout(), cue::OnDuplicate::Overwrite);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

long count(dao::Database& db, const std::string& where) {
  return db.openRecordset("SELECT COUNT(*) AS n FROM EventCat" + where)["n"].value().toLong();
}

}  // namespace

int main(int argc, char** argv) {
  long links = 1000000;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--keep")
      keep = true;
    else if (a == "--links" && i + 1 < argc)
      links = std::atol(argv[++i]);
    else {
      std::fprintf(stderr, "usage: bench_reload [--links N] [--keep]\n");
      return 2;
    }
  }
  fs::path root = fs::temp_directory_path() / ("bench_reload_" + std::to_string(::getpid()));
  fs::path home = root / "home";
  fs::create_directories(home / "CUE");
  setenv("PELLARY_HOME", home.c_str(), 1);
  setenv("PELLARY_SETTINGS", (root / "settings").c_str(), 1);
  Breg_WriteRegSettings("Support", "Name", "bench.db");
  {
    dao::Database created = dao::Database::create(home / "bench.db");
    createDatabankSchema(created);
  }
  const fs::path file = home / "CUE" / "EVENTCAT.cue";
  int status = 0;
  double first = 0, reload = 0;
  long loaded = 0, changed = 0;
  try {
    Bsql_OpenDataBanks();
    dao::Database& db = Bsql_DataBank();
    std::printf("first load and reload of %ld links in %s\n", links, root.c_str());
    writeLinks(file, links, 1);
    first = timedLoad(db);
    loaded = count(db, " WHERE Status = 1");
    writeLinks(file, links, 0);
    reload = timedLoad(db);
    changed = count(db, " WHERE Status = 0");
    Bsql_CloseDataBank();
  } catch (const AppError& e) {
    std::fprintf(stderr, "bench_reload: error %ld: %s\n", e.number(), e.description().c_str());
    status = 1;
  }
  const bool rowsRight = loaded == links && changed == links;
  const double ratio = first > 0 ? reload / first : 0.0;
  std::printf("first load:  %8.3f s  (%ld rows)\n", first, loaded);
  std::printf("reload:      %8.3f s  (%ld rows overwritten)\n", reload, changed);
  std::printf("ratio:       %8.2f\n", ratio);
  std::printf("goal 3 (a reload of existing keys within 1.5x of the first load): %s (%.2fx)\n",
              status == 0 && rowsRight && ratio <= 1.5 ? "met" : "not met", ratio);
  if (!keep) pellary::bench::removeScratch(root);
  return status;
}
