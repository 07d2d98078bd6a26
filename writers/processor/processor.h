// Module state of the event processor, the relay table, the public-holiday
// writer and the pending-work flags.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "writers/event_record.h"

namespace pellary {

struct ProcessorState {
  // Preview rows of the last preview pass: the percentage's denominator.
  int32_t Bplp_TotalCount = 0;
  // Entries handled by write passes since the program started.
  int32_t Bplp_DoneCount = 0;
  std::string stage;
  RelayEventRecord record;
  int16_t percent = 0;
  // Stand in for the relays' writers when set (tests and benchmarks).
  std::function<std::string(RelayEventRecord&, int16_t&)> writeOverride;
  std::function<void(RelayEventRecord&, int16_t&)> deleteOverride;
};
// The event processor's state: the preview and done counts, the stage for error reports, the entry being relayed.
ProcessorState& Bplp();
void resetProcessorState();

// done / total x 100, rounded half to even, capped at 100; 100 when nothing was counted.
int16_t progressPercent(int32_t done, int32_t total);

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

void Bplp_PubHolCentralWriter(bool preview);
void Bint_SetProcessControl();

// The entry-ID string split at the first "^": the main ID and the tickets ID.
std::string mainEntryID(const std::string& ids);
std::string ticketsEntryID(const std::string& ids);

}  // namespace pellary
