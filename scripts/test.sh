#!/usr/bin/env bash
# Builds lanScout and runs its whole test suite:
#   1. the ordinary build and every test (unit, widget, end-to-end, floods, valgrind);
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the Windows build and its tests under Wine (scripts/windows.sh; the first run also builds
#      the cross Qt, about a quarter of an hour), against the test tools of stage 1's build;
#   4. the thread hand-over stress test under ThreadSanitizer;
#   5. each fuzz harness for a bounded time under ASan and UBSan.
# Needs root: the tests that use the network run in private network namespaces that the
# suite creates and removes. Any failure fails the whole run (and says which stage).
# After stage 2, the Debian package is built (Release, the shipped programs only) and
# checked: scripts/package.sh, tests/scripts/tst_package.sh. Once stage 1 is built, the other
# stages' builds run ahead of their tests (below).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"

need_root "lanScout's test suite needs root (it creates private network namespaces for its network tests)."
# The packages of every stage but the Windows one, before any build runs ahead (the Windows
# build installs its own; nothing else installs anything while it runs).
"$top/scripts/deps.sh" --package

fuzz_seconds=${LANSCOUT_FUZZ_SECONDS:-30}
failed=()
stage() {
  local name=$1
  shift
  echo
  echo "=== $name"
  local start=$SECONDS
  if "$@"; then
    echo "=== $name: passed ($((SECONDS - start)) s)"
  else
    echo "=== $name: FAILED ($((SECONDS - start)) s)"
    failed+=("$name")
  fi
}

# Three tests a core: most of them wait for simulated devices and use little CPU; the few
# that keep cores busy say so (PROCESSORS), and the floods run alone (RUN_SERIAL).
run_ctest() {
  local build=$1
  shift
  "$top/scripts/build.sh" "$build" "$@" || return 1
  (cd "$build" && ctest --output-on-failure --timeout 300 -j "$((3 * $(nproc)))" --no-tests=error)
}

package_and_check() {
  "$top/scripts/package.sh" && "$top/tests/scripts/tst_package.sh" "$top/build-package"
}

export ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$top/tests/sanitizers/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# Line tables are all that stack traces (sanitizers, valgrind) need; full debug information
# takes more than half of the build's time. The sanitized build at -O1, as the sanitizers advise.
# Unity builds (each target's sources compiled together) save a sixth of the CPU time here; the
# package is built file by file, so that a source that builds only beside others is found.
lines_only=("-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DCMAKE_UNITY_BUILD=ON)
asan=("-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" -DCMAKE_UNITY_BUILD=ON
  -DLANSCOUT_SANITIZE=address,undefined -DLANSCOUT_BUILD_BENCH=OFF)

# The later stages' builds run ahead, one after the other, in the idle scheduling class: the
# tests mostly wait for simulated devices and leave part of the cores unused, and an idle-class
# build takes only what they leave. Each stage then waits for its build, whose output it shows.
ahead=$(mktemp -d)
ahead_pid=""
# The chain runs in a process group of its own, so that an interrupted run ends its builds too.
trap '[ -z "$ahead_pid" ] || kill -- "-$ahead_pid" 2>/dev/null || true; rm -rf "$ahead"' EXIT
build_ahead() {
  local name
  for name in asan package windows tsan fuzz; do
    case $name in
    asan) set -- "$top/scripts/build.sh" "$top/build-asan" "${asan[@]}" ;;
    package) set -- "$top/scripts/package.sh" ;;
    tsan) set -- "$top/scripts/tsan.sh" --build-only ;;
    fuzz) set -- "$top/scripts/fuzz.sh" --build-only ;;
    windows) set -- env LANSCOUT_LINUX_BUILD="$top/build-tests" "$top/scripts/windows.sh" --build-only ;;
    esac
    if chrt --idle 0 "$@" >"$ahead/$name.log" 2>&1; then echo 0 >"$ahead/$name.rc"; else echo 1 >"$ahead/$name.rc"; fi
  done
}
built() { # NAME: waits for the build that ran ahead
  while [ ! -e "$ahead/$1.rc" ]; do sleep 1; done
  cat "$ahead/$1.log"
  [ "$(cat "$ahead/$1.rc")" = 0 ]
}

stage "build" "$top/scripts/build.sh" "$top/build-tests" "${lines_only[@]}"
[ ${#failed[@]} -eq 0 ] || { echo "FAILED: build"; exit 1; }
set -m
build_ahead &
ahead_pid=$!
set +m
stage "tests" run_ctest "$top/build-tests" "${lines_only[@]}"
stage "tests under ASan+UBSan" eval 'built asan && run_ctest "$top/build-asan" "${asan[@]}"'
stage "Debian package" eval 'built package && package_and_check'
stage "Windows build and tests under Wine" eval \
  'built windows && env LANSCOUT_LINUX_BUILD="$top/build-tests" "$top/scripts/windows.sh"'
stage "thread stress under TSan" eval 'built tsan && "$top/scripts/tsan.sh"'
stage "fuzzing (${fuzz_seconds}s each)" eval 'built fuzz && "$top/scripts/fuzz.sh" "$fuzz_seconds"'

echo
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all stages passed"
