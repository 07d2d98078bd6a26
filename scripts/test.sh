#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
# Short, bounded fuzzing of the file readers.
if [ -f scripts/fuzz.sh ]; then bash scripts/fuzz.sh; fi
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 300
