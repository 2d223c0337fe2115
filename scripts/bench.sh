#!/usr/bin/env bash
# Builds in Release and runs the benchmarks; prints their figures (about eleven minutes).
#   scripts/bench.sh                 everything, as docs/benchmarks.md shows it
#   scripts/bench.sh --quick         every phase shortened (a smoke run)
#   scripts/bench.sh --only PHASE    one phase of bench_monitor (repeatable): headroom,
#                                    latency, cpu-lines, cpu-bytes, idle, memory, startup
#   scripts/bench.sh sidebyside [ARGS]   only the monitor beside CuteCom (bench_sidebyside)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KELMOR_WITH_BENCH=1 "$root/scripts/setup.sh"
dir=$root/build-release
KELMOR_BUILD_TYPE=Release "$root/scripts/build.sh" "$dir"
if [[ ${1:-} == sidebyside ]]; then
    shift
    exec "$dir/bench/bench_sidebyside" "$@" </dev/null
fi
if [[ $# -eq 0 ]]; then
    echo "== bench_framing: the receive path's pure parts"
    "$dir/bench/bench_framing"
    echo
    echo "== bench_trend: the trend's store, decimation and data-log reader at a shift's size"
    "$dir/bench/bench_trend"
    echo
fi
echo "== bench_monitor: the real program against a gauge on a pseudo-terminal, on its own X server"
"$dir/bench/bench_monitor" "$@" </dev/null
if [[ $# -eq 0 || "$*" == --quick ]]; then
    echo
    echo "== bench_monitor --offscreen: the CPU phases again, drawn offscreen (no X server)"
    "$dir/bench/bench_monitor" "$@" --offscreen --only idle --only cpu-lines --only cpu-bytes </dev/null
    echo
    echo "== bench_sidebyside: the monitor beside CuteCom on the same stream, each on its own X server"
    "$dir/bench/bench_sidebyside" "$@" </dev/null
fi
