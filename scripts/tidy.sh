#!/usr/bin/env bash
# Runs clang-tidy with .clang-tidy over every project source of a configured
# build tree (its compile_commands.json), one instance per core; any finding
# fails the script. Code generated into the build tree (moc) is left out.
#   scripts/tidy.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-build}"
if ! command -v run-clang-tidy >/dev/null 2>&1; then
  echo "tidy: clang-tidy is not installed (scripts/setup.sh installs it)" >&2
  exit 1
fi
if [ ! -f "$build/compile_commands.json" ]; then
  echo "tidy: $build/compile_commands.json is missing; configure the build first" >&2
  exit 1
fi
root="$(pwd -P)"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
status=0
# Every source of the checkout but the build trees and what moc writes.
sources="^$root/(?!build[^/]*/)(?!.*_autogen/)"
run-clang-tidy -quiet -p "$build" -j "$(nproc)" "$sources" >"$log" 2>&1 || status=$?
# Only what clang-tidy found, without colours, the command line of every file
# or the counts of what it passed over in system headers.
sed 's/\x1b\[[0-9;]*m//g' "$log" |
  grep -v -E '^(clang-tidy|[0-9]+ warnings?( and [0-9]+ errors?)? generated\.|Suppressed [0-9]+ warnings|Use -header-filter|Use -system-headers)' ||
  true
if [ "$status" -ne 0 ]; then
  echo "tidy: clang-tidy found problems (see above)" >&2
  exit 1
fi
echo "tidy: clean"
