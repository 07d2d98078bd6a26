// The relays choose the writer of the calendar target by its platform code.
#pragma once

#include <cstdint>
#include <string>

#include "writers/event_record.h"

namespace pellary {
// The entry ID the target returned for the new entry, or empty.
std::string Bplp_WriteRelay(RelayEventRecord& record, int16_t& percent);
void Bplp_DeleteRelay(RelayEventRecord& record, int16_t& percent);

// One calendar target of the relays.
struct RelayTarget {
  const char* name;  // the add operation's name
  std::string (*add)(RelayEventRecord&, int16_t&);
  void (*remove)(RelayEventRecord&, int16_t&);
  // Entries go to a file on the PC that reaches the target in one step after
  // the pass, so the profile is stored only then.
  bool batched = false;
};
// The target of a calendar platform code, nullptr for a code without one.
const RelayTarget* relayTargetOf(int16_t datesPlat);
}  // namespace pellary
