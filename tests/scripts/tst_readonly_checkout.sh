#!/usr/bin/env bash
# The project configures from a read-only checkout: nothing is written into the source tree
# (a package build or a shared checkout may not allow it). Configures a read-only copy of the
# files of the checkout (those git does not ignore).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/src" "$work/build"
if git -C "$top" rev-parse --git-dir >/dev/null 2>&1; then
  (cd "$top" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$work/src")
else
  (cd "$top" && tar --exclude='./build*' -cf - .) | tar -xf - -C "$work/src"
fi
unshare --mount sh -c 'mount --bind "$1" "$1" && mount -o remount,ro,bind "$1" &&
  cmake -S "$1" -B "$2" -G Ninja -DLANSCOUT_BUILD_TESTS=ON -DLANSCOUT_BUILD_BENCH=ON >"$2/configure.log" 2>&1' \
  sh "$work/src" "$work/build" || { cat "$work/build/configure.log"; echo "FAIL: configuring a read-only checkout"; exit 1; }
echo "configured from a read-only checkout"
