#!/usr/bin/env bash
# Builds Qt for 64-bit Windows (static, release, trimmed) from Debian's qtbase source package
# with the mingw-w64 posix-thread compiler, once, into a cache outside any checkout. The cache
# entry is keyed by the source package's version, the compiler's version and the configure
# options: a change of any of them builds a new entry, nothing else does.
#
# Prints the Qt prefix (the folder to give CMake as CMAKE_PREFIX_PATH) as its last line.
# LANSCOUT_CROSS_QT_CACHE overrides the cache folder (default /var/cache/lanscout/cross-qt).
# Expects the packages of scripts/windows.sh to be installed.
set -euo pipefail

cache=${LANSCOUT_CROSS_QT_CACHE:-/var/cache/lanscout/cross-qt}
target=x86_64-w64-mingw32
source_package=qtbase-opensource-src

# Without OpenGL, D-Bus, ICU, OpenSSL and FreeType; zlib, libpng, PCRE and HarfBuzz from
# Qt's own copies. Debian's source drops the wintab headers, hence no tablet events. Nothing
# the programs do not use: no JPEG or GIF, no SQL, no Qt Concurrent, no Direct2D platform.
configure_options=(
  -opensource -confirm-license
  -xplatform win32-g++ -device-option "CROSS_COMPILE=$target-"
  -static -static-runtime -release
  -nomake examples -nomake tests
  -no-opengl -no-dbus -no-icu -no-openssl -no-freetype -no-fontconfig
  -qt-zlib -qt-libpng -qt-pcre -qt-harfbuzz
  -no-libjpeg -no-gif -no-feature-sql -no-feature-concurrent -no-direct2d
  -no-feature-tabletevent
)

# The newest version of the source package that apt knows of.
version=$(apt-cache showsrc "$source_package" | awk '/^Version:/ { print $2 }' |
  sort -V | tail -n 1)
if [ -z "$version" ]; then
  echo "apt knows no source package $source_package (is deb-src enabled?)" >&2
  exit 1
fi
compiler=$("$target-g++-posix" --version | head -n 1)
key=$(printf '%s\n' "$version" "$compiler" "${configure_options[@]}" | sha256sum | cut -c 1-16)
prefix=$cache/qt-5-$key

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

echo "building the cross Qt into $prefix (once: about a quarter of an hour on two cores)" >&2
rm -rf "$prefix"
mkdir -p "$cache"
work=$(mktemp -d "$cache/build-XXXXXX")
trap 'rm -rf "$work"' EXIT

# configure calls the compiler by its plain target name: point that name at the posix-thread
# variant here, whatever the machine's alternatives say.
mkdir "$work/bin"
for tool in gcc g++; do
  ln -s "$(command -v "$target-$tool-posix")" "$work/bin/$target-$tool"
done
export PATH=$work/bin:$PATH

(cd "$work" && apt-get source -qq -o APT::Sandbox::User=root "$source_package=$version" >"$work/source.log" 2>&1) ||
  { cat "$work/source.log" >&2; exit 1; }
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name "$source_package-*" | head -n 1)
mkdir "$work/build"
jobs=$(($(nproc) < 2 ? $(nproc) : 2))
(
  cd "$work/build"
  "$src/configure" -prefix "$prefix" "${configure_options[@]}" >"$work/configure.log" 2>&1 ||
    { tail -n 60 "$work/configure.log" >&2; exit 1; }
  make -j "$jobs" >"$work/make.log" 2>&1 || { tail -n 60 "$work/make.log" >&2; exit 1; }
  make install >"$work/install.log" 2>&1 || { tail -n 60 "$work/install.log" >&2; exit 1; }
)
printf '%s\n' "source package: $source_package $version" "compiler: $compiler" \
  "configure: ${configure_options[*]}" >"$prefix/.complete"
echo "$prefix"
