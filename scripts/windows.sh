#!/usr/bin/env bash
# lanScout for Windows, made and tested on this Debian 12 machine (as root):
#   1. installs what it needs from Debian's packages (mingw-w64, nsis, Wine, Xvfb, and the
#      qtbase source package, enabling deb-src for the Debian entry if it is missing);
#   2. builds the cross Qt once into a cache outside the checkout (scripts/cross-qt.sh);
#   3. builds, in a Linux build, the test tools the Windows tests run against (the simulator,
#      the flood tool and the end-to-end test); LANSCOUT_LINUX_BUILD names a configured Linux
#      build to use, otherwise build-windows-linux/ is made;
#   4. cross-builds the Windows programs, their tests, the installer and the portable zip into
#      build-windows/;
#   5. runs the Windows tests under Wine through CTest, each in a private network namespace
#      (not with --build-only).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build-windows
build_only=""
[ "${1:-}" = "--build-only" ] && build_only=1
. "$top/scripts/lib.sh"

need_root "scripts/windows.sh needs root (packages, the cross Qt cache, network namespaces for the tests)."

"$top/scripts/deps.sh"

install_missing g++-mingw-w64-x86-64-posix nsis wine wine64 xvfb dpkg-dev xz-utils make util-linux
export DEBIAN_FRONTEND=noninteractive # apt-get source in scripts/cross-qt.sh asks nothing either

# The qtbase source package needs deb-src beside the Debian entry's deb.
if [ -z "$(apt-cache showsrc qtbase-opensource-src 2>/dev/null)" ]; then
  echo "enabling deb-src for the Debian package entry"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    # deb822: the stanza whose URIs are Debian's own archive gets the deb-src type.
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
      /URIs:[^\n]*debian\.org\/debian([ \n]|$)/ && !/Types:[^\n]*deb-src/ { sub(/Types: deb/, "Types: deb deb-src") }
      { print }' /etc/apt/sources.list.d/debian.sources >/etc/apt/sources.list.d/debian.sources.new
    mv /etc/apt/sources.list.d/debian.sources.new /etc/apt/sources.list.d/debian.sources
  fi
  if [ -f /etc/apt/sources.list ]; then
    # One-line style: a deb-src line for each deb line of Debian's own archive.
    awk '{ print; have[$0] = 1 }
      /^deb[ \t]/ && /debian\.org\/debian[ \t]/ { line = $0; sub(/^deb/, "deb-src", line); src[++n] = line }
      END { for (i = 1; i <= n; i++) if (!(src[i] in have)) print src[i] }' /etc/apt/sources.list >/etc/apt/sources.list.new
    mv /etc/apt/sources.list.new /etc/apt/sources.list
  fi
  apt-get update -qq
fi

phase() { echo "--- $* ($SECONDS s)"; }

phase "cross Qt"
qt=$("$top/scripts/cross-qt.sh" | tail -n 1)

phase "Linux test tools"
linux=${LANSCOUT_LINUX_BUILD:-}
if [ -z "$linux" ]; then
  linux=$top/build-windows-linux
  cmake -S "$top" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DLANSCOUT_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$linux" -j 2 --target lanscout-devsim lanscout-flood tst_e2e

phase "Windows build"
cmake -S "$top" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$top/windows/toolchain-mingw64.cmake" \
  -DCMAKE_PREFIX_PATH="$qt" \
  -DQt5LinguistTools_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt5LinguistTools \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_UNITY_BUILD=ON \
  -DLANSCOUT_LINUX_BUILD_DIR="$linux" >/dev/null
cmake --build "$build" -j 2
[ -z "$build_only" ] || exit 0

phase "Windows tests under Wine"
(cd "$build" && ctest --output-on-failure --timeout 300 -j 2 --no-tests=error)

phase "done"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
for f in "$build"/*.exe "$build/lanScout-$version-win64.zip"; do
  printf '%10d bytes  %s\n' "$(stat -c %s "$f")" "${f#"$top"/}"
done
