#!/usr/bin/env bash
# Builds the thread hand-over stress test with ThreadSanitizer and runs it. Debian's Qt is
# not built for ThreadSanitizer; tests/sanitizers/tsan.supp sets aside Qt's own accesses
# only (each entry says why), so any report from our code fails the run. --build-only: build.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-tsan"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLANSCOUT_SANITIZE=thread \
  -DLANSCOUT_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target tst_iplist_threads -j "$(nproc)"
[ "${1:-}" != "--build-only" ] || exit 0
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$top/tests/sanitizers/tsan.supp" \
  QT_QPA_PLATFORM=offscreen "$build/tests/devices/tst_iplist_threads"
