#include "update/update_service.h"

namespace pellary {

// The update protocol client is not built yet: a silent run opens no window,
// so the program ends when the start returns.
void Bupd_MainHandler(int16_t) {}

}  // namespace pellary
