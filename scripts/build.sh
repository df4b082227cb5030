#!/usr/bin/env bash
# Configures and builds lanScout into build/ (or the folder given first): every target, or
# only those named with --target. Other arguments go to cmake's configure step.
#   scripts/build.sh [DIR] [--target NAME]... [CMAKE_ARGS...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build}
shift || true
targets=()
cmake_args=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--target" ]; then
    targets+=(--target "$2")
    shift 2
  else
    cmake_args+=("$1")
    shift
  fi
done
cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${cmake_args[@]}" >/dev/null
cmake --build "$dir" "${targets[@]}" -j "$(nproc)"
