#!/usr/bin/env bash
# Hostile files through a real program: every file of the format's generated corpus is
# opened from the command line (a few also through the Open dialog). Each time the
# window must answer a message within a second (at one of three tries, so that a busy
# machine's delay is not taken for a hang), show what the format's core says about
# the file, stay within its memory bound, and exit with 0 when closed. Nothing may be
# written while it runs.
#
#   hostile_test.sh PROGRAM.exe WDRIVE.exe yif|yaf|ydf
source "$(dirname "$0")/lib.sh"
FORMAT=$3
# A prefix of its own, with Wine's frames instead of a window manager's: closing a window
# then takes milliseconds instead of two seconds, which matters over a hundred and fifty
# closes. Only the driver talks to the windows here, and it needs no window manager.
export YORVEL_E2E_WINEPREFIX=${YORVEL_E2E_WINEPREFIX:-$E2E_REPO/build/wine/hostile}
e2e_init "$1" "$2"
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

YORVEL=$E2E_REPO/build/native/yorvel
[ -x "$YORVEL" ] || { echo "needs the native tool: $YORVEL (make native)"; exit 1; }
H=$E2E/files
python3 "$E2E_REPO/tests/hostile/make_hostile.py" "$H" >/dev/null
mkdir -p "$H/paths/a folder.$FORMAT"

case $FORMAT in
    yif) APP_TITLE=YorvelYIFReader ;;
    yaf) APP_TITLE=YorvelYAFPlayer ;;
    ydf) APP_TITLE=YorvelYDFReader ;;
    *) echo "unknown format $FORMAT"; exit 2 ;;
esac

# What the core says about a file: the status line, or the refusal text.
core_says() {
    local out
    if out=$("$YORVEL" info "$1" 2>&1); then echo "$out"; else echo "$out" | tail -n 1; fi
}

# ref_once NAME WIDTH TEXT...: a reference drawing, made once per width and text.
declare -A REFS=()
REF_COUNT=0
ref_once() {
    local key="$2|${*:3}"
    if [ -z "${REFS[$key]:-}" ]; then
        REF_COUNT=$((REF_COUNT + 1))
        REFS[$key]=ref$REF_COUNT
        ref_text "${REFS[$key]}" "$2" "${@:3}"
    fi
    cp "$E2E/${REFS[$key]}.ppm" "$E2E/$1.ppm"
}

# status_diff SHOT TEXT: how many pixels of the status line as the program drew it differ
# from a reference drawing of TEXT. The image viewer draws at (124, 8) on RGB(6,6,12),
# right of its button (x 16 to 116); the player at (204, 10) on RGB(10,10,20), right of
# its "Stop" button (x 136 to 196).
status_diff() {
    local w h
    read -r w h < <(shot_size "$1")
    case $FORMAT in
        yif) ref_once "ref-$1" "$w" 40 124 8 $((w - 16)) 30 4DC9F0 06060C 32 "$2"
             differing_pixels "$1" "ref-$1" 116 0 $((w - 116)) 40 ;;
        yaf) ref_once "ref-$1" "$w" 40 204 10 "$w" 30 4DC9F0 0A0A14 32 "$2"
             differing_pixels "$1" "ref-$1" 196 0 $((w - 196)) 40 ;;
    esac
}

# expect_status TEXT: the status line shows TEXT. The client area the probe found is shot
# once, and again after a settle while it differs: the program's paint may reach the X
# server just after the probe's answer, and a shot taken too early must not fail.
expect_status() {
    local x y w h try diff="no picture"
    read -r x y w h <<<"$CLIENT"
    for try in 1 2 3; do
        grab shot "$x" "$y" "$w" "$h" || break
        diff=$(status_diff shot "$1")
        [ "$diff" = 0 ] && break
        wd settle "$APP_TITLE"
    done
    check "status line" "$diff" 0
}

# The document reader names the file in its title once it has loaded, and its view
# holds the runs the core renders. Runs of printable ASCII (with CR LF line ends) are
# compared exactly; others (lone CR or LF, control and high bytes, which the control
# shows its own way) must at least give the five fixed lines.
expect_document() {  # expect_document FILE
    local name=${1##*/}
    check "title" "$(wd gettext "$APP_TITLE")" "YorvelYDFReader -- $name"
    "$YORVEL" convert "$1" "$E2E/runs.txt" || { fail "the core could not render $1"; return; }
    wd gettext "$APP_TITLE" RICHEDIT50W >"$E2E/view.txt"
    if LC_ALL=C grep -q -P '[^\x20-\x7E\r\n]|\r(?!\n)|(?<!\r)\n' "$E2E/runs.txt"; then
        check_true "at least the five fixed lines" test "$(grep -c '' "$E2E/view.txt")" -ge 5
    else
        check_true "the view holds the rendered runs" cmp -s "$E2E/view.txt" "$E2E/runs.txt"
    fi
}

# Peak resident memory of the program's process, in KiB.
peak_kib() {
    local pid
    pid=$(pgrep -P "$APP_PID" | head -n 1)
    awk '/^VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0
}

# What the program may hold beyond its idle peak: twice the file (the file image and
# what is made from it), the output, and 16 MiB.
allowed_kib() {  # allowed_kib FILE
    local size output=0
    size=$(stat -c %s "$1")
    case $FORMAT in
        # A header without a stream writes no pixel: the bitmap's pages are never touched,
        # however large it is (the 16-byte file of 16384 x 32767 pixels names 2 GiB).
        yif) [ "$size" -gt 16 ] && output=$("$YORVEL" convert "$1" "$E2E/out.pam" >/dev/null 2>&1 &&
                                            stat -c %s "$E2E/out.pam" || echo 0) ;;
        yaf) output=$size ;;
        # The view keeps UTF-16 text, and the rich-edit control about 1.5 KiB for each
        # styled run (measured under Wine: 184 MiB for 120 006 runs).
        ydf) "$YORVEL" convert "$1" "$E2E/out.json" >/dev/null 2>&1
             "$YORVEL" convert "$1" "$E2E/out.txt" >/dev/null 2>&1
             output=$(( $(stat -c %s "$E2E/out.txt") * 2 + $(grep -o '"text"' "$E2E/out.json" | wc -l) * 2048 )) ;;
    esac
    echo $(( (2 * size + output) / 1024 + 16384 ))
}

