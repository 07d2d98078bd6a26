#include "shell/program.h"

namespace pellary {
int runPelmon(int, char**) { return 0; }
}  // namespace pellary
