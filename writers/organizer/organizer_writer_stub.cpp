// Placeholder bodies until this writer is built.
#include "writers/organizer/organizer_writer.h"

namespace pellary {
void Borg_WriteToOrg(RelayEventRecord&, int16_t&) {  }
void Borg_DeleteFromOrg(RelayEventRecord&, int16_t&) {}

}  // namespace pellary
