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
# count straight through: the capture is byte-identical, followed by silence for as long
# as the finished device stays open.
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
# given by the expression (of the sample index $i); RAW_NAME gets the samples alone.
yaf_file() {
    perl -e 'my ($rate, $ch, $frames, $expr, $count) = @ARGV;
             print pack("A4 V v v V s v", "YAF7", $rate, $ch, 16, $frames, 0, 0);
             for my $i (0 .. $count - 1) { print pack("s<", eval $expr) }' "${@:2}" >"$F/$1"
    tail -c +21 "$F/$1" >"$F/$1.pcm"
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
# Mono 8 kHz, 30 s of a ramp that is never 0: long enough to act on while it plays, and
# every capture can be matched against it sample for sample.
yaf_file long.yaf 8000 1 240000 '$i % 30000 + 1' 240000
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

size_of() { stat -c %s "$CAP/$1" 2>/dev/null || echo 0; }

# wait_capture FILE BYTES: waits (up to 20 s) until the capture FILE holds BYTES.
wait_capture() {
    local end=$((SECONDS + 20))
    while [ "$(size_of "$1")" -lt "$2" ]; do
        [ $SECONDS -lt $end ] || { fail "capture $1 did not reach $2 bytes (has $(size_of "$1"))"; return 1; }
        sleep 0.05
    done
}

# stable_size FILE: the size of FILE once it has not grown for 0.6 s (given up after
# 20 s: a device that never stops shows as a size that keeps changing).
stable_size() {
    local a b end=$((SECONDS + 20))
    b=$(size_of "$1")
    while [ $SECONDS -lt $end ]; do
        a=$b
        sleep 0.6
        b=$(size_of "$1")
        [ "$a" = "$b" ] && break
    done
    echo "$b"
}

# is_prefix FILE PCM: the whole capture FILE equals the start of the samples in PCM, once
# the silence is taken out that the device inserts when a busy machine lets it run dry
# (seen: 80 and 320 zero samples in the middle of a capture). The sounds compared this
# way hold no sample of 0.
is_prefix() {
    python3 - "$CAP/$1" "$2" <<'PY'
import array, sys
captured, played = array.array("h"), array.array("h")
data = open(sys.argv[1], "rb").read()
captured.frombytes(data[:len(data) // 2 * 2])
played.frombytes(open(sys.argv[2], "rb").read())
heard = [s for s in captured if s != 0]
sys.exit(0 if len(heard) <= len(played) and heard == played[:len(heard)].tolist() else 1)
PY
}

# expect_played WHAT FILE PCM: FILE holds all samples of PCM and then only silence.
expect_played() {
    local n
    n=$(stat -c %s "$3")
    wait_capture "$2" "$n" || return 1
    check_true "$1: the capture starts with every sample, byte for byte" cmp -s -n "$n" "$CAP/$2" "$3"
    check "$1: only silence after the samples" "$(tail -c +$((n + 1)) "$CAP/$2" | tr -d '\0' | wc -c)" 0
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
wd cmd "$APP_TITLE" 2
wd cmd "$APP_TITLE" 3
wd settle "$APP_TITLE"
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
wd cmd "$APP_TITLE" 2
expect_played "mono 8 kHz" out.raw "$F/steps.yaf.pcm"
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
wd cmd "$APP_TITLE" 2
expect_played "the dropped sound plays" out.raw "$F/stereo.yaf.pcm"

e2e_case "Ctrl+O opens the Open dialog"
wd keys "$APP_TITLE" ctrl+o && wd open "$(winpath "$F/steps.yaf")" || fail "Ctrl+O gave no Open dialog"
shoot keyed
expect_status "opened with Ctrl+O" keyed "$STEPS_STATUS"
expect_closes_cleanly

e2e_case "Space plays and stops, Escape stops"
player "$(winpath "$F/long.yaf")"
wd keys "$APP_TITLE" space
wait_capture out.raw 4000
wd keys "$APP_TITLE" space
first=$(stable_size out.raw)
check_true "Space while playing stopped it part way ($first bytes)" test "$first" -lt $((240000 * 2))
check_true "what played is the sound's start" is_prefix out.raw "$F/long.yaf.pcm"
wd keys "$APP_TITLE" space
wait_capture out.raw.0001 4000
wd keys "$APP_TITLE" escape
second=$(stable_size out.raw.0001)
check "one device for each start" "$(captures | xargs)" "out.raw out.raw.0001"
check_true "Space when stopped played from the first frame" is_prefix out.raw.0001 "$F/long.yaf.pcm"
check_true "Escape stopped it part way ($second bytes)" test "$second" -lt $((240000 * 2))
expect_closes_cleanly

# Finished: the device has played the buffer to its end (the capture runs on into
# silence), so Space plays the sound again instead of stopping it.
e2e_case "Space after the end plays again"
player "$(winpath "$F/steps.yaf")"
wd keys "$APP_TITLE" space
expect_played "Space" out.raw "$F/steps.yaf.pcm"
wait_capture out.raw $(($(stat -c %s "$F/steps.yaf.pcm") + 4000))
wd keys "$APP_TITLE" space
expect_played "Space once more" out.raw.0001 "$F/steps.yaf.pcm"
check "one device for each start" "$(captures | xargs)" "out.raw out.raw.0001"
expect_closes_cleanly

e2e_case "Play twice restarts, Stop ends the output"
player "$(winpath "$F/long.yaf")"
wd cmd "$APP_TITLE" 2
wait_capture out.raw 4000
wd cmd "$APP_TITLE" 2
wait_capture out.raw.0001 4000
wd cmd "$APP_TITLE" 3
first=$(stable_size out.raw)
second=$(stable_size out.raw.0001)
check "one device per Play" "$(captures | xargs)" "out.raw out.raw.0001"
check_true "the first play stopped part way ($first bytes)" test "$first" -lt $((240000 * 2))
check_true "the first play is the sound's start" is_prefix out.raw "$F/long.yaf.pcm"
check_true "the second play starts again at the first frame" is_prefix out.raw.0001 "$F/long.yaf.pcm"
check_true "Stop ended the output part way ($second bytes)" test "$second" -lt $((240000 * 2))
sleep 0.5
check "nothing more comes after Stop" "$(size_of out.raw.0001)" "$second"
expect_closes_cleanly

e2e_case "an accepted load while playing stops it"
player "$(winpath "$F/long.yaf")"
wd cmd "$APP_TITLE" 2
wait_capture out.raw 4000
open_file "$F/steps.yaf"
wd settle "$APP_TITLE"
stopped=$(stable_size out.raw)
check_true "the output stopped part way ($stopped bytes)" test "$stopped" -lt $((240000 * 2))
check_true "what was played is the old sound's start" is_prefix out.raw "$F/long.yaf.pcm"
shoot loaded
expect_status "new sound" loaded "$STEPS_STATUS"
expect_steps_wave "new sound" loaded
wd cmd "$APP_TITLE" 2
expect_played "then Play plays the new sound" out.raw.0001 "$F/steps.yaf.pcm"
expect_closes_cleanly

e2e_case "a refused load while playing keeps it playing"
player "$(winpath "$F/long.yaf")"
shoot long
wd cmd "$APP_TITLE" 2
wait_capture out.raw 4000
open_file "$F/bad.yaf"
wd settle "$APP_TITLE"
shoot refused
expect_status "refused file" refused "[ERROR] Not a YAF7 file"
read -r w h < <(shot_size long)
expect_same_region "the old waveform stays" long refused 0 $BAND_TOP "$w" $((h - BAND_TOP))
before=$(size_of out.raw)
sleep 0.5
check_true "the sound goes on ($before bytes, then more)" test "$(size_of out.raw)" -gt "$before"
check "on the same device" "$(captures | xargs)" "out.raw"
check_true "still the old sound" is_prefix out.raw "$F/long.yaf.pcm"

e2e_case "closing while playing"
expect_closes_cleanly
ended=$(stable_size out.raw)
check_true "the output ended part way ($ended bytes)" test "$ended" -lt $((240000 * 2))

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
    wd cmd "$APP_TITLE" 2
    wd settle "$APP_TITLE" || fail "$sound: Play left the program unresponsive"
    expect_no_capture "$sound: Play"
    wd cmd "$APP_TITLE" 3
    expect_closes_cleanly
done

e2e_case "a sound too wide to play"
player "$(winpath "$F/wide.yaf")"
wd cmd "$APP_TITLE" 2
wd settle "$APP_TITLE" || fail "Play left the program unresponsive"
expect_no_capture "96 channels: Play"
expect_closes_cleanly

e2e_case "no sound device"
ALSA_CONFIG_PATH=$NO_DEVICE app_start "$(winpath "$F/steps.yaf")"
wd cmd "$APP_TITLE" 2
wd settle "$APP_TITLE" || fail "Play with no device left the program unresponsive"
wd cmd "$APP_TITLE" 3
open_file "$F/stereo.yaf"
wd settle "$APP_TITLE"
shoot nodevice
expect_status "Open still works" nodevice "$STEREO_STATUS"
wd cmd "$APP_TITLE" 2
wd settle "$APP_TITLE" || fail "Play with no device left the program unresponsive"
expect_closes_cleanly

# After a program without a device, in the same prefix: the capture still works.
e2e_case "Play stereo 44.1 kHz"
player
open_file "$F/stereo.yaf"
wd cmd "$APP_TITLE" 2
expect_played "stereo 44.1 kHz" out.raw "$F/stereo.yaf.pcm"
expect_closes_cleanly

finish
