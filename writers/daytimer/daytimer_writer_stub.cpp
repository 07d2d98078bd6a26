// Placeholder bodies until this writer is built.
#include "writers/daytimer/daytimer_writer.h"

namespace pellary {
int32_t Bdt_WriteToDayTimer(RelayEventRecord&, int16_t&) { return {}; }
void Bdt_RemoveFromDayTimer(RelayEventRecord&, int16_t&) {}

}  // namespace pellary
