#!/usr/bin/env bash
# Installs what lanScout needs to build, run and test, from Debian's packages.
# Only installs what is missing, so it costs nothing on a prepared machine.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qtbase5-dev qttools5-dev qttools5-dev-tools
  iproute2 procps nftables
  clang libclang-rt-14-dev valgrind
  fonts-dejavu-core
)
# For the window: the interface face, and a CJK face for Chinese text.
[ "${1:-}" = "--gui" ] && packages+=(fonts-dejavu-extra fonts-noto-cjk)
# For the Debian package (scripts/package.sh) and its checks (tests/scripts/tst_package.sh).
[ "${1:-}" = "--package" ] && packages+=(dpkg-dev file lintian desktop-file-utils appstream man-db strace)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" != 0 ]; then
  echo "lanScout needs these Debian packages, and root to install them: ${missing[*]}" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
