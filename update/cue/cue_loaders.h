// Loading the files of "CUE" into the databank: the table loaders, the active
// versions and action codes that the events merge needs, and the merge.
//
// Every file is read record by record, each record checked and written inside
// one databank transaction (a prepared statement per file): the first bad
// record rolls the file's rows back, so a bad file changes nothing and stays
// in "CUE"; memory does not grow with the file. The file is deleted once its
// rows are committed.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/hook.h"
#include "update/cue/cue_tables.h"

namespace pellary {

namespace dao {
class Database;
}

namespace cue {

enum class OnDuplicate { Overwrite, Skip };

struct LoadOutcome {
  bool found = false;  // the file was there
  long rows = 0;       // records read
  long changed = 0;    // rows added or overwritten
};

// Loads one table file. Overwrite sets only the file's columns of the row with
// the same key; Skip leaves that row as it is.
LoadOutcome loadTableFile(dao::Database& db, const TableLayout& layout, OnDuplicate policy);

// "Product.cue": its first record adds the product, or updates the row of
// that ProductID; the rest of the file is not read.
LoadOutcome loadProductFile(dao::Database& db);

struct MergeOptions {
  bool barsToLineBreaks = false;      // "|" in Memo and MemoLong becomes CR LF
  bool unknownActionCounts0 = false;  // else an action code outside the table is an error
  // A record that fails (a bad value, a write the databank refuses) is passed
  // over and the merge goes on with the next; else the first failure rolls
  // the whole file back.
  bool passOverBadRecords = false;
};
struct MergeOutcome {
  bool found = false;
  long records = 0, added = 0, retired = 0, skipped = 0;
  long passedOver = 0;       // bad records passed over
  std::string firstFailure;  // the first of them, as its error said
  long firstNumber = 0;
};
// Applies "events.kest": a record newer than the event's active version (as
// Bcue_LoadActiveEventIDs found it) retires the active rows and adds the new
// version; an equal or older one is skipped. Of several records of one event
// in the file, the last ends as the only active row.
MergeOutcome mergeEventsFile(dao::Database& db, const MergeOptions& options);

// The greatest PeckingNumber among the codes, 0 for none.
int16_t actionOf(const std::vector<int16_t>& codes, bool unknownCounts0);

// The active versions and the action table from the databank. The index keeps
// each version biased by kVersionBias, so that an active version 0 is told
// apart from no active row at all.
void loadActiveEventIDs(dao::Database& db);
inline constexpr int32_t kVersionBias = 32769;
// The version of the event's active row, or nothing when it has none.
std::optional<int16_t> activeVersion(int32_t eventId);

}  // namespace cue

struct ActionEntry {
  std::string ActionName;
  int16_t PeckingNumber = 0;
};

// Module state of the update engine.
struct ClientUpdateEngine {
  std::vector<ActionEntry> Bcue_ActionTable;
  // When set, a loaded file stays until deleteLoadedFiles(): a run that holds
  // all its loads in one outer transaction deletes them once that commits, and
  // after a rollback the files are still there to load again.
  bool deferDeletes = false;
  std::vector<std::filesystem::path> loadedFiles;
  // How long a file must have stood still before it is loaded: files that
  // another program copies into "CUE" may still be growing. The update run's
  // own files are renamed in whole and need no wait.
  std::chrono::milliseconds settle{0};
  // Runs after a file's rows are written and before they are kept (tests).
  Hook<void(const std::filesystem::path&)> beforeKeeping;
};
// The update engine's state: the action table and the files loaded in this run.
ClientUpdateEngine& Bcue_Engine();

namespace cue {
// Deletes the files loaded while deletes were deferred (a file that cannot be
// deleted raises PathFileAccess after the others are gone).
void deleteLoadedFiles();
// Forgets them, keeping the files (after a rollback).
void keepLoadedFiles();
}  // namespace cue

// The update run's loaders, in the order the run calls them. Each reports its
// errors under its own name.
void Bcue_LoadNewPrimary();
void Bcue_LoadNewSecondary();
void Bcue_LoadNewTertiary();
void Bcue_LoadActiveEventIDs();
void Bcue_LoadNewLinkItems();
void Bcue_MergeInEvents();
void Bcue_LoadNewRETemplate();
void Bcue_LoadNewREStructure();

}  // namespace pellary
