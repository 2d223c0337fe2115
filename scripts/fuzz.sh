#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, replays their seed corpora, then fuzzes each
# target for the given number of seconds.
#   scripts/fuzz.sh [SECONDS]      (default 60 per target)
# New inputs go to build-fuzz/fuzz-work/<target>/corpus, findings (crash-*, timeout-*,
# oom-*, leak-*) to build-fuzz/fuzz-work/<target>/; the seed corpora in tests/fuzz/corpus
# are only read. Exits non-zero when any target has a finding.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 1)); then
    echo "usage: $0 [SECONDS]   (seconds of fuzzing per target, default 60)" >&2
    exit 2
fi

export KELMOR_WITH_FUZZ=1
"$root/scripts/setup.sh"

dir=$root/build-fuzz
# -O1 without NDEBUG: fast enough to fuzz, and the code's own assertions stay armed.
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$dir" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
    -DKELMOR_FUZZ=ON -DKELMOR_SANITIZE=ON >/dev/null
cmake --build "$dir" --target kelmor_fuzzers -j"$(nproc)"

fuzzdir=$root/tests/fuzz
work=$dir/fuzz-work
targets=(fuzz_receive fuzz_statusword fuzz_record fuzz_settings fuzz_simcommand fuzz_logreader)
declare -A max_len=([fuzz_receive]=4096 [fuzz_statusword]=256 [fuzz_record]=2048
                    [fuzz_settings]=256 [fuzz_simcommand]=1024
                    [fuzz_logreader]=8192)

# Executions from libFuzzer's final statistics, or from its "#N DONE" line.
executions() {
    local n
    n=$(sed -n 's/^stat::number_of_executed_units: *\([0-9][0-9]*\).*/\1/p' "$1" | tail -n 1)
    [[ -n $n ]] || n=$(sed -n 's/^#\([0-9][0-9]*\)[[:space:]]*DONE.*/\1/p' "$1" | tail -n 1)
    echo "${n:-?}"
}

findings_in() {
    find "$1" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' \
        -o -name 'leak-*' \) | wc -l
}

# One target: replay its seeds, then fuzz. Writes its summary line to $work/$t/summary
# and fails when anything was found.
run_target() {
    local t=$1 failed=0
    bin=$dir/tests/fuzz/$t
    seeds=$fuzzdir/corpus/$t
    mkdir -p "$work/$t/corpus"
    rm -f "$work/$t"/crash-* "$work/$t"/timeout-* "$work/$t"/oom-* "$work/$t"/leak-*
    common=(-max_len="${max_len[$t]}" -timeout=20 -rss_limit_mb=2048
            -artifact_prefix="$work/$t/" -print_final_stats=1)

    echo "== $t: replaying $(find "$seeds" -type f | wc -l) seeds, then fuzzing for $seconds s"
    replay_status=ok
    if ! "$bin" "${common[@]}" -runs=0 "$seeds" >"$work/$t/replay.log" 2>&1; then
        replay_status=FAILED
        failed=1
        grep -E 'invariant violated|ERROR|SUMMARY' "$work/$t/replay.log" | head -n 5 || true
    fi

    fuzz_status=ok
    # The scratch corpus comes first: libFuzzer writes new inputs into the first folder.
    if ! "$bin" "${common[@]}" -max_total_time="$seconds" -dict="$fuzzdir/kelmor.dict" \
        "$work/$t/corpus" "$seeds" >"$work/$t/fuzz.log" 2>&1; then
        fuzz_status=FAILED
    fi
    found=$(findings_in "$work/$t")
    if [[ $fuzz_status != ok || $found -gt 0 ]]; then
        fuzz_status="FAILED ($found finding(s) in $work/$t)"
        failed=1
        grep -E 'invariant violated|ERROR|SUMMARY|Test unit written' "$work/$t/fuzz.log" | head -n 5 || true
    fi
    printf '%-16s replay %-6s executions %12s  fuzzing %s\n' \
        "$t" "$replay_status" "$(executions "$work/$t/fuzz.log")" "$fuzz_status" >"$work/$t/summary"
    return "$failed"
}

# The targets share the machine's cores, one each.
failed=0
jobs_max=$(nproc)
for t in "${targets[@]}"; do
    while (($(jobs -rp | wc -l) >= jobs_max)); do
        wait -n || failed=1
    done
    run_target "$t" &
done
while (($(jobs -rp | wc -l) > 0)); do
    wait -n || failed=1
done
summary=()
for t in "${targets[@]}"; do
    if [[ -f $work/$t/summary ]]; then
        summary+=("$(cat "$work/$t/summary")")
        grep -q 'FAILED' "$work/$t/summary" && failed=1
    else
        summary+=("$t: no result")
        failed=1
    fi
done

echo
echo "== summary ($seconds s per target)"
printf '%s\n' "${summary[@]}"
exit "$failed"
