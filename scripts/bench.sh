#!/usr/bin/env bash
# Builds lanScout's benchmark (optimised, with debug information) and runs it in a private
# test network: lanScout's window, engine, device list and table model against up to tens of
# thousands of simulated devices, a minimal receive loop for the same traffic, and start-up
# beside a minimal window. Prints the results table (markdown) on standard output and its
# progress on standard error; the full run takes about twenty minutes.
#
#   scripts/bench.sh [--build-dir DIR] [lanscout-bench options]
#
# Needs root: the test network is made of network namespaces (see testbed/run-in-testbed).
# Nothing here opens a socket in this machine's own network namespace.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"

usage() {
  cat <<'TEXT'
Usage: scripts/bench.sh [--build-dir DIR] [options]

Builds build-bench/ (RelWithDebInfo) and runs lanscout-bench inside a private test network
(needs root). The full run takes about twenty minutes; see docs/benchmarks.md.

  --smoke               a quick run (100 devices, 5 s window, a 15 s soak of 200 devices) that
                        checks only that it all works
  --soak [MINUTES]      only the soak (default 60 minutes): 10,000 devices, per minute 5 % leave,
                        5 % come back or new, 1 % renumbered, 1 % change another field; lanScout's
                        window, then lanscout-cli watch (twice MINUTES in all)
  --soak-devices N      devices of the soak (default 10000)
  --soak-program NAME   soak only lanScout or only watch; two such runs can go at once
  --window S            measuring window, default 60
  --raw-window S        the minimal loop's window, default 25
  --search-window S     window of the search for the largest N, default 15
  --fill-timeout S      time the devices get to be listed, default 15
  --devices LIST        device counts, comma-separated (default 100,1000,10000,50000)
  --spreads LIST        reply spreads in ms, comma-separated; 0 is the same instant (default 200,0)
  --startup-runs K      start-up rounds (default 21; 0: none)
  --no-debug-on         skip the runs with debug output
  --no-search           skip the search for the largest N that holds
  --no-flapping         skip the identity flapping between two addresses
  --receive-buffer B    give every receive buffer what a kernel whose net.core.rmem_max is B grants
  --markdown FILE       also write the tables to FILE
  --build-dir DIR       build and run DIR instead of build-bench/
  -h, --help            this text (answered at once: nothing is built or run)
TEXT
}

build="$top/build-bench"
args=()
timeout=2400 # the whole run is bounded: the test bed stops it after 40 minutes at the most
while [ $# -gt 0 ]; do
  case "$1" in
  -h | --help | -help)
    usage
    exit 0
    ;;
  --build-dir)
    build="$2"
    shift 2
    ;;
  --soak)
    minutes=60
    if [[ "${2:-}" =~ ^[0-9]+$ ]]; then
      minutes="$2"
      shift
    fi
    shift
    args+=(--soak "$minutes")
    # Two runs of the soak, each with its start and end.
    soak_minutes=$minutes
    ;;
  *)
    args+=("$1")
    shift
    ;;
  esac
done
if [ -n "${soak_minutes:-}" ]; then
  runs=2
  [[ " ${args[*]} " == *" --soak-program "* ]] && runs=1
  timeout=$((soak_minutes * runs * 60 + 600))
fi
need_root "bench.sh needs root (the benchmark runs in private network namespaces)."
"$top/scripts/deps.sh"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target lanscout-bench -j "$(nproc)"

exec "$top/testbed/run-in-testbed" --hosts 1 --timeout "$timeout" -- "$build/bench/lanscout-bench" ${args[@]+"${args[@]}"}
