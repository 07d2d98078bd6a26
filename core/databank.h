// The one open databank of the run.
#pragma once

namespace pellary {
namespace dao { class Database; }

// Opens the databank named by the setting Name of section Support in the
// program folder; a failure is reported under "Bsql_OpenDataBanks".
void Bsql_OpenDataBanks();
// The open databank (closed until Bsql_OpenDataBanks succeeds).
dao::Database& Bsql_DataBank();
// Closes it; every error is ignored (the program's end).
void Bsql_CloseDataBank();
}  // namespace pellary
