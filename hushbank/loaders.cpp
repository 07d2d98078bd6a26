#include "hushbank/loaders.h"

#include "core/databank.h"
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
  // A malformed events file is reported and left in place, like the table
  // files; an action code that the Action table lacks only counts for nothing.
  cue::MergeOptions options;
  options.barsToLineBreaks = true;
  options.unknownActionCounts0 = true;
  trapped("Bcue_MergeInEvents", [&] { cue::mergeEventsFile(Bsql_DataBank(), options); });
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
