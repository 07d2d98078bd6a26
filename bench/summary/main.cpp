// Continue on the selection screen until the summary's list is on screen,
// and a click on a summary column header, over the bench databank with
// public-holiday categories chosen, at three sizes spanning 10x (the largest:
// 500 holiday categories, 20,000 holiday rows, about 50,000 rows in the
// list). Beside them in the same run: the holiday lookups the former way (a
// fresh query per row) and a plain sort of the same texts. Prints figures,
// ratios, growth and goal lines; the exit code is 0 whatever they are.
#include <unistd.h>

#include <QApplication>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../scratch.h"
#include "bench/common/bench_databank.h"
#include "core/databank.h"
#include "core/field_values.h"
#include "core/final_selection.h"
#include "core/gui/check_list.h"
#include "core/products.h"
#include "core/profile_lists.h"
#include "core/registry.h"
#include "core/writer_helpers.h"
#include "platform/dao/dao.h"
#include "platform/text/collation.h"
#include "shell/frmManager2.h"
#include "writers/processor/final_preview.h"

using namespace pellary;
using namespace pellary::bench;
namespace fs = std::filesystem;

namespace {

// Added during this run, every priority level.
constexpr int16_t kAdded = 0x0002 | 0x0100;

// A profile in memory of `holidays` public-holiday categories and 1.5 times
// as many event categories, all added in this run.
void choose(int holidays) {
  resetProfileLists();
  for (int i = 1; i <= holidays; ++i) Bsda_AddToProfileCatList(2500 + 5 * i, kAdded, 0, 0, 0, 1);
  for (int i = 1; i <= holidays * 3 / 2; ++i) Bsda_AddToProfileCatList(i, kAdded, 0, 0, 0, 6);
}

std::vector<int32_t> holidayIDs() {
  std::vector<int32_t> ids;
  dao::Recordset& rs = Bsql().Bsql_rsPubHol;
  if (!Bsql().Bsql_HavePubHols) return ids;
  for (rs.moveFirst(); !rs.eof(); rs.moveNext()) ids.push_back(longOf(rs["EventID"]));
  rs.moveFirst();
  return ids;
}

// The holiday lookup as it was made before: a fresh query text per row.
std::string formerLookup(int32_t eventID) {
  dao::Recordset rs = Bsql_DataBank().openRecordset(
      std::string("SELECT Tertiary.CatID, Tertiary.TertiaryName FROM EventCat, Tertiary ") +
      "Where Tertiary.CatID = EventCat.CatID and EventCat.EventID = " + std::to_string(eventID) +
      " ORDER BY Tertiary.TertiaryName COLLATE " + platform::text::kNameCollation + " ASC");
  std::string out;
  for (; !rs.eof(); rs.moveNext()) out += textOf(rs["TertiaryName"]) + "," + std::to_string(longOf(rs["CatID"]));
  rs.close();
  return out;
}

struct Figures {
  int rows = 0, holidayRows = 0;
  double cont = 0, selection = 0;
  double lookups = 0, former = 0;
  double sortNames = 0, sortDates = 0, plainSort = 0;
};

Figures runSize(QApplication& app, int holidays) {
  Figures f;
  choose(holidays);
  frmManager2 page;
  page.resize(640, 420);
  auto a = Clock::now();
  Bsql_SetFinalRecordSelection();
  const auto b = Clock::now();
  Bint_ShowFinalPreview();
  page.show();
  app.processEvents();
  f.cont = seconds(a, Clock::now());
  f.selection = seconds(a, b);
  f.rows = page.datesList().rowCount();

  const std::vector<int32_t> ids = holidayIDs();
  f.holidayRows = int(ids.size());
  a = Clock::now();
  for (int32_t id : ids) Bplp_PubHolLookup(id);
  f.lookups = seconds(a, Clock::now());
  a = Clock::now();
  for (int32_t id : ids) formerLookup(id);
  f.former = seconds(a, Clock::now());

  // Titles (a first click sorts ascending), then dates.
  a = Clock::now();
  page.lstDatePreview_ColumnClick(2);
  app.processEvents();
  f.sortNames = seconds(a, Clock::now());
  a = Clock::now();
  page.lstDatePreview_ColumnClick(1);
  app.processEvents();
  f.sortDates = seconds(a, Clock::now());

  // The plain loop: the same titles sorted as names, in a vector.
  std::vector<std::string> titles;
  for (int i = 0; i < f.rows; ++i) titles.push_back(page.datesList().row(i).subItems.at(1));
  a = Clock::now();
  std::stable_sort(titles.begin(), titles.end(),
                   [](const std::string& x, const std::string& y) { return platform::text::compareNames(x, y) < 0; });
  f.plainSort = seconds(a, Clock::now());
  page.hide();
  return f;
}

void line(const std::string& what, const std::string& figure, const std::string& goalText, bool met) {
  std::printf("  %-44s %-26s goal %s: %s\n", what.c_str(), figure.c_str(), goalText.c_str(), verdict(met));
}

std::string fmt(const char* f, double a, double b = 0, double c = 0) {
  char buf[128];
  std::snprintf(buf, sizeof buf, f, a, b, c);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const fs::path root = fs::temp_directory_path() / ("pellary-bench-summary-" + std::to_string(::getpid()));
  const double built = installBench(root);
  Breg_WriteRegSettings("Support", "DatesPlat", "3");
  std::printf("Databank: %d categories, %d events (built in %.1f s)\n", kCategories, kEvents, built);
  Bsql_OpenDataBanks();
  Bset_SetProducts();
  Bset_GetProfileSettings(1);
  Bset_SetPlatforms();
  Bsql_RefreshPlannerStatistics();

  const std::vector<int> sizes = {50, 150, 500};
  std::vector<int> rows;
  std::vector<double> conts, sorts;
  Figures last;
  for (int holidays : sizes) {
    last = runSize(app, holidays);
    std::printf(
        "%d holiday categories: %d rows in the list (%d holiday rows); Continue %.3f s (final selection "
        "%.3f s); holiday lookups %.3f s (former way %.3f s); sort by title %.3f s, by date %.3f s (plain "
        "sort %.3f s)\n",
        holidays, last.rows, last.holidayRows, last.cont, last.selection, last.lookups, last.former, last.sortNames,
        last.sortDates, last.plainSort);
    rows.push_back(last.rows);
    conts.push_back(last.cont);
    sorts.push_back(std::max(last.sortNames, last.sortDates));
  }
  std::printf("Summary, %d rows (%d holiday rows):\n", last.rows, last.holidayRows);
  line("Continue to the summary on screen", fmt("%.3f s", last.cont), "< 1 s", last.cont < 1.0);
  std::printf("  %-44s %.3f s vs %.3f s the former way, %.2fx\n", "holiday lookups, one prepared statement",
              last.lookups, last.former, last.former > 0 ? last.lookups / last.former : 0);
  const double sort = std::max(last.sortNames, last.sortDates);
  line("summary sort (slower of title and date)",
       fmt("%.3f s vs plain %.3f s, %.2fx", sort, last.plainSort, last.plainSort > 0 ? sort / last.plainSort : 0),
       "< 200 ms", sort < 0.2);
  growth("Continue", rows, conts);
  growth("summary sort", rows, sorts);

  Bsql_CloseDataBank();
  pellary::bench::removeScratch(root);
  return 0;
}
