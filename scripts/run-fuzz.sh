#!/usr/bin/env bash
# Runs every libFuzzer target of build/fuzz for FUZZ_SECONDS each.
#   short runs (under 300 s, as in CI): all targets at the same time, sharing the cores;
#   long runs: one target after another, each with a worker per core (-fork).
# New inputs go to build/fuzz/corpus/<format> (the committed seeds stay as they are); a
# finding is saved as build/fuzz/findings/<format>-* and fails the run.
set -u
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
mkdir -p build/fuzz/findings

fuzz() {  # fuzz FORMAT [OPTIONS...]
    local format=$1
    shift
    mkdir -p "build/fuzz/corpus/$format"
    # Inputs of up to 2 KiB reach every rule of the formats and keep executions fast.
    "build/fuzz/fuzz/fuzz_$format" "$@" -max_total_time="$seconds" -max_len=2048 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="build/fuzz/findings/$format-" \
        "build/fuzz/corpus/$format" "fuzz/corpus/$format" >"build/fuzz/$format.log" 2>&1
    echo $? >"build/fuzz/$format.rc"
}

formats=()
for target in build/fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] && formats+=("${target##*/fuzz_}")
done
if [ "$seconds" -lt 300 ]; then
    echo "fuzzing ${formats[*]} for ${seconds}s, all at once"
    for format in "${formats[@]}"; do fuzz "$format" & done
    wait
else
    for format in "${formats[@]}"; do
        echo "fuzzing $format for ${seconds}s with $(nproc) workers"
        fuzz "$format" -fork="$(nproc)"
    done
fi

status=0
for format in "${formats[@]}"; do
    log=build/fuzz/$format.log
    # A single process prints its count in the final stats; -fork prints "#N:" lines.
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    [ -n "$execs" ] || execs=$(sed -n 's/^#\([0-9]*\):.*/\1/p' "$log" | tail -n 1)
    echo "fuzz_$format: ${execs:-?} executions"
    if [ "$(cat "build/fuzz/$format.rc")" != 0 ] || ls "build/fuzz/findings/$format-"* >/dev/null 2>&1; then
        echo "   FINDING: see $log and build/fuzz/findings/"
        grep -m 5 -E 'ERROR|runtime error|SUMMARY' "$log" | sed 's/^/   /'
        status=1
    fi
done
exit $status
