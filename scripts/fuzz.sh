#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for a bounded time (default 60 s).
#   scripts/fuzz.sh [SECONDS]
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

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=detect_leaks=1
failed=0
for pair in reply:fuzz_reply setip:fuzz_setip ipv4text:fuzz_ipv4text; do
  corpus=${pair%%:*}
  harness=${pair#*:}
  work=$(mktemp -d)
  cp "$top/fuzz/corpus/$corpus/"* "$work/"
  artifacts=$(mktemp -d)
  echo "fuzzing $harness for ${seconds}s"
  if ! "$build/fuzz/$harness" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$artifacts/" -print_final_stats=1 "$work" 2>"$work.log"; then
    failed=1
    echo "FAIL: $harness found a failing input:" >&2
    grep -E 'ERROR|runtime error|SUMMARY' "$work.log" | head -n 20 >&2 || tail -n 30 "$work.log" >&2
    mkdir -p "$top/fuzz/regressions/$corpus"
    cp "$artifacts"/* "$top/fuzz/regressions/$corpus/" 2>/dev/null || true
  else
    grep -E 'stat::number_of_executed_units|Done' "$work.log" | sed "s/^/  $harness: /"
  fi
  rm -rf "$work" "$work.log" "$artifacts"
done
exit "$failed"
