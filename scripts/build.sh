#!/usr/bin/env bash
# Configures and builds vlboot into build/ (or the folder given as $1, with
# any further CMake options after it). "--target NAME..." at the end builds
# only those targets.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
options=()
targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = --target ]; then
    shift
    targets=(--target "$@")
    break
  fi
  options+=("$1")
  shift
done
"$(dirname "$0")/deps.sh"
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
fi
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
