#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless with CTest.
#   scripts/test.sh            the normal build in build/
#   scripts/test.sh --sanitize AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"

dir=$root/build
args=()
if [[ "${1:-}" == "--sanitize" ]]; then
    dir=$root/build-asan
    args=(-DKELMOR_SANITIZE=ON)
    export KELMOR_BUILD_TYPE=Debug
fi
"$root/scripts/build.sh" "$dir" "${args[@]}"
cd "$dir"
ctest --output-on-failure -j"$(nproc)" </dev/null
