#!/usr/bin/env bash
# Builds lanScout and runs its whole test suite. Needs root: the tests that use the
# network run in private network namespaces that the suite creates and removes.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

if [ "$(id -u)" != 0 ]; then
  echo "lanScout's test suite needs root (it creates private network namespaces for its network tests)." >&2
  exit 1
fi
"$top/scripts/deps.sh"

build="$top/build-tests"
"$top/scripts/build.sh" "$build"

cd "$build"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
set +e
ctest --output-on-failure --timeout 300 -j 2 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
set -e
if grep -q "No tests were found" "$log"; then
  echo "test.sh: no tests were found" >&2
  exit 1
fi
exit "$rc"
