#!/usr/bin/env bash
# Makes docs/monitoring-run.png: the real window, offscreen, in a monitoring run against
# the gauge simulator (IG chosen by hand, degas on, a fast pump-down).
#   scripts/demo-screenshot.sh
# With --trend, docs/trend-window.png instead: the trend window over a 40 s pump-down
# with a degas in it (takes about 45 s). With --leak-test, docs/leak-test.png: a leak
# test on a simulated rise of 2E-06 mbar/s after a 20 s pump-down (takes about 50 s).
# KELMOR_NO_BUILD=1 and KELMOR_BUILD_DIR work as for scripts/run.sh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KELMOR_BUILD_DIR:-$root/build}
if [[ "${KELMOR_NO_BUILD:-0}" != 1 ]]; then
    "$root/scripts/setup.sh"
    "$root/scripts/build.sh" "$build"
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kelmor-shot.XXXXXX")
sim_pid=
stop() {
    if [[ -n "$sim_pid" ]]; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf -- "$scratch"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mode=--run
sim_args=(--pumpdown 20 --interval 100)
if [[ "${1:-}" == --trend ]]; then
    mode=--trend
    sim_args=(--pumpdown 40 --interval 20)
elif [[ "${1:-}" == --leak-test ]]; then
    mode=--leak-test
    sim_args=(--pumpdown 20 --rise 2e-6 --interval 50)
fi

link=$scratch/Com1
"$build/tools/kelmor-gauge-sim" --no-stdin --link "$link" "${sim_args[@]}" >/dev/null &
sim_pid=$!
for ((i = 0; i < 100; i++)); do
    [[ -L "$link" ]] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.05
done
if [[ ! -L "$link" ]]; then
    echo "demo-screenshot: the gauge simulator did not start" >&2
    exit 1
fi

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$scratch/runtime}
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
KELMOR_COM1=$link "$build/tools/screenshots/kelmor-screenshots" "$root/docs" "$mode"
