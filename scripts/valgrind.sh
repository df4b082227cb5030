#!/usr/bin/env bash
# A short memcheck run of lanScout (offscreen) against three simulated devices in the test bed,
# with a small burst of hostile and malformed datagrams, ended by SIGTERM as closing the window
# would. Exits non-zero on any invalid access or definite leak (valgrind's error exit code 99),
# or when the run itself goes wrong.
#
#   scripts/valgrind.sh [BUILD_DIR]        (default: build/ beside this folder)
#
# Needs root and valgrind. Outside the test bed it runs itself inside testbed/run-in-testbed.
# LANSCOUT_VALGRIND_SECONDS: how long the program runs once it lists the devices (default 8).
# The suppressions (scripts/valgrind.supp) cover libraries' own internals only.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
seconds=${LANSCOUT_VALGRIND_SECONDS:-8}

if [ -z "${LANSCOUT_TESTBED:-}" ]; then
  exec "$top/testbed/run-in-testbed" --hosts 1 --timeout 150 -- "$0" "$build"
fi
# The program broadcasts on every interface it finds: never in the machine's own namespace.
own=$(readlink /proc/self/ns/net || true)
machine=$(readlink /proc/1/ns/net || true)
if [ -z "$own" ] || [ -z "$machine" ] || [ "$own" = "$machine" ]; then
  echo "valgrind.sh: not inside the test bed's private network; refusing to run" >&2
  exit 3
fi
command -v valgrind >/dev/null || { echo "valgrind.sh: valgrind is not installed (scripts/deps.sh)" >&2; exit 2; }

app="$build/app/lanScout"
sim="$build/devsim/lanscout-devsim"
flood="$build/devsim/lanscout-flood"
for f in "$app" "$sim"; do
  [ -x "$f" ] || { echo "valgrind.sh: $f is missing; build first" >&2; exit 2; }
done

work=$(mktemp -d)
vg_pid=""
sim_pid=""
finish() {
  for p in $vg_pid $sim_pid; do
    kill -KILL "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap finish EXIT

ip netns exec "$LANSCOUT_LAN_NS" "$sim" --no-stdin --lifetime 120 --devices 3 >/dev/null 2>"$work/devsim.txt" &
sim_pid=$!

env -u QT_LOGGING_RULES -u QT_MESSAGE_PATTERN QT_QPA_PLATFORM=offscreen \
  valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
  --error-exitcode=99 --num-callers=40 --track-origins=yes --suppressions="$top/scripts/valgrind.supp" \
  --log-file="$work/memcheck.txt" "$app" >/dev/null 2>"$work/trace.txt" &
vg_pid=$!

# Start-up under memcheck is slow: wait until the third device is listed.
listed=no
for ((t = 0; t < 600; t++)); do
  if grep -q 'mac:  "02:00:00:00:00:03"' "$work/trace.txt" 2>/dev/null; then listed=yes; break; fi
  kill -0 "$vg_pid" 2>/dev/null || break
  sleep 0.1
done
echo "valgrind.sh: devices listed: $listed after $((t / 10)).$((t % 10)) s"

if [ "$listed" = yes ]; then
  if [ -x "$flood" ]; then
    # Bounded bursts: every kind of broken and hostile reply passes through the parser.
    ip netns exec "$LANSCOUT_LAN_NS" "$flood" --kind hostile --count 52 --duration-ms 2000 || true
    ip netns exec "$LANSCOUT_LAN_NS" "$flood" --kind malformed --count 2000 --duration-ms 2000 \
      --to 198.18.0.1 --to 255.255.255.255 || true
  fi
  sleep "$seconds"
fi

rc=0
if kill -0 "$vg_pid" 2>/dev/null; then
  kill -TERM "$vg_pid"
  # The leak check at exit takes a while under memcheck.
  for ((t = 0; t < 600; t++)); do
    kill -0 "$vg_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$vg_pid" 2>/dev/null; then
    echo "valgrind.sh: lanScout did not end within 60 s of SIGTERM" >&2
    rc=1
  fi
fi
set +e
wait "$vg_pid"
vg_rc=$?
set -e
vg_pid=""

echo "valgrind.sh: lanScout under memcheck exited with $vg_rc"
grep -E "ERROR SUMMARY|definitely lost|indirectly lost|Invalid|uninitialised|suppressed:" "$work/memcheck.txt" \
  | sed 's/^==[0-9]*== /  /' || true
if [ "$vg_rc" != 0 ] || [ "$listed" != yes ]; then
  echo "valgrind.sh: FAILED (exit $vg_rc, devices listed: $listed); memcheck's report:" >&2
  sed 's/^==[0-9]*== //' "$work/memcheck.txt" >&2
  [ "$listed" = yes ] || tail -n 20 "$work/trace.txt" >&2
  exit $([ "$vg_rc" != 0 ] && echo "$vg_rc" || echo 1)
fi
[ "$rc" = 0 ] || exit "$rc"
echo "valgrind.sh: no invalid access and no definite leak"
