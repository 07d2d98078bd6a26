// The databank's tables, as the installation creates them.
#pragma once

#include <string>

namespace pellary {
namespace dao {
class Database;
}

// Every CREATE statement of the schema, in order.
const std::string& databankSchemaSql();
// Creates the tables and indexes in an empty databank, with the rows the
// databank ships with (action codes and the user's profile row).
void createDatabankSchema(dao::Database& db);
// The databank's schema version, kept in SQLite's user_version.
inline constexpr int kSchemaVersion = 1;
}  // namespace pellary
