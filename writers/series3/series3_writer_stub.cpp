// Placeholder bodies until this writer is built.
#include "writers/series3/series3_writer.h"

namespace pellary {
int32_t Bps3_AddEvent(RelayEventRecord&, int16_t&) { return {}; }
void Bps3_DelEvent(RelayEventRecord&, int16_t&) {}

}  // namespace pellary
