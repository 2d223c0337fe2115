#!/usr/bin/env bash
# scripts/run.sh --demo against an existing build, offscreen: the simulator and the monitor
# are wired together, and whichever way the demo ends, nothing of it stays behind.
#   tst_rundemo.sh RUN_SH BUILD_DIR
set -uo pipefail
run_sh=$1
export KELMOR_BUILD_DIR=$2
export KELMOR_NO_BUILD=1
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
# The demo's scratch folders go here, so that leftovers are easy to see.
export TMPDIR=$work/tmp
mkdir "$TMPDIR"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work/xdg}
mkdir -p -m 700 "$XDG_RUNTIME_DIR"

passed=0
failed=0
fail() {
    echo "FAIL: $current: $*"
    failed=$((failed + 1))
    case_failed=1
}

# The values of the "demo:" line of an output file: sim_pid, pts, link, monitor_pid.
parse_demo_line() {
    local line
    line=$(grep -m1 '^demo: gauge simulator' "$1") || return 1
    sim_pid=$(sed -E 's/.*\(pid ([0-9]+)\).*/\1/' <<<"$line")
    pts=$(sed -E 's/.* on ([^,]+), Com1.*/\1/' <<<"$line")
    link=$(sed -E 's/.*Com1 = ([^;]+);.*/\1/' <<<"$line")
    monitor_pid=$(sed -E 's/.*monitor pid ([0-9]+)$/\1/' <<<"$line")
    log=$(sed -n 's/^demo: data log //p' "$1" | head -n1)
}

# True while pid is alive and runs the named program (a pid can be reused later).
runs() {
    [[ -r /proc/$1/cmdline ]] && tr '\0' ' ' </proc/"$1"/cmdline | grep -q -- "$2"
}

check_cleaned_up() {
    if runs "$sim_pid" kelmor-gauge-sim; then
        fail "the simulator ($sim_pid) still runs"
        kill "$sim_pid"
    fi
    if runs "$monitor_pid" monitor-kelmor; then
        fail "the monitor ($monitor_pid) still runs"
        kill "$monitor_pid"
    fi
    if [[ -e "$link" || -L "$link" ]]; then fail "the link $link is still there"; fi
    if [[ -e "$(dirname "$link")" ]]; then fail "the folder $(dirname "$link") is still there"; fi
}

finish_case() {
    if ((case_failed)); then
        echo "--- output of $current:"
        cat "$out"
    else
        echo "PASS: $current"
        passed=$((passed + 1))
    fi
}

start_case() {
    current=$1
    case_failed=0
    out=$work/$current.out
    sim_pid=0 monitor_pid=0 link=/nonexistent/Com1 pts= log=
}

# Starts the demo as a job of its own, as an interactive shell would: in a process group
# of its own and with SIGINT not ignored. Sets demo_pid.
start_demo() {
    : >"$out"
    set -m
    bash "$run_sh" --demo >"$out" 2>&1 &
    demo_pid=$!
    set +m
    for ((i = 0; i < 100; i++)); do
        parse_demo_line "$out" && return 0
        kill -0 "$demo_pid" 2>/dev/null || break
        sleep 0.1
    done
    fail "no demo line"
    return 1
}

# Waits up to 10 s for the demo to end; sets demo_status.
wait_demo() {
    for ((i = 0; i < 100; i++)); do
        kill -0 "$demo_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$demo_pid" 2>/dev/null; then
        fail "the demo did not end"
        kill -KILL -- -"$demo_pid" 2>/dev/null
    fi
    demo_status=0
    wait "$demo_pid" || demo_status=$?
}

# While the demo runs: the link leads to the simulator's terminal, the simulator got the
# extra options, and the monitor was started with Com1 at the link.
check_running() {
    if ! runs "$sim_pid" kelmor-gauge-sim; then fail "the simulator does not run"; fi
    if ! runs "$monitor_pid" monitor-kelmor; then fail "the monitor does not run"; fi
    [[ -L "$link" && "$(readlink "$link")" == "$pts" && -c "$pts" ]] ||
        fail "the link $link does not lead to the terminal $pts"
    tr '\0' ' ' </proc/"$sim_pid"/cmdline | grep -q -- '--interval 50' ||
        fail "KELMOR_SIM_ARGS did not reach the simulator"
    tr '\0' '\n' </proc/"$monitor_pid"/environ | grep -qx "KELMOR_COM1=$link" ||
        fail "the monitor's KELMOR_COM1 is not $link"
    # The simulated lines go to a log of the demo's own, never the operator's.
    [[ "$log" == "$TMPDIR"/kelmor-demo-log.*/KelmorLog.txt && -d "$(dirname "$log")" ]] ||
        fail "the demo named no log folder of its own: '$log'"
    tr '\0' '\n' </proc/"$monitor_pid"/environ | grep -qx "KELMOR_LOG=$log" ||
        fail "the monitor's KELMOR_LOG is not $log"
}

export KELMOR_SIM_ARGS="--interval 50 --pumpdown 5"

start_case smoke
KELMOR_DEMO_SMOKE=1 bash "$run_sh" --demo >"$out" 2>&1
status=$?
[[ $status == 0 ]] || fail "exit status $status"
grep -q 'the monitor ran for 3 s' "$out" || fail "no word that the monitor ran"
parse_demo_line "$out" || fail "no demo line"
check_cleaned_up
# No run was started, so there is no log to keep.
[[ -n "$log" && ! -e "$(dirname "$log")" ]] || fail "the empty log folder of '$log' stayed"
finish_case

for signal in INT TERM HUP; do
    start_case "$signal"
    if start_demo; then
        check_running
        # As a monitoring run of the monitor would, before the demo ends.
        [[ -n "$log" ]] && echo '"run"' >"$log"
        if [[ $signal == INT ]]; then
            # Ctrl-C reaches the whole foreground process group.
            kill -INT -- -"$demo_pid"
        else
            kill -"$signal" "$demo_pid"
        fi
        wait_demo
        expected=$((128 + $(kill -l "$signal")))
        [[ -f "$log" ]] || fail "the demo's log $log is gone"
        grep -q "data log stays in $(dirname "$log")" "$out" ||
            fail "the demo did not say where its log stays"
        rm -rf -- "$(dirname "$log")"
        [[ $demo_status == "$expected" ]] || fail "exit status $demo_status, not $expected"
        check_cleaned_up
    fi
    finish_case
done

start_case monitor_ends
# The monitor ending by itself ends the demo with the monitor's exit status. SIGTERM
# would end it cleanly with 0; SIGKILL leaves a status of its own to pass on.
if start_demo; then
    kill -KILL "$monitor_pid"
    wait_demo
    [[ $demo_status == 137 ]] || fail "exit status $demo_status, not the monitor's 137"
    check_cleaned_up
fi
finish_case

start_case simulator_refuses
KELMOR_SIM_ARGS="--interval 0" bash "$run_sh" --demo >"$out" 2>&1
status=$?
[[ $status == 1 ]] || fail "exit status $status, not 1"
grep -q 'did not start' "$out" || fail "no word that the simulator did not start"
grep -q '^demo: gauge simulator' "$out" && fail "the monitor was started"
leftovers=$(ls -A "$TMPDIR")
[[ -z "$leftovers" ]] || fail "left behind in $TMPDIR: $leftovers"
finish_case

echo "$passed passed, $failed failed"
((failed == 0))
