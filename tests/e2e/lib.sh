# End-to-end tests of the Windows programs: the real program under Wine, on a private
# X server, driven by wdrive.exe (wdrive.cpp). Sourced by one script per program:
#
#   source "$(dirname "$0")/lib.sh"
#   e2e_init "$@"                  # PROGRAM.exe WDRIVE.exe, as ctest passes them
#   APP_TITLE=YorvelXYZ            # an ASCII part of the main window's title
#   e2e_case "starts with a file"  # names the failures that follow
#   app_start "$(winpath "$E2E/files/a.xyz")"
#   shoot s1; expect_pixel "background" s1 5 60 "6 6 12"
#   wd cmd "$APP_TITLE" 1; wd open "$(winpath "$E2E/files/b.xyz")"
#   app_close; check "exit code" "$APP_RC" 0
#   finish
#
# One Xvfb and one wineserver serve all cases of a script. When the script ends, whatever
# the outcome, `wineserver -k` ends every Wine process of the prefix and Xvfb is stopped
# by its process id.
# The prefix is shared by every end-to-end script, so ctest runs them one at a time.
# Set E2E_KEEP=1 to keep the scratch folder (it is always kept after a failure).
set -u
E2E_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$E2E_REPO/tests/checks.sh"
export PYTHONDONTWRITEBYTECODE=1  # the picture helper (ppm.py) leaves no cache in the tree

E2E=""          # scratch folder of this run: test files, screenshots, program output
APP_EXE=""      # the program under test
WDRIVE=""       # the driver
APP_TITLE=""    # what finds the main window (a substring of its title)
APP_PID=""      # the running program (its timeout wrapper), empty when none runs
APP_RC=""       # exit code of the last program that ended
APP_RETRIES=0   # starts tried again because the window did not show up (see app_missing)
XVFB_PID=""
HOLD_PID=""
E2E_T0=$SECONDS

# Every Wine or X step is bounded, so one stuck dialog cannot eat the whole run. The
# bounds are generous: a step ends as soon as it is done, and a busy machine (CI shares
# two cores) can make a step take many times its usual time.
E2E_STEP_TIMEOUT=${E2E_STEP_TIMEOUT:-30}

e2e_log() { echo "[e2e $((SECONDS - E2E_T0))s] $*"; }

# poll_until SECONDS COMMAND...: runs COMMAND every 50 ms until it succeeds (status 0) or
# SECONDS have passed (status 1). What a test waits for, it polls for: no fixed sleeps.
poll_until() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.05
    done
}

# Failures that follow name the case.
e2e_case() {
    check_context=$1
    e2e_log "case: $1"
}

# The Windows name of a Unix path (drive Z: is the Unix root in a fresh prefix).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

