// Placeholder bodies until this writer is built.
#include "writers/series5/series5_writer.h"

namespace pellary {
std::string Bpsi_AddEvent(RelayEventRecord&, int16_t&) { return {}; }
void Bpsi_DelEvent(RelayEventRecord&, int16_t&) {}

}  // namespace pellary
