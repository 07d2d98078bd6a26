#include "core/databank.h"

#include <cstdio>

#include "core/registry.h"
#include "core/tree_keys.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/paths.h"

namespace pellary {

namespace {
dao::Database& databank() {
  static dao::Database db;
  return db;
}
}  // namespace

dao::Database& Bsql_DataBank() { return databank(); }

void Bsql_OpenDataBanks() {
  trapped("Bsql_OpenDataBanks", [] {
    std::string name = Breg_GetRegSetting("Support", "Name");
    // An empty name leaves a path that ends in a separator: the open fails.
    std::string path = paths::appPath() + "\\" + name;
    databank() = dao::Database::open(paths::resolve(path).string());
  });
}

void Bsql_RefreshPlannerStatistics() {
  dao::Database& db = databank();
  if (!db.isOpen()) return;
  try {
    long statRows = -1;
    dao::Recordset tables = db.openRecordset("SELECT name FROM sqlite_master WHERE name = 'sqlite_stat1'");
    if (!tables.eof()) {
      dao::Recordset stat = db.openRecordset("SELECT stat FROM sqlite_stat1 WHERE tbl = 'Event'");
      if (!stat.eof()) statRows = valOf(stat["stat"].value().toString());
    }
    dao::Recordset rows = db.openRecordset("SELECT Count(*) AS N FROM Event");
    const long events = rows["N"].value().toLong();
    if (statRows < 0 || events > 2 * statRows + 1000) db.execute("ANALYZE");
  } catch (const AppError& e) {
    std::fprintf(stderr, "Planner statistics not gathered (%s): %s\n", db.path().c_str(), e.description().c_str());
  }
}

void Bsql_CloseDataBank() {
  try {
    if (databank().isOpen()) databank().close();
  } catch (...) {
  }
}

}  // namespace pellary
