// Writing the in-memory profile lists back to ProfileEventList and
// ProfileCatList: the profile's committed rows (AddStatus 0) replaced by the
// lists' rows, rows marked 1 (under way) kept as committed; all inside one
// databank transaction, so a failure leaves the previous profile as it was.
#pragma once

namespace pellary {

// The event half, then the category half, in one transaction.
void Bsda_CommittChanges();
void Bsda_UnloadProfileEventList();
void Bsda_UnloadProfileCatList();

// The record of a write pass whose entries land on the target one by one, so
// that the profile knows what the target holds however the run ends. Each
// step is committed on its own.
// Before the first entry: the categories added in this run are stored as
// chosen (a written entry must never stand for a category the profile lacks).
// It keeps what recording each entry needs until Bsda_EndWritePass.
void Bsda_BeginWritePass();
void Bsda_EndWritePass();
// After an entry was added or removed: the event's row is replaced by the
// record as it now stands (no row when its Status is 0).
struct ProfileEventRecord;
void Bsda_RecordEntry(const ProfileEventRecord& record);
// Before an entry is added or removed: the record as it will stand. It is
// noted, with the state of the file the target changes, just before the
// change; the next load takes it when the change landed, whatever ended the
// run in between.
void Bsda_IntendEntry(const ProfileEventRecord& record);
// Before a target that takes the whole pass at once puts it in place: the
// pass's records are noted just before its file changes, so that the next
// load stores them when the file took the pass and the profile commit did
// not follow.
void Bsda_TargetCommitNext();

}  // namespace pellary
