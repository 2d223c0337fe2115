#!/usr/bin/env bash
# Builds in Release and runs the benchmarks; prints their figures (about six minutes).
#   scripts/bench.sh                 everything, as docs/benchmarks.md shows it
#   scripts/bench.sh --quick         every phase shortened (a smoke run)
#   scripts/bench.sh --only PHASE    one phase of bench_monitor (repeatable): headroom,
#                                    latency, cpu-lines, cpu-bytes, idle, memory, startup
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
dir=$root/build-release
KELMOR_BUILD_TYPE=Release "$root/scripts/build.sh" "$dir"
if [[ $# -eq 0 ]]; then
    echo "== bench_framing: the receive path's pure parts"
    "$dir/bench/bench_framing"
    echo
    echo "== bench_trend: the trend's store, decimation and data-log reader at a shift's size"
    "$dir/bench/bench_trend"
    echo
fi
echo "== bench_monitor: the real program against a gauge on a pseudo-terminal"
"$dir/bench/bench_monitor" "$@" </dev/null
