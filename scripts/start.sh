#!/usr/bin/env bash
# Builds lanScout and starts it.
#
#   scripts/start.sh [--devices N] [--broadcast]   against a simulated LAN (default 5 devices)
#   scripts/start.sh --real-network                on this machine's real network
#
# The simulated LAN is a private network namespace holding the device simulator, joined by
# a veth pair to a second namespace where lanScout runs; its window opens on $DISPLAY.
# Closing the window, Ctrl-C or SIGTERM end everything and remove both namespaces.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

devices=5
real=0
sim_opts=""
while [ $# -gt 0 ]; do
  case "$1" in
    --devices) devices="$2"; shift 2 ;;
    --broadcast) sim_opts="$sim_opts --broadcast"; shift ;;
    --real-network) real=1; shift ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) echo "start.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
if ! [[ "$devices" =~ ^[0-9]{1,6}$ ]] || [ "$devices" -lt 1 ] || [ "$devices" -gt 100000 ]; then
  echo "start.sh: --devices takes a number from 1 to 100000 (the simulator's range)" >&2
  exit 2
fi

if [ -z "${DISPLAY:-}" ]; then
  echo "lanScout needs a display: set DISPLAY (for example run it in a desktop session, or under Xvfb)." >&2
  exit 1
fi
if [ "$real" = 0 ] && [ "$(id -u)" != 0 ]; then
  echo "lanScout's simulated LAN needs root (it creates network namespaces): run this as root, or use --real-network." >&2
  exit 1
fi

"$top/scripts/deps.sh" --gui
# Only what it starts: the window comes up without waiting for the tests and benchmark.
"$top/scripts/build.sh" "$top/build" --target lanScout --target lanscout-devsim

if [ "$real" = 1 ]; then
  exec "$top/build/app/lanScout"
fi

# The namespace has its own abstract socket space: X clients in it reach the display
# through the socket file in /tmp/.X11-unix.
exec "$top/testbed/run-in-testbed" --hosts 1 --timeout 86400 \
  --lan "exec '$top/build/devsim/lanscout-devsim' --no-stdin --devices $devices $sim_opts" \
  -- env DISPLAY="$DISPLAY" XAUTHORITY="${XAUTHORITY:-$HOME/.Xauthority}" "$top/build/app/lanScout"
