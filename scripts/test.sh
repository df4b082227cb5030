#!/usr/bin/env bash
# Builds lanScout and runs its whole test suite:
#   1. the ordinary build and every test (unit, widget, end-to-end, floods, valgrind);
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the thread hand-over stress test under ThreadSanitizer;
#   4. each fuzz harness for a bounded time under ASan and UBSan;
#   5. the Windows build and its tests under Wine (scripts/windows.sh; the first run also builds
#      the cross Qt, about a quarter of an hour), against the test tools of stage 1's build.
# Needs root: the tests that use the network run in private network namespaces that the
# suite creates and removes. Any failure fails the whole run (and says which stage).
# Right after stage 1, the Debian package is built (Release, the shipped programs only) and
# checked: scripts/package.sh, tests/scripts/tst_package.sh.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"

need_root "lanScout's test suite needs root (it creates private network namespaces for its network tests)."
"$top/scripts/deps.sh"

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
lines_only=("-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")
stage "tests" run_ctest "$top/build-tests" "${lines_only[@]}"
stage "Debian package" package_and_check
stage "tests under ASan+UBSan" run_ctest "$top/build-asan" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" \
  -DLANSCOUT_SANITIZE=address,undefined -DLANSCOUT_BUILD_BENCH=OFF
stage "thread stress under TSan" "$top/scripts/tsan.sh"
stage "fuzzing (${fuzz_seconds}s each)" "$top/scripts/fuzz.sh" "$fuzz_seconds"
stage "Windows build and tests under Wine" env LANSCOUT_LINUX_BUILD="$top/build-tests" "$top/scripts/windows.sh"

echo
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all stages passed"
