#!/usr/bin/env bash
# Configures and builds into a build folder: scripts/build.sh [BUILD_DIR] [cmake args...]
# KELMOR_BUILD_TARGETS (blank-separated) builds only those targets and what they need.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${1:-$root/build}
shift || true
type=${KELMOR_BUILD_TYPE:-RelWithDebInfo}
# A configured folder of the same type needs no second configure: the build step runs
# it again by itself when a CMakeLists.txt changed.
if (($# > 0)) || ! grep -qx "CMAKE_BUILD_TYPE:STRING=$type" "$dir/CMakeCache.txt" 2>/dev/null; then
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
fi
targets=()
for t in ${KELMOR_BUILD_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
