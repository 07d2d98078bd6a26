#!/usr/bin/env bash
# Kills a run of every calendar target at every call that changes a file, over
# a larger pass than the test suite's (the demo's biggest categories, about 190
# entries), retries each and checks that target and profile converge. Prints
# one line per target: calls, kill points tried, converged.
#   bash scripts/crash_campaign.sh [Outlook Palm Series3 Series5 Organizer Notes DayTimer]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build build -j "$(nproc)" --target test_system crash_shim
export QT_QPA_PLATFORM=offscreen
export PELLARY_CRASH_POINTS="${PELLARY_CRASH_POINTS:-all}"
export PELLARY_CRASH_CATEGORIES="${PELLARY_CRASH_CATEGORIES:-Premier Division fixtures;Grands Prix;Arena tours;Japan;Diamond meetings;France;Italy;Ireland;United States;Brazil}"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(Outlook Palm Series3 Series5 Organizer Notes DayTimer)
status=0
for t in "${targets[@]}"; do
  log=$(mktemp)
  if build/bin/test_system --gtest_filter="EveryTarget/CalendarTargets.ARunEndedAtAnyCallConvergesOnTheRetry/$t" >"$log" 2>&1; then
    grep '^crash campaign' "$log" || true
  else
    status=1
    grep '^crash campaign' "$log" || true
    grep -E 'kill before call' "$log" | sort -u | head -20
    echo "$t: FAILED (log: $log)"
    continue
  fi
  rm -f "$log"
done
exit $status
