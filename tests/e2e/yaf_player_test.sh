#!/usr/bin/env bash
# The audio player end to end: greeting, resources, a sound from the command line and its
# waveform, a larger window, playback heard through a capture file, Play / Stop / loads
# while playing, the keys (Ctrl+O, Space, Escape, Left, Right, Home), drops and file names
# outside the ANSI code page, sounds without samples, no sound device at all, closing
# while playing; the cursor and time while playing, the window idle again after Stop and
# at the end, pause and resume, a click on the waveform, a device that cannot be opened.
#
# Sound: each program started here gets its own ALSA configuration (ALSA_CONFIG_PATH,
# read by every Wine process for itself, so other programs sharing the prefix are not
# touched) whose default device is a "file" plug-in over "null": every device the player
# opens writes the raw samples it is given to a new file (truncate false makes the
# plug-in number the files out.raw, out.raw.0001, ... instead of overwriting), so each
# Play is heard as one file. Wine passes 16-bit PCM at the sound's own rate and channel
# count straight through, followed by silence for as long as the finished device stays
# open. On a busy machine its mixer may also run dry while playing and fill the gap with
# silent frames, so a capture is compared with the sound frame by frame, allowing runs of
# silent frames among the sound's (see heard).
#
# Play and Stop are sent (wd press), not posted: when the driver returns, the program has
# handled the command, so the device it opened or closed is open or closed.
source "$(dirname "$0")/lib.sh"
e2e_init "$@"

APP_TITLE=YorvelYAFPlayer
TITLE="YorvelYAFPlayer — Yorvel Audio Format"
BG="10 10 20"
ACCENT="77 201 240"
MUTED="102 102 170"  # the play cursor and the time
GREETING="YAF Player v1.0 -- Open a .yaf file"
BUTTONS_RIGHT=196  # "Stop" spans x 136 to 196, y 6 to 34; the status line starts at x 204
BAND_TOP=50        # the waveform lies below this
F=$E2E/files
CAP=$E2E/capture

# --- Test sounds, made here -------------------------------------------------------

# yaf_file NAME RATE CHANNELS FRAMES PERL_EXPR_OF_i COUNT: a header, then COUNT samples
# given by the expression (of the sample index $i).
yaf_file() {
    perl -e 'my ($rate, $ch, $frames, $expr, $count) = @ARGV;
             my $sample = eval "sub { my \$i = shift; $expr }" or die $@;
             print pack("A4 V v v V s v", "YAF7", $rate, $ch, 16, $frames, 0, 0);
             print pack("s<", $sample->($_)) for 0 .. $count - 1' "${@:2}" >"$F/$1"
}

# Mono 8 kHz, eight flat steps of 1000 frames: one unambiguous height per step.
STEPS=(0 16384 -16384 32767 -32768 8000 -8000 0)
yaf_file steps.yaf 8000 1 8000 "($(IFS=,; echo "${STEPS[*]}"))[int(\$i / 1000)]" 8000
STEPS_STATUS="YAF7 | 8000Hz 1ch 16bit | 8000 samples | 1.0s | threshold 0"
cp "$F/steps.yaf" "$F/with blank.yaf"
cp "$F/steps.yaf" "$F/音.yaf"  # a name the ANSI code page (1252 here) cannot spell
# Stereo 44.1 kHz, one second of pseudo-random samples.
yaf_file stereo.yaf 44100 2 44100 'srand(7) if !$i; int(rand(65536)) - 32768' 88200
STEREO_STATUS="YAF7 | 44100Hz 2ch 16bit | 44100 samples | 1.0s | threshold 0"
cp "$F/stereo.yaf" "$F/波形.yaf"
# Mono 8 kHz, 120 s of pseudo-random samples that are never 0: it plays for half a minute
# even at the four times real speed Wine plays into a file, so every case acts on it
# while it plays however slow the machine, and no stretch of it repeats, so a capture
# shows exactly where in the sound a play began.
LONG_FRAMES=960000
yaf_file long.yaf 8000 1 $LONG_FRAMES 'srand(11) if !$i; int(rand(65535)) - 32767 || 1' $LONG_FRAMES
LONG_STATUS="YAF7 | 8000Hz 1ch 16bit | $LONG_FRAMES samples | 120.0s | threshold 0"
# Stereo 44.1 kHz, one minute: what the player's CPU time is measured on.
MINUTE_FRAMES=2646000
yaf_file minute.yaf 44100 2 $MINUTE_FRAMES 'srand(13) if !$i; int(rand(65535)) - 32767' $((2 * MINUTE_FRAMES))
yaf_file empty.yaf 8000 1 0 0 0                 # 20 bytes: no frame
yaf_file nochannel.yaf 8000 0 5000 '$i' 100    # 0 channels: frames named, none kept
yaf_file wide.yaf 8000 96 100 '$i % 96 * 300' 9600  # more channels than any device plays
bytes "59414638" >"$F/bad.yaf"                  # "YAF8"
tail -c +5 "$F/steps.yaf" >>"$F/bad.yaf"

