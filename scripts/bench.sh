#!/usr/bin/env bash
# Builds everything, runs every benchmark (build/bin/bench_*) and prints one
# table of their goal lines, with the machine they ran on. The benchmarks'
# own output goes before the table. Exits non-zero only when a benchmark
# cannot run to its end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
failed=()
for bench in build/bin/bench_*; do
  [ -x "$bench" ] || continue
  name=$(basename "$bench")
  echo "== $name"
  if ! "$bench" 2>"$logs/$name.err" | tee "$logs/$name.out"; then
    failed+=("$name")
    cat "$logs/$name.err" >&2
  fi
  echo
done

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
echo "Goals ($(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) CPUs, ${cpu:-unknown CPU}):"
met=0
missed=0
for out in "$logs"/*.out; do
  name=$(basename "$out" .out)
  while IFS= read -r line; do
    line=$(sed -E 's/^ +//; s/ {2,}/  /g' <<<"$line")
    printf '  %-17s %s\n' "$name" "$line"
    case "$line" in
      *": not met"*) missed=$((missed + 1)) ;;
      *": met"*) met=$((met + 1)) ;;
    esac
  done < <(grep -i 'goal' "$out" || true)
done
echo "  $met met, $missed not met"
if [ ${#failed[@]} -ne 0 ]; then
  echo "benchmarks that did not run to their end: ${failed[*]}" >&2
  exit 1
fi
