#!/usr/bin/env bash
# The test bed and the start command as a user drives them from a terminal: Ctrl-C (SIGINT to
# the script) and SIGTERM end a run within seconds and remove its namespaces; --devices outside
# the simulator's range is refused before anything is built or started.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# As from a terminal: a job of its own, not started with SIGINT ignored.
set -m
for signal in INT TERM; do
  expected=$([ $signal = INT ] && echo 130 || echo 143)
  "$top/testbed/run-in-testbed" --timeout 60 --lan 'sleep 60' -- sleep 60 &
  script=$!
  for ((t = 0; t < 50; t++)); do ip netns list | grep -q "lsh-$script" && break; sleep 0.1; done
  sleep 0.5
  start=$SECONDS
  kill -$signal $script
  for ((t = 0; t < 100; t++)); do kill -0 $script 2>/dev/null || break; sleep 0.1; done
  if kill -0 $script 2>/dev/null; then
    fail "SIG$signal: the run still goes on after 10 s"
    kill -KILL $script
  fi
  wait $script
  rc=$?
  [ $rc = "$expected" ] || fail "SIG$signal: exit status $rc, expected $expected"
  ip netns list | grep -qE "ls[hl]-$script( |$)" && fail "SIG$signal: namespaces of the run are left"
  echo "SIG$signal: ended after $((SECONDS - start)) s with $rc"
done

set +m
"$top/testbed/run-in-testbed" --timeout 2 -- sleep 60
rc=$?
[ $rc = 124 ] || fail "the run limit: exit status $rc, expected 124"

for devices in 0 100001 ten; do
  # Without a display: should the check let it through, it stops right after.
  out=$(env -u DISPLAY "$top/scripts/start.sh" --devices $devices 2>&1)
  rc=$?
  [ $rc = 2 ] && [[ "$out" == *"1 to 100000"* ]] || fail "start.sh --devices $devices: $rc, '$out'"
done

[ $failures = 0 ] && echo "all passed"
exit $((failures > 0))
