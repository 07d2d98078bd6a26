// Hushbank's loaders: the update's file formats, but a row whose key exists
// is left as it is, the Tertiary settings word lands in CatSettings (and
// Priorities_Valid), "|" in the memos becomes a line break, and "Product.cue"
// adds the installed product. Each reports under its own name.
#pragma once

namespace pellary::hushbank {

void Bcue_LoadNewPrimary();
void Bcue_LoadNewSecondary();
void Bcue_LoadNewTertiary();
void Bcue_LoadActiveEventIDs();
void Bcue_LoadNewLinkItems();
void Bcue_MergeInEvents();
void Bcue_LoadNewProductTable();
void Bcue_LoadNewRETemplate();
void Bcue_LoadNewREStructure();

// All of them in the fixed order of a run.
void runLoaders();

}  // namespace pellary::hushbank
