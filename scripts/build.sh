#!/usr/bin/env bash
# Configures and builds everything into build/ (executables in build/bin/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# Any compiler warning fails the build.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DPELLARY_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)"
