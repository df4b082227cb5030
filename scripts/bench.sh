#!/usr/bin/env bash
# Builds lanScout's benchmark (optimised, with debug information) and runs it in a private
# test network: lanScout's window, engine, device list and table model against up to tens of
# thousands of simulated devices, a minimal receive loop for the same traffic, and start-up
# beside a minimal window. Prints the results table (markdown) on standard output and its
# progress on standard error; the full run takes about twenty minutes.
#
#   scripts/bench.sh [--build-dir DIR] [lanscout-bench options]
#
#   --smoke              a quick run (100 devices, 5 s window) that checks only that it all works
#   --window S           measuring window, default 60
#   --markdown FILE      also write the tables to FILE
#   --help               every option of lanscout-bench
#
# Needs root: the test network is made of network namespaces (see testbed/run-in-testbed).
# Nothing here opens a socket in this machine's own network namespace.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"

build="$top/build-bench"
if [ "${1:-}" = "--build-dir" ]; then
  build="$2"
  shift 2
fi
need_root "bench.sh needs root (the benchmark runs in private network namespaces)."
"$top/scripts/deps.sh"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target lanscout-bench -j "$(nproc)"

# The whole run is bounded: the test bed stops it after 40 minutes at the most.
exec "$top/testbed/run-in-testbed" --hosts 1 --timeout 2400 -- "$build/bench/lanscout-bench" "$@"