e2e_init() {  # e2e_init PROGRAM.exe WDRIVE.exe
    [ $# -eq 2 ] || { echo "usage: $0 PROGRAM.exe WDRIVE.exe"; exit 2; }
    APP_EXE=$(realpath "$1")
    WDRIVE=$(realpath "$2")
    mkdir -p "$E2E_REPO/build/e2e"
    E2E=$(mktemp -d "$E2E_REPO/build/e2e/$(basename "$0" .sh).XXXX")
    mkdir -p "$E2E/files" "$E2E/cwd"
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM HUP

    # A prefix of its own, apart from the unit tests' (which run without a display and
    # at the same time): a new copy of the project's one prefix at each script's start.
    export YORVEL_WINEPREFIX=${YORVEL_E2E_WINEPREFIX:-$E2E_REPO/build/wine/e2e}
    source "$E2E_REPO/scripts/wine-env.sh"
    timeout 300 bash -c 'source "$1/scripts/wine-env.sh" && yorvel_wine_prefix --fresh' _ "$E2E_REPO" ||
        { echo "could not make the Wine prefix"; exit 1; }

    # Xvfb picks a free display and writes its number to the descriptor we give it.
    local fd
    exec {fd}>"$E2E/display"
    Xvfb -displayfd "$fd" -screen 0 1280x1024x24 -nolisten tcp >"$E2E/xvfb.log" 2>&1 &
    XVFB_PID=$!
    exec {fd}>&-
    local end=$((SECONDS + E2E_STEP_TIMEOUT))
    until [ -s "$E2E/display" ]; do
        [ $SECONDS -lt $end ] && kill -0 "$XVFB_PID" 2>/dev/null ||
            { echo "Xvfb did not start"; cat "$E2E/xvfb.log"; exit 1; }
        sleep 0.05
    done
    export DISPLAY=:$(tr -d '\n' <"$E2E/display")

    # Keeps the wineserver and Wine's services up between programs (faster starts).
    wine "$WDRIVE" hold >/dev/null 2>&1 &
    HOLD_PID=$!
    e2e_log "ready: DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX scratch=$E2E"
}

e2e_cleanup() {
    local rc=$?
    [ "$failures" -gt 0 ] && rc=1
    [ -n "${WINEPREFIX:-}" ] && yorvel_wine_end
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
    fi
    # The server took the holder and any program left running down with it.
    [ -n "$HOLD_PID" ] && { kill "$HOLD_PID" 2>/dev/null; wait "$HOLD_PID" 2>/dev/null; }
    app_stop
    [ "$APP_RETRIES" -gt 0 ] && e2e_log "starts tried again because no window showed up: $APP_RETRIES"
    if [ "$rc" -eq 0 ] && [ -z "${E2E_KEEP:-}" ]; then
        rm -rf "$E2E"
    elif [ -n "$E2E" ]; then
        echo "scratch folder kept: $E2E"
    fi
    e2e_log "done"
    exit "$rc"
}

# wd ARGS...: runs the driver (see wdrive.cpp for its commands). The driver ends with 0 to
# 3; a command that finds a window (find, client, probe, settle, and gettext of a title,
# which is never empty in these programs) prints its answer when it succeeds and says
# "no window" when it ends with 1. A run that ends otherwise was not
# carried through by Wine: right after a program started, a run has now and then (one in
# 180 here) ended at once with 1, printing nothing and saying nothing. A command that
# only looks is then run once more, so that the check which follows is about the program.
# Commands that act (cmd, press, keys, ...) run only once.
wd() {
    case $1 in
        find | client | probe | settle | gettext | children | list | procs | focus | view | \
            charpos | classicon | resources | dlgtext | items | ping) ;;
        *)
            timeout "$E2E_STEP_TIMEOUT" wine "$WDRIVE" "$@"
            return
            ;;
    esac
    local out err rc try
    out=$(mktemp "$E2E/wd.XXXX")
    err=$out.err
    for try in 1 2; do
        timeout "$E2E_STEP_TIMEOUT" wine "$WDRIVE" "$@" >"$out" 2>"$err"
        rc=$?
        wd_lost "$1" "$rc" "$out" "$err" "$#" || break
        [ "$try" -eq 1 ] && e2e_log "wdrive $1 ended with $rc, printing $(wc -c <"$out") bytes; once more" >&2
    done
    cat "$err" >&2
    cat "$out"
    rm -f "$out" "$err"
    return "$rc"
}

# wd_lost COMMAND RC OUT ERR ARGC: whether a driver run ended as the driver never ends (124
# is the step timeout, a real answer).
wd_lost() {
    [ "$2" -gt 3 ] && [ "$2" -ne 124 ] && return 0
    [[ $1 == @(find|client|probe|settle) ]] || [[ $1 == gettext && $5 -eq 2 ]] || return 1
    case $2 in
        0) [ "$1" != settle ] && [ ! -s "$3" ] ;;
        1) [ ! -s "$4" ] ;;
        *) return 1 ;;
    esac
}

# app_start [ARG]: starts the program in an empty folder of its own with the given command
# line, waits for its window and its first paint. Output goes to $E2E/app.out.
app_start() {
    [ -n "$APP_PID" ] && app_stop
    local try
    for try in 1 2; do
        app_launch "$@"
        if wd find "$APP_TITLE" 20000 >/dev/null; then
            wd settle "$APP_TITLE"
            return 0
        fi
        app_missing "$try" || return 1
    done
}

# app_launch [ARG]: starts the program in the background (see app_start). Wine's own
# errors go to $E2E/app.out with the program's output, for app_missing to show.
app_launch() {
    (cd "$E2E/cwd" && WINEDEBUG=-all,err+all exec timeout 900 wine "$APP_EXE" "$@") \
        >"$E2E/app.out" 2>&1 &
    APP_PID=$!
}

# app_missing TRY: the program's window never showed up. Says what became of the program
# (still running, with the windows there are, or ended, with its exit code) and the end
# of what it and Wine printed, then ends it. After a first try it returns 0 so that the
# caller starts it once more: a start under Wine has been seen to stall (once, in several
# hundred), with the same file opening at once in every rerun. A second miss fails.
app_missing() {
    e2e_log "the window \"$APP_TITLE\" did not show up (try $1)"
    if kill -0 "$APP_PID" 2>/dev/null; then
        e2e_log "the program is still running; the windows there are:"
        wd list 2>&1 | sed 's/^/    /'
    else
        wait "$APP_PID"
        e2e_log "the program ended with exit code $?"
        APP_PID=""
    fi
    e2e_log "its output:"
    tail -n 20 "$E2E/app.out" | sed 's/^/    /'
    app_stop
    if [ "$1" -ge 2 ]; then
        fail "the window \"$APP_TITLE\" did not show up"
        return 1
    fi
    APP_RETRIES=$((APP_RETRIES + 1))
    return 0
}

