// Placeholder bodies until this writer is built.
#include "writers/outlook/outlook_writer.h"

namespace pellary {
void Bout_WriteToOutlook(RelayEventRecord&, int16_t&) {  }
void Bout_OutlookDeleter(RelayEventRecord&, int16_t&) {}
void Bout_InitialiseOutlook() {}
}  // namespace pellary
