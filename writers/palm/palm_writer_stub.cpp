// Placeholder bodies until this writer is built.
#include "writers/palm/palm_writer.h"

namespace pellary {
void Bpm_WritePalmRecord(RelayEventRecord&, int16_t&) {  }
void Bpm_DeletePalmRecord(RelayEventRecord&, int16_t&) {}
void Bpm_SetPilotPath() {}
bool Bpm_SilentDates() { return false; }
bool Bpm_SilentReference() { return false; }
}  // namespace pellary
