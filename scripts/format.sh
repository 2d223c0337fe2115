#!/usr/bin/env bash
# Formats the C++ sources with .clang-format (clang-format 14).
#   scripts/format.sh            rewrites every file that differs
#   scripts/format.sh --check    changes nothing; lists the files that differ, fails if any
# Further arguments limit it to those files.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
check=0
if [[ "${1:-}" == "--check" ]]; then
    check=1
    shift
fi
tool=$(command -v clang-format-14 || command -v clang-format || true)
if [[ -z "$tool" ]]; then
    echo "clang-format 14 is missing: apt-get install clang-format-14" >&2
    exit 2
fi
if [[ $# -gt 0 ]]; then
    files=("$@")
else
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi
if [[ $check -eq 0 ]]; then
    "$tool" -i "${files[@]}"
    exit 0
fi
bad=0
for f in "${files[@]}"; do
    if ! "$tool" --dry-run --Werror "$f" >/dev/null 2>&1; then
        echo "not formatted: $f"
        bad=1
    fi
done
if [[ $bad -ne 0 ]]; then
    echo "run scripts/format.sh to format them" >&2
fi
exit $bad