# app_wait_exit: waits (bounded) for the program to end; sets APP_RC.
app_wait_exit() {
    if ! timeout "$E2E_STEP_TIMEOUT" tail --pid="$APP_PID" -f /dev/null; then
        fail "the program did not end"
        app_stop
        return 1
    fi
    wait "$APP_PID"
    APP_RC=$?
    APP_PID=""
}

# app_close: posts WM_CLOSE to the main window and waits for the program to end; sets
# APP_RC. Without a window manager each closed top-level window costs Wine 2 s.
app_close() {
    wd close "$APP_TITLE" || { fail "no window to close"; app_stop; return 1; }
    app_wait_exit
}

# app_stop: ends a program left running by a failed case (its timeout wrapper passes
# the signal on), so the next case starts clean.
app_stop() {
    [ -z "$APP_PID" ] && return 0
    kill "$APP_PID" 2>/dev/null
    wait "$APP_PID" 2>/dev/null
    APP_PID=""
}

# grab NAME X Y W H: that rectangle of the screen as $E2E/NAME.ppm (binary PPM, 8 bits).
grab() {
    timeout "$E2E_STEP_TIMEOUT" /usr/bin/import -silent -window root \
        -crop "$4x$5+$2+$3" +repage -depth 8 "ppm:$E2E/$1.ppm"
}

# shoot NAME: the main window's client area, as $E2E/NAME.ppm, once the picture holds
# still. Wine hands a window's paint to the X server when the program next waits for
# input, which may come just after the driver's settle has had its answer: so shots are
# taken, with a settle between, until two agree.
shoot() {
    local x y w h try
    read -r x y w h < <(wd client "$APP_TITLE") || { fail "no window to shoot"; return 1; }
    grab "$1" "$x" "$y" "$w" "$h" || return 1
    for try in 1 2 3 4 5; do
        wd settle "$APP_TITLE"
        grab "$1.next" "$x" "$y" "$w" "$h" || return 1
        cmp -s "$E2E/$1.ppm" "$E2E/$1.next.ppm" && { rm -f "$E2E/$1.next.ppm"; return 0; }
        mv "$E2E/$1.next.ppm" "$E2E/$1.ppm"
    done
    fail "the window's picture kept changing ($1)"
}

# shot_size NAME: "W H" of a screenshot or reference picture.
shot_size() { sed -n 2p "$E2E/$1.ppm"; }

# pixel NAME X Y: "R G B" of one pixel of a picture taken by shoot or ref_text.
pixel() {
    local w h header
    read -r w h < <(shot_size "$1")
    header=$(head -n 3 "$E2E/$1.ppm" | wc -c)
    od -An -tu1 -v -j $((header + ($3 * w + $2) * 3)) -N 3 "$E2E/$1.ppm" | xargs
}

expect_pixel() {  # expect_pixel DESCRIPTION NAME X Y "R G B"
    check "$1 (pixel $3,$4)" "$(pixel "$2" "$3" "$4")" "$5"
}

# ref_text NAME W H LEFT TOP RIGHT BOTTOM TEXTRGB BGRGB FLAGS TEXT: the text as the
# program's paint handler draws it (DrawTextA, default font), as $E2E/NAME.ppm.
ref_text() {
    local name=$1
    shift
    wd drawtext "$(winpath "$E2E/$name.ppm")" "$@"
}

# differing_pixels A B X Y W H: how many pixels of that rectangle differ between two
# pictures (0 when identical).
differing_pixels() {
    local geometry="$5x$6+$3+$4"
    timeout "$E2E_STEP_TIMEOUT" /usr/bin/compare -metric AE \
        "$E2E/$1.ppm[$geometry]" "$E2E/$2.ppm[$geometry]" null: 2>&1 >/dev/null
}

expect_same_region() {  # expect_same_region DESCRIPTION A B X Y W H
    check "$1" "$(differing_pixels "$2" "$3" "$4" "$5" "$6" "$7")" 0
}

# client_size: "W H" of the main window's client area.
client_size() { wd client "$APP_TITLE" | awk '{print $3, $4}'; }

# open_file PATH: the program's Open button (command 1), then the Open dialog confirmed
# with PATH.
open_file() {
    wd cmd "$APP_TITLE" 1 && wd open "$(winpath "$1")" || fail "the Open dialog did not take $1"
}

# expect_closes_cleanly: closes the main window; the program ends with 0, leaving no
# process behind.
expect_closes_cleanly() {
    app_close
    check "exit code" "$APP_RC" 0
    check "no process left" "$(wd procs "$(basename "$APP_EXE")")" 0
}

