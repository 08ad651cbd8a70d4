#!/usr/bin/env bash
# Runs every suite: the native tree, then the Windows tree under Wine. Both run to the
# end even when the first fails; the last line is the combined count.
set -u
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
log=$(mktemp)
trap 'rm -f "$log"' EXIT

status=0
for tree in build/native build/win64; do
    echo "== ctest in $tree"
    (cd "$tree" && ctest -j "$jobs" --output-on-failure) 2>&1 | tee -a "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
done

# ctest prints "N% tests passed, F tests failed out of T" once per tree.
read -r total failed < <(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' "$log" |
    awk '{t += $1; f += $2} END {print t + 0, f + 0}')
echo
echo "$((total - failed)) passed, $failed failed"
exit $status