# --- Sound capture ----------------------------------------------------------------

FILE_DEVICE=$E2E/asound-file.conf
printf '<confdir:alsa.conf>\npcm.!default { type file; slave.pcm "null"; file "%s"; format "raw"; truncate false }\n' \
    "$CAP/out.raw" >"$FILE_DEVICE"
NO_DEVICE=$E2E/asound-none.conf  # no default device at all
: >"$NO_DEVICE"

# player ARG...: starts the player with sound going into a fresh, empty capture folder.
player() {
    rm -rf "$CAP"
    mkdir -p "$CAP"
    ALSA_CONFIG_PATH=$FILE_DEVICE app_start "$@"
}

# captures: the capture files, one per device opened, in the order they were made.
captures() { (cd "$CAP" && ls) 2>/dev/null | sort; }

# runs FILE SOUND: the stretches of the .yaf SOUND the capture FILE holds, one "FIRST END"
# line each (END exclusive), in the order heard. A frame goes on the stretch when it is
# the sound's next frame; otherwise a silent frame (what the mixer adds when it runs dry,
# and plays once the sound has ended) is left out, and any other frame starts a new
# stretch, found in the sound by its first frames (in the random sounds they occur once);
# a frame still being written is left out. A capture frame from nowhere in the sound
# prints where and returns 1.
runs() {
    python3 - "$CAP/$1" "$F/$2" <<'PY'
import sys
try:
    cap = open(sys.argv[1], "rb").read()
except FileNotFoundError:
    cap = b""
sound = open(sys.argv[2], "rb").read()
size = 2 * int.from_bytes(sound[8:10], "little")  # bytes per frame: 16-bit samples
pcm = sound[20:20 + (len(sound) - 20) // size * size]
cap = cap[:len(cap) // size * size]
silent = bytes(size)
i = j = first = 0  # capture offset; sound offset the stretch has reached; its start
while i < len(cap):
    if j < len(pcm) and cap[i:i + size] == pcm[j:j + size]:
        n = size  # as far as the stretch goes on: doubled while it matches, then halved
        while n < 65536 * size and i + n < len(cap) and j + n < len(pcm) and cap[i:i + 2 * n] == pcm[j:j + 2 * n]:
            n *= 2
        n = min(n, len(cap) - i, len(pcm) - j)
        while cap[i:i + n] != pcm[j:j + n]:
            n = max(size, n // 2 // size * size)
        i, j = i + n, j + n
        continue
    if cap[i:i + size] == silent:
        i += size
        continue
    if j > first:
        print(first // size, j // size)
    at = -1
    for k in (8, 4, 2, 1):  # frames that find where a new stretch starts
        at = pcm.find(cap[i:i + k * size])
        while at >= 0 and at % size:
            at = pcm.find(cap[i:i + k * size], at + 1)
        if at >= 0:
            break
    if at < 0:
        print(f"capture frame {i // size} is nowhere in the sound")
        sys.exit(1)
    first = j = at
if j > first:
    print(first // size, j // size)
PY
}

# heard FILE SOUND: "HEARD FRAMES": how many of the .yaf SOUND's FRAMES the capture FILE
# holds. The capture must hold the sound's frames from its first on, in order, with
# nothing else among or after them but silent frames (see runs). Anything else is a
# fault: then it prints the stretches heard and returns 1.
heard() {
    local out channels
    out=$(runs "$1" "$2") || { echo "$out"; return 1; }
    channels=$(od -An -tu2 -j 8 -N 2 "$F/$2" | xargs)
    case $(wc -l <<<"$out") in
        1) [ -z "$out" ] || [ "${out%% *}" = 0 ] || { echo "the capture starts at frame ${out%% *}"; return 1; } ;;
        *) echo "the capture is not the sound from its start on, but the stretches" $out; return 1 ;;
    esac
    out=${out##* }  # where the one stretch has reached; none heard yet: 0
    echo "${out:-0}" $((($(stat -c %s "$F/$2") - 20) / (2 * channels)))
}

# wait_heard FILE SOUND [N]: waits until the capture FILE holds N frames of the sound (all
# of them without N, or when it has fewer); fails at once on a capture that is not the
# sound (see heard), and after E2E_STEP_TIMEOUT seconds without them.
wait_heard() {
    local out got all end=$((SECONDS + E2E_STEP_TIMEOUT))
    while out=$(heard "$1" "$2"); do
        read -r got all <<<"$out"
        [ "$got" -ge "${3:-$all}" ] || [ "$got" -eq "$all" ] && return 0
        [ $SECONDS -lt $end ] || { echo "  $1: $got of $all frames of $2 after $E2E_STEP_TIMEOUT s"; return 1; }
        sleep 0.05
    done
    echo "  $1: $out"
    return 1
}

# closed FILE: no process holds the capture FILE open any more: its device is closed.
closed() {
    local path
    path=$(realpath "$CAP/$1") || return 1
    [ -z "$(find /proc/[0-9]*/fd -lname "$path" 2>/dev/null | head -n 1)" ]
}

# expect_played WHAT FILE SOUND: FILE holds every frame of SOUND, in order.
expect_played() { check_true "$1: every frame of the sound, in order" wait_heard "$2" "$3"; }

# expect_stopped WHAT FILE SOUND: the device of FILE was closed part way through SOUND: it
# holds the sound's start, and not all of it.
expect_stopped() {
    local out got all
    check_true "$1: the device is closed" poll_until "$E2E_STEP_TIMEOUT" closed "$2"
    out=$(heard "$2" "$3") || { fail "$1: $out"; return; }
    read -r got all <<<"$out"
    check_true "$1: the sound's start, stopped part way ($got of $all frames)" test "$got" -gt 0 -a "$got" -lt "$all"
}

# --- What the window should show --------------------------------------------------

# expect_status WHAT SHOT TEXT [RIGHT]: the status line's visible part (right of "Stop",
# up to RIGHT or the window's edge) is, pixel for pixel, TEXT drawn as the program draws it.
expect_status() {
    local w h
    read -r w h < <(shot_size "$2")
    ref_text "ref-$2" "$w" 40 204 10 "$w" 30 4DC9F0 0A0A14 32 "$3"
    expect_same_region "$1: status line" "$2" "ref-$2" "$BUTTONS_RIGHT" 0 $((${4:-$w} - BUTTONS_RIGHT)) 40
}

# drawn_rows SHOT X: the rows of column X below the band's top that are not background.
drawn_rows() {
    local w h
    read -r w h < <(shot_size "$1")
    convert "$E2E/$1.ppm" -crop "1x$((h - BAND_TOP))+$2+$BAND_TOP" +repage -depth 8 rgb:- |
        od -An -tu1 -v -w3 | awk -v top=$BAND_TOP '!($1 == 10 && $2 == 10 && $3 == 20) { print NR - 1 + top }' | xargs
}

# steps_y W H X: the steps sound's waveform height at column X, worked out apart from
# the program: the frame at (X / W) * 8000, its sample's height ((s / 32768) * h) * 0.45
# with h = H - 50, truncated toward zero, taken from mid = h / 2 + 50 (truncated).
steps_y() {
    awk -v W="$1" -v H="$2" -v x="$3" -v list="${STEPS[*]}" 'BEGIN {
        split(list, s, " "); hh = H - 50; mid = int(hh / 2) + 50
        i = int((x / W) * 8000); if (i >= 8000) i = 7999
        print mid - int(((s[int(i / 1000) + 1] / 32768) * hh) * 0.45)
    }'
}

# expect_steps_wave WHAT SHOT: the steps sound's waveform: in the middle column of each
# step exactly one pixel is drawn below the band, in the accent colour, at the height
# worked out for that step.
expect_steps_wave() {
    local w h k x y
    read -r w h < <(shot_size "$2")
    for k in "${!STEPS[@]}"; do
        x=$(((k * 1000 + 500) * w / 8000))
        y=$(steps_y "$w" "$h" "$x")
        check "$1: column $x (step $k) is drawn only at y $y" "$(drawn_rows "$2" "$x")" "$y"
        expect_pixel "$1: the line is the accent colour" "$2" "$x" "$y" "$ACCENT"
    done
}

# expect_no_wave WHAT SHOT: nothing drawn below the band in a spread of columns.
expect_no_wave() {
    local w h x
    read -r w h < <(shot_size "$2")
    for x in 0 $((w / 3)) $((w / 2)) $((w - 1)); do check "$1: column $x is empty" "$(drawn_rows "$2" "$x")" ""; done
}

expect_no_capture() { check "$1: no device was opened" "$(captures | xargs)" ""; }

# --- Where the sound is -------------------------------------------------------------

# position: the frame the player's device plays now, as the player answers it; -1 idle.
position() { wd ask "$APP_TITLE" YorvelYAFPlayerPosition; }

# column_of FRAME W FRAMES: the cursor's column for FRAME in a waveform W wide of a sound
# of FRAMES frames, worked out apart from the program: the first column that shows the
# latest frame the waveform picks at or before FRAME (column x picks (x / W) * FRAMES).
column_of() {
    awk -v f="$1" -v W="$2" -v S="$3" 'BEGIN {
        for (x = 0; x < W; ++x) { p = int((x / W) * S); if (p >= S) p = S - 1; pick[x] = p; if (p <= f) last = x }
        while (last > 0 && pick[last - 1] == pick[last]) --last
        print last
    }'
}

# frame_of X W FRAMES: the frame column X of a W-wide waveform shows.
frame_of() { awk -v x="$1" -v W="$2" -v S="$3" 'BEGIN { p = int((x / W) * S); print (p >= S ? S - 1 : p) }'; }

# cursor_at SHOT: the columns whose whole height below the band is the cursor's colour.
cursor_at() {
    PYTHONPATH=$E2E_REPO/tests/e2e python3 - "$E2E/$1.ppm" "$MUTED" "$BAND_TOP" <<'PY'
import sys, ppm
w, h, px = ppm.read(sys.argv[1])
muted, top = bytes(int(v) for v in sys.argv[2].split()), int(sys.argv[3])
print(" ".join(str(x) for x in range(w)
               if all(px[(y * w + x) * 3:(y * w + x) * 3 + 3] == muted for y in range(top, h))))
PY
}

# grab_client NAME: the client area now, as it is, without waiting for it to hold still.
grab_client() {
    local x y w h
    read -r x y w h < <(wd client "$APP_TITLE") && grab "$1" "$x" "$y" "$w" "$h"
}

# play_time FRAME FRAMES RATE: "elapsed / total" as the player shows it, worked out apart:
# elapsed truncated to tenths of a second, the total rounded to the nearest tenth.
play_time() {
    awk -v f="$1" -v S="$2" -v r="$3" 'BEGIN {
        e = int(f * 10 / r); t = int((S * 20 / r + 1) / 2)
        printf "%d:%02d.%d / %d:%02d.%d\n", int(e / 600), int(e / 10) % 60, e % 10, int(t / 600), int(t / 10) % 60, t % 10
    }'
}

# expect_position WHAT SHOT FRAME FRAMES RATE [STATUS]: the paused window SHOT shows FRAME
# of a sound of FRAMES frames: the cursor in exactly that frame's column, the time
# right-aligned 8 pixels from the right edge in the top band, pixel for pixel, and the
# status line STATUS (when given) left of it; everything else is the idle window (SHOT
# "idle" taken before).
expect_position() {
    local w h x time left
    read -r w h < <(shot_size "$2")
    x=$(column_of "$3" "$w" "$4")
    check "$1: the cursor stands at the column of frame $3" "$(cursor_at "$2")" "$x"
    time=$(play_time "$3" "$4" "$5")
    ref_text "ref-time-$2" "$w" 40 0 10 $((w - 8)) 30 6666AA 0A0A14 34 "$time"  # DT_SINGLELINE | DT_RIGHT
    left=$(PYTHONPATH=$E2E_REPO/tests/e2e python3 -c '
import sys, ppm
w, h, px = ppm.read(sys.argv[1])
print(min(x for y in range(h) for x in range(w) if px[(y * w + x) * 3:(y * w + x) * 3 + 3] != bytes((10, 10, 20))))' \
        "$E2E/ref-time-$2.ppm")
    expect_same_region "$1: the time \"$time\"" "$2" "ref-time-$2" "$left" 0 $((w - left)) 40
    [ $# -ge 6 ] && expect_status "$1" "$2" "$6" "$left"
    expect_same_region "$1: the waveform left of the cursor" "$2" idle 0 $BAND_TOP "$x" $((h - BAND_TOP))
    expect_same_region "$1: the waveform right of the cursor" "$2" idle $((x + 1)) $BAND_TOP $((w - x - 1)) $((h - BAND_TOP))
}

# expect_idle_again WHAT: within the step timeout the window is the idle window (SHOT
# "idle" taken before) pixel for pixel: no cursor, no time.
same_as_idle() {
    grab_client now && [ "$(differing_pixels idle now 0 0 $(shot_size idle))" = 0 ]
}
expect_idle_again() { check_true "$1: the window is the idle window again" poll_until "$E2E_STEP_TIMEOUT" same_as_idle; }

# capture_frames FILE: whole frames of the mono capture FILE so far.
capture_frames() { echo $(($(stat -c %s "$CAP/$1" 2>/dev/null || echo 0) / 2)); }

# still FILE: the capture FILE does not grow for half a second.
still() {
    local before
    before=$(capture_frames "$1")
    sleep 0.5
    [ "$(capture_frames "$1")" = "$before" ]
}

# --- Cases ------------------------------------------------------------------------

e2e_case "greeting"
player
check "title" "$(wd gettext "$APP_TITLE")" "$TITLE"
shoot greeting
expect_status "greeting" greeting "$GREETING"
expect_no_wave "greeting" greeting
wd press "$APP_TITLE" 2
wd press "$APP_TITLE" 3
expect_no_capture "Play and Stop with no sound"
wd keys "$APP_TITLE" space escape
wd settle "$APP_TITLE"
expect_no_capture "Space and Escape with no sound"
expect_resources
expect_own_icon
expect_closes_cleanly

e2e_case "sound on the command line"
player "$(winpath "$F/with blank.yaf")"  # Wine hands it over in double quotes
shoot cmdline
expect_status "command line" cmdline "$STEPS_STATUS"
expect_steps_wave "command line" cmdline

e2e_case "Play mono 8 kHz"
cp "$E2E/cmdline.ppm" "$E2E/idle.ppm"
wd press "$APP_TITLE" 2
expect_played "mono 8 kHz" out.raw steps.yaf
expect_idle_again "at the natural end"
check_true "at the end the device is closed" poll_until "$E2E_STEP_TIMEOUT" closed out.raw

# The whole client area is painted anew for the new size, with nothing forcing it: one
# waveform, drawn for the new size (one left for the old size would show in the columns
# looked at), and the status line across the new width.
e2e_case "a larger window"
wd resize "$APP_TITLE" 1000 650
shoot larger
expect_status "larger window" larger "$STEPS_STATUS"
expect_steps_wave "larger window" larger
expect_closes_cleanly

e2e_case "a file named outside the ANSI code page, on the command line"
player "$(winpath "$F/音.yaf")"
shoot cjk
expect_status "command line" cjk "$STEPS_STATUS"
expect_steps_wave "command line" cjk

e2e_case "a file dropped on the window"
drop_file "$F/波形.yaf"
shoot dropped
expect_status "dropped" dropped "$STEREO_STATUS"
wd press "$APP_TITLE" 2
expect_played "the dropped sound plays" out.raw stereo.yaf

e2e_case "Ctrl+O opens the Open dialog"
wd keys "$APP_TITLE" ctrl+o && wd open "$(winpath "$F/steps.yaf")" || fail "Ctrl+O gave no Open dialog"
shoot keyed
expect_status "opened with Ctrl+O" keyed "$STEPS_STATUS"
expect_closes_cleanly

# Pause holds the device where it is: nothing more is heard, the device stays open, the
# cursor and time stay; resume goes on with the very next frame.
e2e_case "Space plays, pauses and resumes, Escape stops"
player "$(winpath "$F/long.yaf")"
shoot idle
wd keys "$APP_TITLE" space
check_true "Space plays the sound from its start" wait_heard out.raw long.yaf 2000
wd keys "$APP_TITLE" space
check_true "Space while it plays: nothing more is heard" poll_until "$E2E_STEP_TIMEOUT" still out.raw
paused=$(capture_frames out.raw)
check "paused: the device stays open" "$(closed out.raw && echo closed || echo open)" open
shoot paused
expect_position "paused" paused "$(position)" $LONG_FRAMES 8000 "$LONG_STATUS"
check_true "paused: still nothing more is heard" still out.raw
wd keys "$APP_TITLE" space
check_true "Space when paused goes on" wait_heard out.raw long.yaf $((paused + 8000))
check "resumed: the sound's frames from the first on, none skipped or repeated" "$(runs out.raw long.yaf | head -n 1 | cut -d' ' -f1)" 0
check "... in one stretch" "$(runs out.raw long.yaf | wc -l)" 1
wd keys "$APP_TITLE" escape
expect_stopped "Escape" out.raw long.yaf
expect_idle_again "after Escape"
wd keys "$APP_TITLE" space
check_true "Space when stopped plays it from its start" wait_heard out.raw.0001 long.yaf 2000
wd keys "$APP_TITLE" escape
expect_stopped "Escape" out.raw.0001 long.yaf
check "one device for each start" "$(captures | xargs)" "out.raw out.raw.0001"
expect_closes_cleanly

# The cursor moves with the device. How far it stands from the device's position is
# measured by the driver, which reads the bottom row of the window from the screen
# between two asks for the position, a few milliseconds apart, again and again. The
# cursor, worked out from the position at the last timer tick, is never ahead of the
# device; how far it lags is what the platform adds (timer, painting) and is reported.
e2e_case "the cursor follows the device"
player "$(winpath "$F/long.yaf")"
shoot idle
read -r W H < <(shot_size idle)
wd keys "$APP_TITLE" space
check_true "it plays" wait_heard out.raw long.yaf 2000
grab_client moving1
grab_client moving2
x1=$(cursor_at moving1) x2=$(cursor_at moving2)
check_true "the cursor is there and moves right (column ${x1:-none}, then ${x2:-none})" test "${x1:-x}" -lt "${x2:-x}"
wd follow "$APP_TITLE" YorvelYAFPlayerPosition $((H - 1)) 20 >"$E2E/follow.txt"
while read -r before after x rest; do
    [ -n "$x" ] && [ -z "$rest" ] || { fail "one cursor column on the screen, not \"$x $rest\""; continue; }
    echo "$(($(column_of "$before" "$W" $LONG_FRAMES) - x)) $(($(column_of "$after" "$W" $LONG_FRAMES) - x))"
done <"$E2E/follow.txt" >"$E2E/lags.txt"
check "the cursor is never ahead of the device" "$(awk '$2 < 0' "$E2E/lags.txt")" ""
e2e_log "device column minus cursor column, read just before and after the screen:" $(tr ' ' , <"$E2E/lags.txt")
wd press "$APP_TITLE" 3
expect_stopped "Stop" out.raw long.yaf
expect_idle_again "after Stop"
expect_closes_cleanly

# has_run FILE SOUND N MIN: the capture FILE holds N stretches of SOUND, the last of at
# least MIN frames.
has_run() { runs "$1" "$2" | awk -v n="$3" -v min="$4" 'END { exit !(NR == n && $2 - $1 >= min) }'; }

# run_start FILE SOUND N: where the Nth stretch of the capture FILE begins in SOUND.
run_start() { runs "$1" "$2" | sed -n "$3p" | cut -d' ' -f1; }

e2e_case "a click on the waveform plays from the frame it shows"
player "$(winpath "$F/long.yaf")"
shoot idle
read -r W H < <(shot_size idle)
x=$((W / 3))
click_client "$x" $((BAND_TOP + 30))
check_true "idle: the click plays" poll_until "$E2E_STEP_TIMEOUT" has_run out.raw long.yaf 1 4000
check "idle: from the frame of column $x, exactly" "$(run_start out.raw long.yaf 1)" "$(frame_of "$x" "$W" $LONG_FRAMES)"
x=$((2 * W / 3))
click_client "$x" $((H - 5))
check_true "playing: the click goes there" poll_until "$E2E_STEP_TIMEOUT" has_run out.raw long.yaf 2 4000
check "playing: from the frame of column $x, exactly" "$(run_start out.raw long.yaf 2)" "$(frame_of "$x" "$W" $LONG_FRAMES)"
wd keys "$APP_TITLE" space
check_true "paused" poll_until "$E2E_STEP_TIMEOUT" still out.raw
x=$((W / 2))
click_client "$x" $((BAND_TOP + 100))
wd settle "$APP_TITLE"
check_true "paused: a click plays nothing" still out.raw
shoot clicked
expect_position "paused: the cursor goes to the column clicked" clicked "$(frame_of "$x" "$W" $LONG_FRAMES)" \
    $LONG_FRAMES 8000 "$LONG_STATUS"
check "... which is column $x" "$(cursor_at clicked)" "$x"
wd keys "$APP_TITLE" space
check_true "resumed: from there" poll_until "$E2E_STEP_TIMEOUT" has_run out.raw long.yaf 3 4000
check "resumed: from the frame of column $x, exactly" "$(run_start out.raw long.yaf 3)" "$(frame_of "$x" "$W" $LONG_FRAMES)"
check "one device throughout" "$(captures | xargs)" "out.raw"
click_client "$x" $((BAND_TOP - 10))
wd settle "$APP_TITLE"
check "a click above the waveform does nothing" "$(runs out.raw long.yaf | wc -l)" 3
wd keys "$APP_TITLE" escape
expect_idle_again "after Escape"
expect_closes_cleanly

# expect_jump WHAT KEY N FROM TO: KEY, typed while the sound plays, makes the Nth stretch
# of the capture, which must begin between frames FROM and TO (the device's position
# before the key, moved as the key moves it, and its position after).
expect_jump() {
    wd keys "$APP_TITLE" "$2"
    check_true "$1: a new stretch" poll_until "$E2E_STEP_TIMEOUT" has_run out.raw long.yaf "$3" 4000
    local at after
    at=$(run_start out.raw long.yaf "$3")
    after=$(position)
    check_true "$1: from frame $at, between $4 and $after" test "$at" -ge "$4" -a "$at" -le "$after" -a "$at" -le "$5"
}

e2e_case "Left, Right and Home"
player "$(winpath "$F/long.yaf")"
wd keys "$APP_TITLE" space
check_true "it plays" wait_heard out.raw long.yaf 20000
p=$(position)
expect_jump "Right: 5 s ahead" right 2 $((p + 40000)) $LONG_FRAMES
p=$(position)
expect_jump "Left: 5 s back" left 3 $((p - 40000)) $LONG_FRAMES
expect_jump "Home: to the start" home 4 0 0
check "one device throughout" "$(captures | xargs)" "out.raw"
expect_closes_cleanly

# cpu_ticks STAT: user plus system time in a /proc stat file, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "$1"; }

# The CPU time the player uses while a minute of sound plays, whole and on its window's
# thread (the first), reported: a figure, not a check, since the machine may be busy.
e2e_case "CPU time while a minute plays"
player "$(winpath "$F/minute.yaf")"
pid=$(pgrep -P "$APP_PID" | head -n 1)
wd keys "$APP_TITLE" space
poll_until "$E2E_STEP_TIMEOUT" test -e "$CAP/out.raw"
t0=$(date +%s.%N) all0=$(cpu_ticks "/proc/$pid/stat") ui0=$(cpu_ticks "/proc/$pid/task/$pid/stat")
check_true "it plays to its end" poll_until 120 closed out.raw
t1=$(date +%s.%N) all1=$(cpu_ticks "/proc/$pid/stat") ui1=$(cpu_ticks "/proc/$pid/task/$pid/stat")
e2e_log "$(awk -v t0="$t0" -v t1="$t1" -v a=$((all1 - all0)) -v u=$((ui1 - ui0)) -v hz="$(getconf CLK_TCK)" 'BEGIN {
    t = t1 - t0
    printf "a minute played in %.1f s: the player used %.1f%% of a core, its window thread %.1f%%", t, 100 * a / hz / t, 100 * u / hz / t }')"
expect_closes_cleanly

# At the end the device is closed, so Space plays the sound again instead of pausing it.
e2e_case "Space after the end plays again"
player "$(winpath "$F/steps.yaf")"
wd keys "$APP_TITLE" space
expect_played "Space" out.raw steps.yaf
check_true "at the end the device is closed" poll_until "$E2E_STEP_TIMEOUT" closed out.raw
wd keys "$APP_TITLE" space
expect_played "Space once more" out.raw.0001 steps.yaf
check "one device for each start" "$(captures | xargs)" "out.raw out.raw.0001"
expect_closes_cleanly

e2e_case "Play twice restarts, Stop ends the output"
player "$(winpath "$F/long.yaf")"
wd press "$APP_TITLE" 2
check_true "the first play is the sound's start" wait_heard out.raw long.yaf 2000
wd press "$APP_TITLE" 2
check_true "the second play starts again at the first frame" wait_heard out.raw.0001 long.yaf 2000
check "one device per Play" "$(captures | xargs)" "out.raw out.raw.0001"
expect_stopped "the second Play ended the first" out.raw long.yaf
wd press "$APP_TITLE" 3
expect_stopped "Stop" out.raw.0001 long.yaf
check "no device opened after Stop" "$(captures | xargs)" "out.raw out.raw.0001"
expect_closes_cleanly

e2e_case "an accepted load while playing stops it"
player "$(winpath "$F/long.yaf")"
wd press "$APP_TITLE" 2
check_true "the old sound plays" wait_heard out.raw long.yaf 2000
open_file "$F/steps.yaf"
expect_stopped "the load" out.raw long.yaf
shoot loaded
expect_status "new sound" loaded "$STEPS_STATUS"
expect_steps_wave "new sound" loaded
wd press "$APP_TITLE" 2
expect_played "then Play plays the new sound" out.raw.0001 steps.yaf
expect_closes_cleanly

# Paused for the picture, which would not hold still while the cursor moves.
e2e_case "a refused load while playing keeps it playing"
player "$(winpath "$F/long.yaf")"
shoot idle
wd press "$APP_TITLE" 2
check_true "the sound plays" wait_heard out.raw long.yaf 2000
open_file "$F/bad.yaf"
before=$(heard out.raw long.yaf | awk '{print $1 + 0}')
check_true "the old sound goes on (from frame $before)" wait_heard out.raw long.yaf $((before + 8000))
wd keys "$APP_TITLE" space
shoot refused
expect_position "refused file, paused" refused "$(position)" $LONG_FRAMES 8000 "[ERROR] Not a YAF7 file"
# Too narrow for the time beside the status text: the time is left out, the cursor stays.
wd resize "$APP_TITLE" 420 300
shoot narrow
read -r w h < <(shot_size narrow)
check "narrow: no time in the top band" "$(count_other_pixels narrow "$MUTED" 0 0 "$w" $BAND_TOP)" $((w * BAND_TOP))
check "narrow: the cursor" "$(cursor_at narrow)" "$(column_of "$(position)" "$w" $LONG_FRAMES)"
wd resize "$APP_TITLE" 800 500
wd keys "$APP_TITLE" space
before=$(heard out.raw long.yaf | awk '{print $1 + 0}')
check_true "resumed, it goes on (from frame $before)" wait_heard out.raw long.yaf $((before + 8000))
check "on the same device" "$(captures | xargs)" "out.raw"

e2e_case "closing while playing"
wd press "$APP_TITLE" 2
check_true "Play again starts a new device" wait_heard out.raw.0001 long.yaf 2000
expect_closes_cleanly
expect_stopped "closing" out.raw.0001 long.yaf

e2e_case "sounds without samples"
declare -A NONE_STATUS=(
    [empty]="YAF7 | 8000Hz 1ch 16bit | 0 samples | 0.0s | threshold 0"
    [nochannel]="YAF7 | 8000Hz 0ch 16bit | 5000 samples | 0.6s | threshold 0"
)
for sound in empty nochannel; do
    player "$(winpath "$F/$sound.yaf")"
    shoot "$sound"
    expect_status "$sound" "$sound" "${NONE_STATUS[$sound]}"
    expect_no_wave "$sound" "$sound"
    wd press "$APP_TITLE" 2 || fail "$sound: Play left the program unresponsive"
    expect_no_capture "$sound: Play"
    wd press "$APP_TITLE" 3
    expect_closes_cleanly
done

e2e_case "a sound too wide to play"
player "$(winpath "$F/wide.yaf")"
wd press "$APP_TITLE" 2 || fail "Play left the program unresponsive"
click_client 100 $((BAND_TOP + 30))
wd keys "$APP_TITLE" space right home
wd settle "$APP_TITLE"
expect_no_capture "96 channels: Play, a click, Space, Right, Home"
expect_closes_cleanly

NO_DEVICE_TEXT="[ERROR] Cannot open the sound device"
e2e_case "no sound device"
ALSA_CONFIG_PATH=$NO_DEVICE app_start "$(winpath "$F/steps.yaf")"
wd press "$APP_TITLE" 2 || fail "Play with no device left the program unresponsive"
shoot nodevice
expect_status "Play with no device" nodevice "$NO_DEVICE_TEXT"
expect_steps_wave "the sound stays" nodevice
wd press "$APP_TITLE" 3
open_file "$F/stereo.yaf"
shoot reopened
expect_status "a load shows its own status line again" reopened "$STEREO_STATUS"
wd keys "$APP_TITLE" space || fail "Space with no device left the program unresponsive"
shoot nodevice-space
expect_status "Space with no device" nodevice-space "$NO_DEVICE_TEXT"
expect_closes_cleanly

# The file device cannot make its capture file while the folder is missing, so the device
# will not open; once the folder is there, it does.
e2e_case "the device comes back"
player "$(winpath "$F/steps.yaf")"
shoot idle
rmdir "$CAP"
wd press "$APP_TITLE" 2
shoot gone
expect_status "Play with the device unavailable" gone "$NO_DEVICE_TEXT"
mkdir "$CAP"
wd press "$APP_TITLE" 2
expect_played "the next Play plays" out.raw steps.yaf
expect_idle_again "its status line is back, and at the end"
expect_closes_cleanly

# After a program without a device, in the same prefix: the capture still works.
e2e_case "Play stereo 44.1 kHz"
player
open_file "$F/stereo.yaf"
wd press "$APP_TITLE" 2
expect_played "stereo 44.1 kHz" out.raw stereo.yaf
expect_closes_cleanly

finish
