#!/usr/bin/env bash
# Runs every libFuzzer target of build/fuzz for FUZZ_SECONDS each, one after the other.
# New inputs go to build/fuzz/corpus/<format> (the committed seeds stay as they are);
# a finding is saved as build/fuzz/findings/<format>-* and fails the run.
set -u
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
status=0
for target in build/fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    format=${target##*/fuzz_}
    mkdir -p "build/fuzz/corpus/$format" build/fuzz/findings
    echo "== fuzz_$format for ${seconds}s"
    "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="build/fuzz/findings/$format-" \
        "build/fuzz/corpus/$format" "fuzz/corpus/$format" >"build/fuzz/$format.log" 2>&1
    rc=$?
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "build/fuzz/$format.log" | sed 's/^/   /'
    if [ $rc -ne 0 ]; then
        echo "   FINDING (exit $rc): see build/fuzz/$format.log and build/fuzz/findings/"
        grep -m 5 -E 'ERROR|runtime error|SUMMARY' "build/fuzz/$format.log" | sed 's/^/   /'
        status=1
    fi
done
exit $status