# tree_state DIR...: every file below the folders with its size and modification time,
# to show that nothing was written.
tree_state() { find "$@" -printf '%p %s %T@\n' | sort; }

# click_client X Y: a real mouse click at client coordinates of the main window.
click_client() {
    local x y w h
    read -r x y w h < <(wd client "$APP_TITLE") || { fail "no window to click"; return 1; }
    timeout "$E2E_STEP_TIMEOUT" xdotool mousemove $((x + $1)) $((y + $2)) click 1
}

# count_other_pixels SHOT "R G B" X Y W H [EX EY EW EH]: how many pixels of the
# rectangle X Y W H are not of that colour, leaving out the rectangle EX EY EW EH.
count_other_pixels() {
    PYTHONPATH=$E2E_REPO/tests/e2e python3 - "$E2E/$1.ppm" "$2" "${@:3}" <<'PY'
import sys, ppm
w, h, pixels = ppm.read(sys.argv[1])
colour = bytes(int(v) for v in sys.argv[2].split())
x0, y0, rw, rh = (int(v) for v in sys.argv[3:7])
ex = [int(v) for v in sys.argv[7:11]] or [0, 0, 0, 0]
count = 0
for y in range(y0, y0 + rh):
    row = pixels[y * w * 3: (y + 1) * w * 3]
    for x in range(x0, x0 + rw):
        if ex[0] <= x < ex[0] + ex[2] and ex[1] <= y < ex[1] + ex[3]: continue
        if row[3 * x:3 * x + 3] != colour: count += 1
print(count)
PY
}

# expect_resources: the program file carries its icon, every image of it loading at its
# own size, and an application manifest that is well-formed XML asking for common
# controls 6, GDI scaling without DPI awareness, and Windows 10 and 11.
expect_resources() {
    wd resources "$(winpath "$APP_EXE")" >"$E2E/resources.txt" || { fail "no resources read"; return; }
    check "icon images, each loading at its size" "$(sed -n 's/^icon //p' "$E2E/resources.txt" | xargs)" \
        "16 20 24 32 40 48 64 256"
    sed -n '/^<?xml/,$p' "$E2E/resources.txt" >"$E2E/manifest.xml"
    check "manifest" "$(python3 - "$E2E/manifest.xml" <<'PY'
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
for e in root.iter():
    tag = e.tag.split("}")[1]
    if tag == "assemblyIdentity" and e.get("name") == "Microsoft.Windows.Common-Controls":
        print("common controls", e.get("version"))
    elif tag in ("dpiAware", "gdiScaling"):
        print(tag, e.text)
    elif tag == "supportedOS":
        print("supported OS", e.get("Id"))
PY
)" "common controls 6.0.0.0
supported OS {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}
dpiAware false
gdiScaling true"
}

# expect_own_icon: the window shows the program's own icon. The icon the desktop is given
# for the window (_NET_WM_ICON, which Wine fills from the icons a program sets on its
# window) holds the 32 x 32 image of the program's .ico, pixel for pixel; the window's
# class keeps no icon.
expect_own_icon() {
    local wid
    wid=$(xdotool search --name "$APP_TITLE" 2>/dev/null | head -n 1)
    [ -n "$wid" ] || { fail "no X window to read the icon of"; return; }
    xprop -id "$wid" -notype -f _NET_WM_ICON 32c _NET_WM_ICON >"$E2E/xicon.txt"
    check "the window's 32 x 32 icon is the program's" "$(python3 - "$E2E/xicon.txt" "${APP_EXE%.exe}.ico" <<'PY'
import struct, sys
values = [int(v) for v in open(sys.argv[1]).read().split("=", 1)[1].replace(",", " ").split()]
shown, i = {}, 0
while i + 2 <= len(values):
    w, h = values[i], values[i + 1]
    shown[w] = values[i + 2:i + 2 + w * h]
    i += 2 + w * h
ico = open(sys.argv[2], "rb").read()
own = None
for k in range(struct.unpack_from("<H", ico, 4)[0]):
    w, h, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * k)
    if w == 32 and bits == 32:
        rows = ico[offset + 40: offset + 40 + 32 * 32 * 4]  # BGRA, bottom-up
        own = []
        for y in range(31, -1, -1):
            for x in range(32):
                b, g, r, a = rows[(y * 32 + x) * 4: (y * 32 + x) * 4 + 4]
                own.append(a << 24 | r << 16 | g << 8 | b)
print("same" if own is not None and shown.get(32) == own else "different")
PY
)" same
    check "the class keeps no icon" "$(wd classicon "$APP_TITLE")" 0
}

# drop_file PATH [CLASS]: PATH dropped on the main window (or on its child of CLASS).
drop_file() {
    wd drop "$APP_TITLE" "$(winpath "$1")" ${2:+"$2"} || fail "the drop of $1 was not taken"
}
