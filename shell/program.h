#pragma once

namespace pellary {
// Pelmon's entry: builds the application object and runs Main.
int runPelmon(int argc, char** argv);
}  // namespace pellary
