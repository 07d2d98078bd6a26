#!/usr/bin/env bash
# Formats every project source with clang-format and .clang-format:
#   scripts/format.sh          rewrites the files in place
#   scripts/format.sh --check  changes nothing and fails on any file that is not formatted
# Sources are the tracked C and C++ files, so build trees and generated code never count.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=(-i)
case "${1:-}" in
  "") ;;
  --check) mode=(--dry-run -Werror) ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac
if ! command -v clang-format >/dev/null 2>&1; then
  echo "format: clang-format is not installed (scripts/setup.sh installs it)" >&2
  exit 1
fi
git ls-files -z -- '*.cpp' '*.h' '*.c' | xargs -0 -r -P "$(nproc)" -n 16 clang-format --style=file "${mode[@]}"
