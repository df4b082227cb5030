#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for a bounded time (default 60 s).
#   scripts/fuzz.sh [SECONDS | --build-only]
# A crash fails the run; its input is copied into fuzz/regressions/<harness>/, where the
# ordinary test suite replays it from then on (commit it with the fix).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build="$top/build-fuzz"

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DLANSCOUT_BUILD_FUZZERS=ON -DLANSCOUT_BUILD_TESTS=OFF -DLANSCOUT_BUILD_BENCH=OFF \
  -DLANSCOUT_SANITIZE=address,undefined >/dev/null
cmake --build "$build" --target fuzz_reply fuzz_setip fuzz_ipv4text -j "$(nproc)"
[ "$seconds" != "--build-only" ] || exit 0

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=detect_leaks=1
# The three run side by side: each gets its full time, the run takes it once.
fuzz_one() {
  local corpus=$1 harness=$2 log=$3
  local work artifacts
  work=$(mktemp -d)
  artifacts=$(mktemp -d)
  cp "$top/fuzz/corpus/$corpus/"* "$work/"
  if ! "$build/fuzz/$harness" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$artifacts/" -print_final_stats=1 "$work" >"$log" 2>&1; then
    mkdir -p "$top/fuzz/regressions/$corpus"
    cp "$artifacts"/* "$top/fuzz/regressions/$corpus/" 2>/dev/null || true
    rm -rf "$work" "$artifacts"
    return 1
  fi
  rm -rf "$work" "$artifacts"
}

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
pids=()
names=()
for pair in reply:fuzz_reply setip:fuzz_setip ipv4text:fuzz_ipv4text; do
  echo "fuzzing ${pair#*:} for ${seconds}s"
  fuzz_one "${pair%%:*}" "${pair#*:}" "$logs/${pair#*:}.log" &
  pids+=($!)
  names+=("${pair#*:}")
done
failed=0
for i in "${!pids[@]}"; do
  harness=${names[$i]}
  if wait "${pids[$i]}"; then
    grep -E 'stat::number_of_executed_units' "$logs/$harness.log" | sed "s/^/  $harness: /"
  else
    failed=1
    echo "FAIL: $harness found a failing input (copied into fuzz/regressions/):" >&2
    grep -E 'ERROR|runtime error|SUMMARY|Test unit written' "$logs/$harness.log" | head -n 20 >&2 ||
      tail -n 30 "$logs/$harness.log" >&2
  fi
done
exit "$failed"
