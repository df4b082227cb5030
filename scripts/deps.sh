#!/usr/bin/env bash
# Installs what lanScout needs to build, run and test, from Debian's packages.
# Only installs what is missing, so it costs nothing on a prepared machine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"

packages=(
  cmake ninja-build g++ pkg-config
  qtbase5-dev qttools5-dev qttools5-dev-tools
  iproute2 procps nftables time
  clang libclang-rt-14-dev valgrind
  fonts-dejavu-core
)
# For the window: the interface face, and a CJK face for Chinese text.
[ "${1:-}" = "--gui" ] && packages+=(fonts-dejavu-extra fonts-noto-cjk)
# For the Debian package (scripts/package.sh) and its checks (tests/scripts/tst_package.sh).
[ "${1:-}" = "--package" ] && packages+=(dpkg-dev file lintian desktop-file-utils appstream man-db strace)

install_missing "${packages[@]}"
