#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless with CTest; the normal
# run also checks that the sources follow .clang-format (scripts/format.sh fixes them).
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
status=0
ctest --output-on-failure -j"$(nproc)" </dev/null || status=$?
if [[ ${#args[@]} -eq 0 ]]; then
    "$root/scripts/format.sh" --check || status=1
fi
exit $status
