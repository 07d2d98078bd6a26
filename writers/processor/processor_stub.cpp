// Placeholder bodies until the event processor is built.
#include "writers/central_writer.h"
#include "writers/relay.h"

namespace pellary {
std::string Bplp_WriteRelay(RelayEventRecord&, int16_t&) { return {}; }
void Bplp_DeleteRelay(RelayEventRecord&, int16_t&) {}
void Bplp_CentralWriter(bool) {}
void Bint_ShowFinalPreview() {}
void Bint_WriteToFinalPreview(RelayEventRecord&, int16_t&, int32_t&) {}
}  // namespace pellary
