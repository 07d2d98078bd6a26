#!/usr/bin/env bash
# Builds everything, runs the benchmarks (build/bin/bench_*) and prints one
# table of their goal lines, headed by the machine they ran on. The
# benchmarks' own output goes before the table. Arguments (or BENCHES, space
# separated) pick benchmarks by name, with or without "bench_":
#   bash scripts/bench.sh reference caldav
# Exits non-zero only when a benchmark cannot run to its end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen

picked=("$@")
if [ ${#picked[@]} -eq 0 ] && [ -n "${BENCHES:-}" ]; then
  read -r -a picked <<<"$BENCHES"
fi
benches=()
if [ ${#picked[@]} -eq 0 ]; then
  for bench in build/bin/bench_*; do
    [ -x "$bench" ] && benches+=("$bench")
  done
else
  for name in "${picked[@]}"; do
    bench="build/bin/bench_${name#bench_}"
    if [ ! -x "$bench" ]; then
      echo "no benchmark $bench" >&2
      exit 2
    fi
    benches+=("$bench")
  done
fi

tmp=${TMPDIR:-/tmp}
# The disk's busy share over two seconds, from the kernel's I/O time of the
# device holding $TMPDIR: a disk busy before the run makes noisy figures.
source_dev=$(findmnt -no SOURCE --target "$tmp" 2>/dev/null | head -1 || true)
dev_name=$(basename "${source_dev:-none}")
io_ms() { awk -v d="$dev_name" '$3 == d { print $13 }' /proc/diskstats 2>/dev/null; }
disk_busy() {
  local a b
  a=$(io_ms)
  sleep 2
  b=$(io_ms)
  if [ -n "$a" ] && [ -n "$b" ]; then echo "$(((b - a) / 20))%"; else echo "unknown"; fi
}
busy_before=$(disk_busy)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

logs=$(mktemp -d)
# Every benchmark's files stay until all have run, in one folder removed at
# the end: on ext4 without a journal a file made within minutes of many
# removals costs a scan past them, and one benchmark's clean-up would fall on
# the next one's figures. A run right after this one waits for that too.
scratch=$(mktemp -d "$tmp/pellary-bench.XXXXXX")
trap 'rm -rf "$logs" "$scratch"; sync' EXIT
export TMPDIR="$scratch" PELLARY_BENCH_KEEP=1
failed=()
started=$(date -u '+%Y-%m-%d %H:%M UTC')
run_start=$SECONDS
for bench in "${benches[@]}"; do
  name=$(basename "$bench")
  echo "== $name"
  t0=$SECONDS
  if ! "$bench" 2>"$logs/$name.err" | tee "$logs/$name.out"; then
    failed+=("$name")
    cat "$logs/$name.err" >&2
  fi
  echo "$((SECONDS - t0))" >"$logs/$name.secs"
  echo "-- $name took $((SECONDS - t0)) s"
  echo
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
mem=$(awk '/^MemTotal:/ { printf "%.1f GB", $2 / 1048576 }' /proc/meminfo)
fs_type=$(findmnt -no FSTYPE --target "$tmp" 2>/dev/null | head -1 || true)
fs_opts=$(findmnt -no OPTIONS --target "$tmp" 2>/dev/null | head -1 || true)
rotational=$(cat "/sys/class/block/$dev_name/queue/rotational" 2>/dev/null || true)
# Virtual disks often call themselves rotational whatever lies below.
case "$rotational" in 0) kind="not rotational" ;; 1) kind="rotational, as the kernel reports it" ;; *) kind="kind unknown" ;; esac
echo "Goals ($started, $(((SECONDS - run_start) / 60)) min $(((SECONDS - run_start) % 60)) s in all):"
echo "  machine: ${cpu:-unknown CPU}, $(nproc) CPUs, $mem memory; $(uname -sr)"
echo "  \$TMPDIR $tmp: ${fs_type:-unknown} on ${source_dev:-unknown} ($kind) ${fs_opts:+($fs_opts)}"
echo "  load average before/after: $load_before / $load_after; disk busy in the 2 s before: $busy_before"
times=""
for bench in "${benches[@]}"; do
  name=$(basename "$bench")
  times+="${times:+, }$name $(cat "$logs/$name.secs") s"
done
echo "  run times: $times"
met=0
missed=0
for bench in "${benches[@]}"; do
  name=$(basename "$bench")
  out="$logs/$name.out"
  found=0
  while IFS= read -r line; do
    line=$(sed -E 's/^ +//; s/ {2,}/  /g' <<<"$line")
    printf '  %-20s %s\n' "$name" "$line"
    found=$((found + 1))
    case "$line" in
      *": not met"*) missed=$((missed + 1)) ;;
      *": met"*) met=$((met + 1)) ;;
    esac
  done < <(grep -iE 'goal.*: (not )?met' "$out" 2>/dev/null || true)
  # A benchmark that printed no goal line did not get as far as its goals.
  if [ "$found" -eq 0 ]; then
    printf '  %-20s %s\n' "$name" "no goal line printed (see its output above): not met"
    missed=$((missed + 1))
  fi
done
echo "  $met met, $missed not met"
if [ ${#failed[@]} -ne 0 ]; then
  echo "benchmarks that did not run to their end: ${failed[*]}" >&2
  exit 1
fi
