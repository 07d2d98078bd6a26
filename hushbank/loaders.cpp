#include "hushbank/loaders.h"

#include "core/databank.h"
#include "core/error_log.h"
#include "platform/errors.h"
#include "update/cue/cue_loaders.h"

namespace pellary::hushbank {

namespace {
void insertOnly(const char* location, const cue::TableLayout& layout) {
  trapped(location, [&] { cue::loadTableFile(Bsql_DataBank(), layout, cue::OnDuplicate::Skip); });
}
}  // namespace

void Bcue_LoadNewPrimary() { insertOnly("Bcue_LoadNewPrimary", cue::primaryLayout()); }
void Bcue_LoadNewSecondary() { insertOnly("Bcue_LoadNewSecondary", cue::secondaryLayout()); }
void Bcue_LoadNewTertiary() { insertOnly("Bcue_LoadNewTertiary", cue::tertiaryLayout()); }
void Bcue_LoadActiveEventIDs() { pellary::Bcue_LoadActiveEventIDs(); }
void Bcue_LoadNewLinkItems() { insertOnly("Bcue_LoadNewLinkItems", cue::eventCatLayout()); }
void Bcue_LoadNewRETemplate() { insertOnly("Bcue_LoadNewRETemplate", cue::reTemplateLayout()); }
void Bcue_LoadNewREStructure() { insertOnly("Bcue_LoadNewREStructure", cue::reStructureLayout()); }

void Bcue_LoadNewProductTable() {
  trapped("Bcue_LoadNewProductTable", [] { cue::loadProductFile(Bsql_DataBank()); });
}

void Bcue_MergeInEvents() {
  // Every failure inside the merge is passed over: a bad record, or a file
  // that cannot be read at all (which then stays for the next run). Nothing
  // stops the later loaders; one log line says what was passed over.
  cue::MergeOptions options;
  options.barsToLineBreaks = true;
  options.unknownActionCounts0 = true;
  options.passOverBadRecords = true;
  cue::MergeOutcome outcome;
  try {
    outcome = cue::mergeEventsFile(Bsql_DataBank(), options);
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    ErrorInfo e = describeCurrentException();
    appendErrorLog(errorLogLine(int32_t(e.number), "Bcue_MergeInEvents", e.description));
    return;
  }
  if (outcome.passedOver > 0)
    appendErrorLog(errorLogLine(int32_t(outcome.firstNumber), "Bcue_MergeInEvents",
                                std::to_string(outcome.passedOver) + " of " + std::to_string(outcome.records) +
                                    " records passed over; the first: " + outcome.firstFailure));
}

void runLoaders() {
  Bcue_LoadNewPrimary();
  Bcue_LoadNewSecondary();
  Bcue_LoadNewTertiary();
  Bcue_LoadActiveEventIDs();
  Bcue_LoadNewLinkItems();
  Bcue_MergeInEvents();
  Bcue_LoadNewProductTable();
  Bcue_LoadNewRETemplate();
  Bcue_LoadNewREStructure();
}

}  // namespace pellary::hushbank
