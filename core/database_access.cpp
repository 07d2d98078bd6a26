#include "core/database_access.h"

namespace pellary {

DatabaseAccess& Bsql() {
  static DatabaseAccess state;
  return state;
}

void resetDatabaseAccess() { Bsql() = DatabaseAccess{}; }

}  // namespace pellary
