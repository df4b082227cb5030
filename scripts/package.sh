#!/usr/bin/env bash
# Builds lanScout's Debian package, lanscout_<version>_<architecture>.deb: a Release build of
# the programs that go to users (no tests, benchmark or fuzzers), with Debian's hardening
# flags, packed by CPack. Its last line of output is the package's path.
#
#   scripts/package.sh [--build-dir DIR]      (default: build-package/ beside this folder)
#
# Installs what it needs from Debian's packages (that needs root, once); installs nothing
# else into this machine's system. Install the package with apt install ./lanscout_*.deb.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

build="$top/build-package"
if [ "${1:-}" = "--build-dir" ]; then
  build="$2"
  shift 2
fi
[ $# -eq 0 ] || { echo "package.sh: unknown argument $1 (see the head of this script)" >&2; exit 2; }

"$top/scripts/deps.sh" --package

# The flags a Debian package is built with (fortified, stack-protected, read-only
# relocations, bound at load), without -g (the package is stripped) and -O2 (Release's -O3).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CXXFLAGS_MAINT_STRIP="-g -O2"
cxxflags="$(cd "$top" && dpkg-buildflags --get CPPFLAGS) $(cd "$top" && dpkg-buildflags --get CXXFLAGS)"
ldflags=$(cd "$top" && dpkg-buildflags --get LDFLAGS)

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DLANSCOUT_BUILD_TESTS=OFF -DLANSCOUT_BUILD_BENCH=OFF -DLANSCOUT_BUILD_FUZZERS=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j "$(nproc)"

rm -f "$build"/lanscout_*.deb
(cd "$build" && cpack -G DEB >cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
debs=("$build"/lanscout_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || { echo "package.sh: no package was made" >&2; exit 1; }
echo "${debs[0]}"
