// The one open databank of the run.
#pragma once

namespace pellary {
namespace dao {
class Database;
}

// Opens the databank named by the setting Name of section Support in the
// program folder; a failure is reported under "Bsql_OpenDataBanks".
void Bsql_OpenDataBanks();
// The open databank (closed until Bsql_OpenDataBanks succeeds).
dao::Database& Bsql_DataBank();
// Gathers the query planner's statistics when they are missing or the events
// have more than doubled since: without them SQLite walks Event by its Status
// index and probes every row's links (seconds for the final selection on a
// large databank). Runs after loads, never on a mere open: a run that
// fails leaves the databank as it found it. A failure only costs
// speed: it is written to standard error and the run goes on.
void Bsql_RefreshPlannerStatistics();
// Closes it; every error is ignored (the program's end).
void Bsql_CloseDataBank();
}  // namespace pellary
