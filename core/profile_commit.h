// Writing the in-memory profile lists back to ProfileEventList and
// ProfileCatList: new rows beside the old ones with AddStatus 1, the old rows
// (AddStatus 0) deleted, the new rows marked 0; all inside one databank
// transaction, so a failure leaves the previous profile as it was.
#pragma once

namespace pellary {

// The event half, then the category half, in one transaction.
void Bsda_CommittChanges();
void Bsda_UnloadProfileEventList();
void Bsda_UnloadProfileCatList();

}  // namespace pellary
