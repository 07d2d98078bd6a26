// Builds a large databank (5,000 categories, 200,000 events, a profile of
// 1,000 chosen categories and 50,000 written events), then times the start-up
// loads and the final selection against their goals. Prints figures; the exit
// code is 0 whatever they are.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/common/bench_databank.h"
#include "core/databank.h"
#include "core/final_selection.h"
#include "core/products.h"
#include "core/profile_lists.h"
#include "core/registry.h"
#include "core/screen_link.h"
#include "core/tree_keys.h"
#include "core/tree_view.h"
#include "core/trees.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/oledate.h"
#include "reference/reference_tree.h"

using namespace pellary;
using namespace pellary::bench;
namespace fs = std::filesystem;

namespace {

void line(const char* what, double secs) { std::printf("  %-34s %8.3f s\n", what, secs); }

}  // namespace

int main() {
  fs::path root = fs::temp_directory_path() / ("pellary-bench-" + std::to_string(::getpid()));
  fs::create_directories(root / "program");
  fs::create_directories(root / "settings");
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
  Breg_WriteRegSettings("Support", "DatesPlat", "3");

  auto t0 = Clock::now();
  {
    dao::Database db = dao::Database::create(root / "program" / "bench.mdb");
    buildDatabank(db);
    db.close();
  }
  auto t1 = Clock::now();
  std::printf("Databank: %d categories, %d events, %d chosen categories, %d written events (built in %.1f s)\n",
              kCategories, kEvents, kChosen, kWritten, seconds(t0, t1));

  std::vector<std::unique_ptr<MemoryTreeView>> trees;
  ScreenLink& link = screenLink();
  for (int i = 0; i < 6; ++i) {
    trees.push_back(std::make_unique<MemoryTreeView>());
    link.tvCategorySelector.push_back(trees.back().get());
    trees.push_back(std::make_unique<MemoryTreeView>());
    link.tvReferenceSelector.push_back(trees.back().get());
  }
  MemoryTreeView chosen, chosenRefs;
  link.tvSelectedItems = &chosen;
  link.tvReferenceSelected = &chosenRefs;
  link.managerMainInitialize = [&] {
    for (MemoryTreeView* t : {&chosen, &chosenRefs}) {
      t->add({}, TreeRelation::Last, kNewItemsKey, "New items");
      for (int i = 0; i + 1 < Bset().Bset_ProductCount; ++i)
        t->add({}, TreeRelation::Last, headingKey(Bset().Bset_ProgProductID[i]), "Your existing selection");
    }
  };
  Bhtm_ConnectToScreenLink();

  auto a = Clock::now();
  Bsql_OpenDataBanks();
  auto b = Clock::now();
  Bset_SetProducts();
  auto c = Clock::now();
  Bset_GetProfileSettings(1);
  auto d = Clock::now();
  Bset_SetPlatforms();
  Bset_CategoryLists();
  auto e = Clock::now();
  Bset_SetupReferenceTree(0, 1, 2);
  auto f = Clock::now();

  std::printf("Start-up loads:\n");
  line("open the databank", seconds(a, b));
  line("products (Bset_SetProducts)", seconds(b, c));
  line("profile lists (Bset_GetProfileSettings)", seconds(c, d));
  line("category trees (Bset_CategoryLists)", seconds(d, e));
  line("reference tree (Bset_SetupReferenceTree)", seconds(e, f));
  double startup = seconds(a, f);
  std::printf("  %-34s %8.3f s   goal < 0.5 s: %s\n", "whole start-up load", startup, startup < 0.5 ? "met" : "MISSED");
  int nodes = 0;
  for (auto& t : trees) nodes += t->count();
  std::printf("  (%d selector nodes, %d chosen categories, %d chosen topics shown)\n", nodes, chosen.count(),
              chosenRefs.count());

  // The user adds 100 categories and removes 50 of the profile's.
  ProfileLists& lists = Bsda();
  for (long cat = 1; cat <= 500 && cat / 5 < 100; cat += 5) {
    Bsda_AddToProfileCatList(cat, 2, 2561, 0, 0, 6);
  }
  for (int32_t i = 1; i <= 50; ++i) lists.Bsda_ProfileCatList[i].Status = 8;

  auto g = Clock::now();
  Bsql_SetFinalRecordSelection();
  auto h = Clock::now();
  const DatabaseAccess& q = Bsql();
  auto rows = [](const dao::Recordset& rs, bool have) { return have ? rs.recordCount() : 0L; };
  std::printf("Final selection (Bsql_SetFinalRecordSelection):\n");
  std::printf("  write %ld, delete %ld, update %ld, public holidays %ld rows\n", rows(q.Bsql_rsWrite, q.Bsql_HaveNewEvents),
              rows(q.Bsql_rsDelete, q.Bsql_HaveDeletions), rows(q.Bsql_rsUpdate, q.Bsql_HaveUpdates),
              rows(q.Bsql_rsPubHol, q.Bsql_HavePubHols));
  double selection = seconds(g, h);
  std::printf("  %-34s %8.3f s   goal < 1 s: %s\n", "final selection (first, gathers statistics)", selection,
              selection < 1.0 ? "met" : "MISSED");
  auto i = Clock::now();
  Bsql_SetFinalRecordSelection();
  auto j = Clock::now();
  std::printf("  %-34s %8.3f s   goal < 1 s: %s\n", "final selection (again)", seconds(i, j),
              seconds(i, j) < 1.0 ? "met" : "MISSED");

  Bsql_CloseDataBank();
  if (std::getenv("PELLARY_BENCH_KEEP")) {
    std::printf("databank kept in %s\n", root.c_str());
  } else {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  return 0;
}
