#!/usr/bin/env bash
# Installs what is missing, builds and starts the monitor.
#   scripts/run.sh          against the gauge on the serial ports (Com1 = the first present)
#   scripts/run.sh --demo   against the gauge simulator, which plays the gauge on Com1;
#                           the data log goes to a folder of its own, named at the start
#
# Builds only the two programs, and only what changed since the last start.
# Further arguments go to the monitor. The environment may set:
#   KELMOR_SIM_ARGS     more options for the simulator, e.g. "--pumpdown 30 --crlf"
#   KELMOR_NO_BUILD=1   neither install nor build; run what KELMOR_BUILD_DIR holds
#   KELMOR_BUILD_DIR    the build folder (default build/)
#   KELMOR_DEMO_SMOKE=1 with --demo: the monitor offscreen, ended after 3 s; fails if it
#                       did not last that long (checks the wiring without a screen)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KELMOR_BUILD_DIR:-$root/build}

demo=0
if [[ "${1:-}" == "--demo" ]]; then
    demo=1
    shift
fi

if [[ "${KELMOR_NO_BUILD:-0}" != 1 ]]; then
    "$root/scripts/setup.sh"
    KELMOR_BUILD_TARGETS="monitor-kelmor kelmor-gauge-sim" "$root/scripts/build.sh" "$build"
fi
monitor_bin=$build/src/app/monitor-kelmor
if ((!demo)); then
    exec "$monitor_bin" "$@"
fi

sim_bin=$build/tools/kelmor-gauge-sim
for bin in "$monitor_bin" "$sim_bin"; do
    if [[ ! -x "$bin" ]]; then
        echo "demo: $bin is missing; build first" >&2
        exit 1
    fi
done
sim_args=()
read -r -a sim_args <<<"${KELMOR_SIM_ARGS:-}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kelmor-demo.XXXXXX")
link=$scratch/Com1
log_dir=
sim_pid=
monitor_pid=

stop() {
    local pid
    for pid in "$monitor_pid" "$sim_pid"; do
        [[ -n "$pid" ]] || continue
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf -- "$scratch"
    # The log stays for the operator to look at, unless no run wrote one.
    if [[ -n "$log_dir" ]]; then
        rmdir -- "$log_dir" 2>/dev/null || echo "demo: the data log stays in $log_dir"
    fi
}
trap stop EXIT
# A signal ends the script, and so, through the EXIT trap, both programs. The monitor
# runs as a background job so that the script is not held up waiting for it.
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

"$sim_bin" --no-stdin --link "$link" "${sim_args[@]}" >"$scratch/sim-path" &
sim_pid=$!
for ((i = 0; i < 100; i++)); do
    [[ -L "$link" ]] && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        sim_status=0
        wait "$sim_pid" || sim_status=$?
        sim_pid=
        echo "demo: the gauge simulator did not start (exit status $sim_status)" >&2
        exit 1
    fi
    sleep 0.05
done
if [[ ! -L "$link" ]]; then
    echo "demo: the gauge simulator made no terminal within 5 s" >&2
    exit 1
fi

export KELMOR_COM1=$link
# Simulated lines never go into the operator's real data log.
log_dir=$(mktemp -d "${TMPDIR:-/tmp}/kelmor-demo-log.XXXXXX")
export KELMOR_LOG=$log_dir/KelmorLog.txt
echo "demo: data log $KELMOR_LOG"
if [[ "${KELMOR_DEMO_SMOKE:-0}" == 1 ]]; then
    export QT_QPA_PLATFORM=offscreen
fi
"$monitor_bin" "$@" &
monitor_pid=$!
echo "demo: gauge simulator (pid $sim_pid) on $(readlink "$link"), Com1 = $link;" \
     "monitor pid $monitor_pid"

if [[ "${KELMOR_DEMO_SMOKE:-0}" == 1 ]]; then
    for ((i = 0; i < 30; i++)); do
        kill -0 "$monitor_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$monitor_pid" 2>/dev/null; then
        echo "demo: the monitor ran for 3 s"
        exit 0
    fi
    status=0
    wait "$monitor_pid" || status=$?
    monitor_pid=
    echo "demo: the monitor ended within 3 s (exit status $status)" >&2
    exit 1
fi

status=0
wait "$monitor_pid" || status=$?
monitor_pid=
exit "$status"
