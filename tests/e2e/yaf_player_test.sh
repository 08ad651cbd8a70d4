#!/usr/bin/env bash
# The audio player end to end: greeting, resources, a sound from the command line and its
# waveform, a larger window, playback heard through a capture file, Play / Stop / loads
# while playing, the keys (Ctrl+O, Space, Escape), drops and file names outside the ANSI
# code page, sounds without samples, no sound device at all, closing while playing.
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

# heard FILE SOUND: "HEARD FRAMES": how many of the .yaf SOUND's FRAMES the capture FILE
# holds. The capture must hold the sound's frames from its first on, in order, with
# nothing else among or after them but silent frames (what the mixer inserts when it runs
# dry, and plays once the sound has ended); a frame still being written is left out.
# Anything else is a fault: then it prints where the capture departs and returns 1.
heard() {
    python3 - "$CAP/$1" "$F/$2" <<'PY'
import sys
try:
    cap = open(sys.argv[1], "rb").read()
except FileNotFoundError:
    cap = b""
sound = open(sys.argv[2], "rb").read()
size = 2 * int.from_bytes(sound[8:10], "little")  # bytes per frame: 16-bit samples
frames = (len(sound) - 20) // size
pcm, cap = sound[20:20 + frames * size], cap[:len(cap) // size * size]
silent = bytes(size)
i = j = 0  # byte offsets into the capture and the sound
block = 4096 * size  # compared at once; halved down to one frame where they differ
while i < len(cap):
    if j == len(pcm):
        rest = cap[i:].lstrip(b"\0")
        if rest:
            print(f"capture frame {(len(cap) - len(rest)) // size} follows the whole sound and is not silent")
            sys.exit(1)
        break
    n = min(block, len(cap) - i, len(pcm) - j)
    if cap[i:i + n] == pcm[j:j + n]:
        i, j, block = i + n, j + n, min(2 * block, 65536 * size)
    elif block > size:
        block = max(size, block // 2 // size * size)
    elif cap[i:i + size] == silent:
        i += size
    else:
        print(f"capture frame {i // size} is neither silence nor the sound's frame {j // size}")
        sys.exit(1)
print(j // size, frames)
PY
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

# expect_status WHAT SHOT TEXT: the status line's visible part (right of "Stop") is,
# pixel for pixel, TEXT drawn as the program draws it.
expect_status() {
    local w h
    read -r w h < <(shot_size "$2")
    ref_text "ref-$2" "$w" 40 204 10 "$w" 30 4DC9F0 0A0A14 32 "$3"
    expect_same_region "$1: status line" "$2" "ref-$2" "$BUTTONS_RIGHT" 0 $((w - BUTTONS_RIGHT)) 40
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
wd press "$APP_TITLE" 2
expect_played "mono 8 kHz" out.raw steps.yaf
shoot after-play
expect_same_region "playing changes nothing on screen" cmdline after-play 0 0 $(shot_size cmdline)

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

e2e_case "Space plays and stops, Escape stops"
player "$(winpath "$F/long.yaf")"
wd keys "$APP_TITLE" space
check_true "Space plays the sound from its start" wait_heard out.raw long.yaf 2000
wd keys "$APP_TITLE" space
expect_stopped "Space while it plays" out.raw long.yaf
wd keys "$APP_TITLE" space
check_true "Space when stopped plays it from its start" wait_heard out.raw.0001 long.yaf 2000
wd keys "$APP_TITLE" escape
expect_stopped "Escape" out.raw.0001 long.yaf
check "one device for each start" "$(captures | xargs)" "out.raw out.raw.0001"
expect_closes_cleanly

# past_end FILE BYTES: the capture FILE has grown beyond BYTES.
past_end() { [ "$(stat -c %s "$CAP/$1" 2>/dev/null || echo 0)" -gt "$2" ]; }

# Finished: the device has played the buffer to its end and plays on into silence, so
# Space plays the sound again instead of stopping it.
e2e_case "Space after the end plays again"
player "$(winpath "$F/steps.yaf")"
wd keys "$APP_TITLE" space
expect_played "Space" out.raw steps.yaf
check_true "the device plays on into silence" \
    poll_until "$E2E_STEP_TIMEOUT" past_end out.raw $(($(stat -c %s "$F/steps.yaf") - 20 + 4000))
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

e2e_case "a refused load while playing keeps it playing"
player "$(winpath "$F/long.yaf")"
shoot long
wd press "$APP_TITLE" 2
check_true "the sound plays" wait_heard out.raw long.yaf 2000
open_file "$F/bad.yaf"
shoot refused
expect_status "refused file" refused "[ERROR] Not a YAF7 file"
read -r w h < <(shot_size long)
expect_same_region "the old waveform stays" long refused 0 $BAND_TOP "$w" $((h - BAND_TOP))
before=$(heard out.raw long.yaf | awk '{print $1 + 0}')
check_true "the old sound goes on (from frame $before)" wait_heard out.raw long.yaf $((before + 8000))
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
expect_no_capture "96 channels: Play"
expect_closes_cleanly

e2e_case "no sound device"
ALSA_CONFIG_PATH=$NO_DEVICE app_start "$(winpath "$F/steps.yaf")"
wd press "$APP_TITLE" 2 || fail "Play with no device left the program unresponsive"
wd press "$APP_TITLE" 3
open_file "$F/stereo.yaf"
shoot nodevice
expect_status "Open still works" nodevice "$STEREO_STATUS"
wd press "$APP_TITLE" 2 || fail "Play with no device left the program unresponsive"
expect_closes_cleanly

# After a program without a device, in the same prefix: the capture still works.
e2e_case "Play stereo 44.1 kHz"
player
open_file "$F/stereo.yaf"
wd press "$APP_TITLE" 2
expect_played "stereo 44.1 kHz" out.raw stereo.yaf
expect_closes_cleanly

finish
