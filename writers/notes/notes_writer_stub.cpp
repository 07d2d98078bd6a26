// Placeholder bodies until this writer is built.
#include "writers/notes/notes_writer.h"

namespace pellary {
void BLot_WriteToLotus(RelayEventRecord&, int16_t&) {  }
void BLot_DeleteFromLotus(RelayEventRecord&, int16_t&) {}

}  // namespace pellary
