#!/usr/bin/env bash
# Builds the fuzz targets of the file readers, the update packet's sections
# splitter, the update server's reply parsers, the settings file, the INI
# reader, the stand-ins' state lines, foreign calendar items and the CalDAV
# multistatus reader with clang (libFuzzer and AddressSanitizer) into
# build/fuzz and runs each for the same short, bounded time; a crash fails
# the script. Skips, successfully, when clang or its fuzzer runtime is missing.
#   FUZZ_SECONDS    time per target (default 12)
#   FUZZ_BUILD_DIR  where to build and keep the corpus (default build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-12}"
out="${FUZZ_BUILD_DIR:-build/fuzz}"

if ! command -v clang++ >/dev/null 2>&1 || ! command -v clang >/dev/null 2>&1; then
  echo "fuzz: clang is not installed; skipping the fuzz run"
  exit 0
fi
probe_dir="$(mktemp -d)"
trap 'rm -rf "$probe_dir"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe_dir/p.cpp"
if ! clang++ -fsanitize=fuzzer,address "$probe_dir/p.cpp" -o "$probe_dir/p" >/dev/null 2>&1; then
  echo "fuzz: clang's libFuzzer runtime (libclang-rt-14-dev) is missing; skipping the fuzz run"
  exit 0
fi

generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
cmake -S fuzz -B "$out" "${generator[@]}" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPELLARY_WERROR=ON >/dev/null
cmake --build "$out" -j "$(nproc)"

run() {
  local target="$1" seeds="$2"
  local corpus="$out/corpus/$target"
  mkdir -p "$corpus" "$out/artifacts"
  echo "fuzz: $target for ${seconds}s"
  # The targets write scratch files; memory-backed storage keeps them fast.
  local scratch="$out/scratch"
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then scratch="$(mktemp -d /dev/shm/pellary-fuzz.XXXXXX)"; fi
  mkdir -p "$scratch"
  # The working corpus grows from run to run; the seeds stay as they are.
  TMPDIR="$scratch" "$out/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -artifact_prefix="$out/artifacts/$target-" -print_final_stats=1 "$corpus" "$seeds" 2>"$out/$target.log" || {
    status=$?
    tail -n 60 "$out/$target.log" >&2
    echo "fuzz: $target failed (exit $status); the input is in $out/artifacts/" >&2
    rm -rf "$scratch"
    return "$status"
  }
  rm -rf "$scratch"
  grep -E '^stat::number_of_executed_units' "$out/$target.log" || true
}

run agenda_reader_fuzz fuzz/corpus/agenda
run table_values_fuzz fuzz/corpus/table_values
run sections_fuzz fuzz/corpus/sections
run reply_parser_fuzz fuzz/corpus/replies
run settings_file_fuzz fuzz/corpus/settings
run ini_reader_fuzz fuzz/corpus/ini
run state_lines_fuzz fuzz/corpus/state_lines
run foreign_ics_fuzz fuzz/corpus/ics
run multistatus_fuzz fuzz/corpus/multistatus
