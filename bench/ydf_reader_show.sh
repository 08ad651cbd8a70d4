#!/usr/bin/env bash
# How long the document reader takes to show a document: from starting it with a path to
# the view fully shown (loaded, rendered, painted, idle), for documents of growing section
# counts. Runs the real program under Wine on a private X server (the end-to-end harness).
#
#   bench/ydf_reader_show.sh build/win64/YorvelYDFReader.exe build/win64/tests/e2e/wdrive.exe
#
# Each time is the best of RUNS starts; "net" takes off the time an empty document needs
# (Wine's start and the driver's calls), and per-section divides that by the count.
source "$(dirname "$0")/../tests/e2e/lib.sh"
e2e_init "$@"
APP_TITLE=YorvelYDFReader
RUNS=${RUNS:-3}
F=$E2E/files

# make_doc NAME COUNT complete|kicker
make_doc() {
    python3 - "$F/$1" "$2" "$3" <<'PY'
import sys
path, count, kind = sys.argv[1], int(sys.argv[2]), sys.argv[3]
with open(path, "w") as f:
    f.write('{"@ydf": "1.0", "kind": "brochure", "id": "B-1", "title": "Timing",\n "sections": [\n')
    for i in range(count):
        if kind == "kicker":
            f.write('{"kicker": "Part %d"},\n' % i)
        else:
            f.write('{"kicker": "Part %d", "title": "Title %d", "paragraph": "A paragraph of ordinary '
                    'length to read.", "list": ["first item", "second item", "third item"]},\n' % (i, i))
    f.write('], "sig": "0123456789abcdef0123"}\n')
PY
}

# shown NAME: seconds from start to fully shown, best of RUNS.
shown() {
    local best="" i t0 t1 t
    for ((i = 0; i < RUNS; i++)); do
        t0=$(date +%s.%N)
        app_start "$(winpath "$F/$1")" >/dev/null
        wd find "YorvelYDFReader -- $1" 1000 >/dev/null || fail "$1 was not shown"
        t1=$(date +%s.%N)
        app_close
        t=$(echo "$t1 - $t0" | bc)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" -eq 1 ]; then best=$t; fi
    done
    echo "$best"
}

: >"$F/empty.ydf"
base=$(shown empty.ydf)
printf '%-10s %8s %10s %8s %14s\n' kind sections shown/s net/s per-section/ms
printf '%-10s %8s %10.2f\n' empty 0 "$base"
for kind in kicker complete; do
    for n in 500 1000 2000 4000 20000; do
        make_doc "$kind-$n.ydf" "$n" "$kind"
        t=$(shown "$kind-$n.ydf")
        net=$(echo "$t - $base" | bc)
        printf '%-10s %8d %10.2f %8.2f %14.4f\n' "$kind" "$n" "$t" "$net" "$(echo "scale=6; 1000 * $net / $n" | bc)"
    done
done
finish
