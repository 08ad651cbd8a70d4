#!/usr/bin/env bash
# How fast the image viewer answers its zoom, pan and next-picture input: for each kind of
# step, the median of 20 of the time from sending the input to the end of the paint it
# causes (the driver's `timed` command), on a 4096 x 4096 picture and in a folder of 10 000
# pictures; two steps taken in turn are timed apart. Runs the real program under Wine on a
# private X server (the end-to-end harness).
#
#   bench/yif_viewer_zoom.sh build/win64/YorvelYIFReader.exe build/win64/tests/e2e/wdrive.exe
source "$(dirname "$0")/../tests/e2e/lib.sh"
e2e_init "$@"
APP_TITLE=YorvelYIFReader
STEPS=${STEPS:-20}
F=$E2E/files

# The viewer's command identifiers for its keys (yorvel_yif_win.cpp).
ZOOM_IN=100 ZOOM_OUT=101 ACTUAL=102 FIT=103 LEFT=104 RIGHT=105 NEXT=110

# A 4096 x 4096 picture of 3-trit pixels, raw: diagonal bands of all 27 colours.
python3 - "$F/big.yif" <<'PY'
import struct, sys
w = h = 4096
levels = [bytes((a, b, c)) for a in (0xFF, 0, 1) for b in (0xFF, 0, 1) for c in (0xFF, 0, 1)]
with open(sys.argv[1], "wb") as f:
    f.write(b"YIF1" + struct.pack("<II", w, h) + bytes((3, 0, 0, 0)))
    for y in range(h):
        f.write(b"".join(levels[(x + y) // 37 % 27] for x in range(w)))
PY

# median LABEL STEP...: STEPS steps of each STEP, taken in turn; the median of each STEP's
# times, and of all.
median() {
    local label=$1 n=$#
    shift
    wd timed "$APP_TITLE" $((STEPS * (n - 1))) "$@" >"$E2E/times" || fail "$label: no timing"
    printf '%-44s %s\n' "$label" "$(awk -v k=$((n - 1)) '
        function median(a, n,   i, j, t) {
            for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
            return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
        }
        /^median/ { all = $2; next }
        { s = NR % k; c[s]++; v[s, c[s]] = $1 }
        END {
            for (s = 1; s <= k; s++) {
                i = s % k; delete a
                for (j = 1; j <= c[i]; j++) a[j] = v[i, j]
                printf "%8.2f ms", median(a, c[i])
            }
            printf "   (all %s ms)", all
        }' "$E2E/times")"
}

app_start "$(winpath "$F/big.yif")"
read -r CW CH < <(client_size)
CX=$((CW / 2)) CY=$((40 + (CH - 40) / 2))
echo "client area ${CW}x${CH}, picture 4096x4096, $STEPS steps each"
median "fit view (the whole picture), then 12.5 %" "cmd:$FIT" "cmd:$ZOOM_OUT"
wd press "$APP_TITLE" $ZOOM_OUT
median "wheel zoom 12.5 % <-> 15.7 % (whole picture)" "wheel:$CX:$CY:120" "wheel:$CX:$CY:-120"
wd press "$APP_TITLE" $ACTUAL
median "wheel zoom 100 % <-> 79 %" "wheel:$CX:$CY:-120" "wheel:$CX:$CY:120"
median "wheel zoom 100 % <-> 126 %" "wheel:$CX:$CY:120" "wheel:$CX:$CY:-120"
median "pan at 100 % (right, left)" "cmd:$RIGHT" "cmd:$LEFT"
for _ in 1 2 3 4 5 6; do wd press "$APP_TITLE" $ZOOM_IN; done
median "pan at 400 % (right, left)" "cmd:$RIGHT" "cmd:$LEFT"
median "wheel zoom 400 % <-> 504 %" "wheel:$CX:$CY:120" "wheel:$CX:$CY:-120"
app_close

# A folder of 10 000 small pictures: each step lists it anew.
mkdir -p "$F/many"
python3 - "$F/many" <<'PY'
import struct, sys
data = b"YIF1" + struct.pack("<II", 2, 2) + bytes((3, 0, 0, 0)) + bytes(12)
for i in range(10000):
    open("%s/%d.yif" % (sys.argv[1], i), "wb").write(data)
PY
app_start "$(winpath "$F/many/5000.yif")"
median "next picture in a folder of 10 000" "cmd:$NEXT"
app_close
finish