# start_and_probe PATH: starts the program on PATH, waits for its first paint and checks
# that it answers a message within a second (one driver call, to keep the run short).
start_and_probe() {
    local try rc
    for try in 1 2; do
        app_launch "$@"
        rc=0
        CLIENT=$(wd probe "$APP_TITLE" 1000) || rc=$?
        case $rc in
            0) return 0 ;;
            3) fail "the window does not answer within a second"; return 1 ;;
            *) app_missing "$try" || return 1 ;;
        esac
    done
}

# open_case PATH EXPECTED: the program started on PATH shows EXPECTED (a status line or
# error text; "load" for a document that loads) and closes with 0.
open_case() {
    start_and_probe "$(winpath "$1")" || { app_stop; return; }
    if [ "$FORMAT" = ydf ]; then
        if [ "$2" = load ]; then
            expect_document "$1"
            # Sections that all show one long list: the view ends in the cut notice.
            [[ ${1##*/} == shared-list-* ]] && check "the view ends in the cut notice" \
                "$(wd gettext "$APP_TITLE" RICHEDIT50W | tr -d '\r' | tail -n 1 | cut -c 1-21)" "  [Document cut after"
        else
            check "view text" "$(wd gettext "$APP_TITLE" RICHEDIT50W | tr -d '\r\n')" "$2"
        fi
    else
        expect_status "$2"
    fi
    if [ -f "$1" ]; then
        local used=$(( $(peak_kib) - IDLE_KIB )) allowed
        allowed=$(allowed_kib "$1")
        [ "$used" -le "$allowed" ] || fail "peak memory: $used KiB above idle, allowed $allowed KiB"
        [ "$used" -gt "$PEAK_USED" ] && PEAK_USED=$used PEAK_FILE=${1##*/}
    fi
    app_close
    check "exit code" "$APP_RC" 0
}

# MAX_PATH leaves 259 characters for a path: Z: and the Unix path.
long=$H/paths/$(printf 'n%.0s' $(seq 1 $((259 - 2 - ${#H} - 7 - 1 - ${#FORMAT})))).$FORMAT
cp "$H/$FORMAT/header-only.$FORMAT" "$long" 2>/dev/null || cp "$H/$FORMAT/valid.$FORMAT" "$long"

files_before=$(tree_state "$H")
touch "$E2E/stamp"

e2e_case "idle"
app_start
IDLE_KIB=$(peak_kib)
PEAK_USED=0 PEAK_FILE=none
app_close
e2e_log "idle peak: $IDLE_KIB KiB"

count=0
for f in "$H/$FORMAT"/*; do
    e2e_case "${f##*/}"
    if [ "$FORMAT" = ydf ]; then open_case "$f" load; else open_case "$f" "$(core_says "$f")"; fi
    count=$((count + 1))
done
check "every file was opened" "$count" "$(ls "$H/$FORMAT" | wc -l)"

# Paths that are not files to load, and the longest path there is.
e2e_case "a folder"
open_case "$H/paths/a folder.$FORMAT" "[ERROR] Cannot open file"
e2e_case "a path that does not exist"
open_case "$H/paths/none.$FORMAT" "[ERROR] Cannot open file"
e2e_case "a path of 259 characters"
check "the path's length" "$(winpath "$long" | wc -c)" 259
if [ "$FORMAT" = ydf ]; then open_case "$long" load; else open_case "$long" "$(core_says "$long")"; fi

e2e_case "through the Open dialog"
app_start
samples=(garbage-0 empty one-byte)
[ "$FORMAT" = yaf ] && samples+=(zero-channels-max-frames rate-max channels-max large-stereo)
for name in "${samples[@]}"; do
    wd cmd "$APP_TITLE" 1 && wd open "$(winpath "$H/$FORMAT/$name.$FORMAT")" || fail "Open dialog for $name"
    # The player also plays what it accepted (on whatever device this machine has).
    [ "$FORMAT" = yaf ] && { wd press "$APP_TITLE" 2 || fail "Play of $name was not handled"; }
    wd ping "$APP_TITLE" 1000 || fail "the window does not answer after $name"
done
app_close
check "exit code" "$APP_RC" 0

e2e_case "nothing written"
check "the opened files" "$(tree_state "$H")" "$files_before"
check "files in the prefix's drive" "$(find "$WINEPREFIX/drive_c/users" -newer "$E2E/stamp" -type f)" ""

e2e_log "$count $FORMAT files opened; largest use above idle: $PEAK_USED KiB ($PEAK_FILE)"
finish
