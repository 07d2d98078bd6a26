// A profile's event rows as the next start would find them: ProfileEventList
// with the rows of entry journals a run left unfolded laid over it (as that
// start's load folds them), read without changing anything.
#pragma once

#include <map>

#include "platform/dao/dao.h"

namespace pellary::testing {

struct StoredEvent {
  long catID = 0;
  long status = 0;
  long addStatus = 0;
};

// By EventID.
std::map<long, StoredEvent> storedProfileEvents(dao::Database& db, long profileID);

}  // namespace pellary::testing
