#include "core/databank.h"

#include "core/registry.h"
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

void Bsql_CloseDataBank() {
  try {
    if (databank().isOpen()) databank().close();
  } catch (...) {
  }
}

}  // namespace pellary
