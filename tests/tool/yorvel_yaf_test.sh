#!/usr/bin/env bash
# The yorvel tool on YAF sounds: info, WAV output, refusals, usage.
source "$(dirname "$0")/lib.sh"

# header RATE CH BITS FRAMES THRESHOLD (each as little-endian hex): the 20 header bytes.
header() { bytes "59414637 $1 $2 $3 $4 $5 0000"; }

# 8000 Hz stereo, 10 frames named, threshold -300; only 7 sample bytes follow.
{ header 401f0000 0200 1000 0a000000 d4fe; bytes "0100 ff7f 0080 ee"; } >"$T/short.yaf"
run info "$T/short.yaf"
check "info prints the clamped status line" "$rc|$out|$err" "0|YAF7 | 8000Hz 2ch 16bit | 1 samples | 0.0s | threshold -300|"

cp "$T/short.yaf" "$T/short.bin"
run info "$T/short.bin"
check "a file without extension is known by its magic" "$rc" "0"

run convert "$T/short.yaf" "$T/short.wav"
check "convert to WAV succeeds" "$rc|$err" "0|"
check "RIFF/WAVE PCM, 2 channels, 8000 Hz, 32000 bytes/s, align 4, 16 bits" \
    "$(head -c 36 "$T/short.wav" | tail -c 24 | xxd -p)" "666d74201000000001000200401f0000007d000004001000"
check "the data chunk holds the one whole frame kept" "$(tail -c 12 "$T/short.wav" | xxd -p)" "64617461040000000100ff7f"

# Mono 44100 Hz, more data than named: only the named frames are written.
{ header 44ac0000 0100 1000 03000000 0000; bytes "0100 0200 0300 0400 0500"; } >"$T/mono.yaf"
run convert "$T/mono.yaf" "$T/mono.WAV"
check "convert to .WAV (capitals) succeeds" "$rc" "0"
check "mono header fields" "$(head -c 36 "$T/mono.WAV" | tail -c 14 | xxd -p)" "010044ac00008858010002001000"
check "only the named frames are written" "$(tail -c 14 "$T/mono.WAV" | xxd -p)" "6461746106000000010002000300"

{ header 401f0000 0100 1000 00000000 0000; } >"$T/empty.yaf"
run convert "$T/empty.yaf" "$T/empty.wav"
check "a sound of 0 frames gives an empty WAV" "$rc|$(wc -c <"$T/empty.wav")|$(tail -c 8 "$T/empty.wav" | xxd -p)" \
    "0|44|6461746100000000"

# Sounds a WAV file cannot carry: nothing is written and an existing output stays.
{ header 401f0000 0000 1000 05000000 0000; } >"$T/zero-ch.yaf"
{ header 00000000 0100 1000 01000000 0000; bytes "0100"; } >"$T/zero-rate.yaf"
{ header 401f0000 ffff 1000 00000000 0000; } >"$T/many-ch.yaf"
{ header ffffff7f 0200 1000 00000000 0000; } >"$T/fast.yaf"
for f in zero-ch zero-rate many-ch fast; do
    run convert "$T/$f.yaf" "$T/$f.wav"
    check "$f: fails with a message" "$rc|$(echo "$err" | grep -c '^yorvel: ')" "1|1"
    check_true "$f: writes nothing" test ! -e "$T/$f.wav"
done
run info "$T/zero-ch.yaf"
check "0 channels still has a status line" "$out" "YAF7 | 8000Hz 0ch 16bit | 5 samples | 0.0s | threshold 0"
echo old >"$T/keep.wav"
run convert "$T/zero-ch.yaf" "$T/keep.wav"
check "a failed conversion keeps an existing output" "$(cat "$T/keep.wav")" "old"
check_true "and leaves no temporary file" test -z "$(ls "$T" | grep tmp-)"

run convert "$T/mono.yaf" "$T/no/such/dir/x.wav"
check "an unwritable output fails" "$rc" "1"
check_true "and leaves nothing behind" test -z "$(ls "$T" | grep tmp-)"

# Refusals: the player's texts on stderr, exit 1.
head -c 19 "$T/mono.yaf" >"$T/nineteen.yaf"
run info "$T/nineteen.yaf"
check "19 bytes are refused" "$rc|$out|$err" "1||[ERROR] File too small"
for magic in 59414638 79616637; do  # "YAF8", "yaf7"
    { bytes "$magic"; tail -c +5 "$T/mono.yaf"; } >"$T/magic.yaf"
    run convert "$T/magic.yaf" "$T/magic.wav"
    check "magic $magic is refused" "$rc|$err" "1|[ERROR] Not a YAF7 file"
    check_true "magic $magic writes nothing" test ! -e "$T/magic.wav"
done

run convert "$T/mono.yaf" "$T/mono.mp3"
check "an unknown output format is a usage error" "$rc" "2"
run convert "$T/missing.yaf" "$T/x.wav"
check "a missing input fails" "$rc" "1"

# WAV -> YAF -> WAV keeps the samples; other WAV formats arrive as 16-bit.
run convert "$T/mono.WAV" "$T/back.yaf"
check "WAV to YAF succeeds" "$rc|$err" "0|"
run info "$T/back.yaf"
check "the made YAF names rate, channels and frames" "$out" "YAF7 | 44100Hz 1ch 16bit | 3 samples | 0.0s | threshold 0"
run convert "$T/back.yaf" "$T/back.wav"
check_true "WAV to YAF to WAV gives the same file" cmp -s "$T/mono.WAV" "$T/back.wav"
python3 -c "
import wave, sys
w = wave.open(sys.argv[1], 'wb'); w.setnchannels(2); w.setsampwidth(1); w.setframerate(11025)
w.writeframes(bytes([128, 0, 255, 129])); w.close()" "$T/eight.wav"
run convert "$T/eight.wav" "$T/eight.yaf"
check "an 8-bit WAV becomes 16-bit samples" "$rc|$(tail -c 8 "$T/eight.yaf" | xxd -p)" "0|00000080007f0001"
# Floating-point WAV (32- and 64-bit, plain and extensible): full scale +-1.0 is
# 32767 / -32768, values are rounded, and those beyond full scale are clipped, never wrapped.
samples="0.0 1.0 -1.0 0.5 -0.5 0.0000183 -0.0000183 1.5 -2.0 40000.0 -40000.0 nan"
want="0000 ff7f 0080 0040 00c0 0100 ffff ff7f 0080 ff7f 0080 0000"
for form in 32:plain 32:extensible 64:plain 64:extensible; do
    python3 - "$T/float.wav" "${form%:*}" "${form#*:}" $samples <<'PY'
import struct, sys
path, bits, form, values = sys.argv[1], int(sys.argv[2]), sys.argv[3], [float(v) for v in sys.argv[4:]]
data = b''.join(struct.pack('<f' if bits == 32 else '<d', v) for v in values)
align = bits // 8
fmt = struct.pack('<HHIIHH', 0xFFFE if form == 'extensible' else 3, 1, 8000, 8000 * align, align, bits)
if form == 'extensible':  # valid bits, channel mask, the IEEE float sub-format GUID
    fmt += struct.pack('<HHI', 22, bits, 4) + bytes.fromhex('0300000000001000800000aa00389b71')
body = b'WAVE' + b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', len(data)) + data
open(path, 'wb').write(b'RIFF' + struct.pack('<I', len(body)) + body)
PY
    run convert "$T/float.wav" "$T/float.yaf"
    check "$form-bit float WAV: scaled, rounded and clipped" "$rc|$(tail -c 24 "$T/float.yaf" | xxd -p)" \
        "0|$(echo "$want" | tr -d ' ')"
done

# Sounds are known by content too: any format libsndfile reads, with any name.
cp "$T/mono.WAV" "$T/recording"
python3 -c "
import aifc, sys
a = aifc.open(sys.argv[1], 'wb'); a.setnchannels(1); a.setsampwidth(2); a.setframerate(44100)
a.writeframes(bytes.fromhex('000100020003')); a.close()" "$T/recording.aiff" 2>/dev/null
for f in recording recording.aiff; do
    run convert "$T/$f" "$T/$f.yaf"
    check "$f: a sound without the .wav extension converts" "$rc|$(tail -c 6 "$T/$f.yaf" | xxd -p)" "0|010002000300"
done
run info "$T/recording"
check "info on a sound file says what to do with it" "$rc|$(head -1 "$T/stderr")" \
    "2|yorvel: info shows Yorvel files; $T/recording is a sound file (convert it to .yaf)"

# info reads the header and the size only; from 2 GiB on it says what the player says.
{ header 401f0000 0100 1000 00000000 0000; } >"$T/sparse.yaf"
truncate -s 2600M "$T/sparse.yaf"
run_limited 100000 info "$T/sparse.yaf"
check "info on a 2.6 GB YAF" "$rc|$err" "1|[ERROR] File too small"
rm "$T/sparse.yaf"
check_streams yaf "$T/mono.yaf" wav
run convert "$T/zero-rate.yaf" "$T/zero-rate.wav"
check "one channel is one channel" "$err" "yorvel: a WAV file cannot hold 1 channel at 0 Hz"

echo "RIFF junk" >"$T/junk.wav"
run convert "$T/junk.wav" "$T/junk.yaf"
check "an unreadable WAV fails and writes nothing" "$rc|$(test -e "$T/junk.yaf" && echo written)" "1|"

# The thumbnail: the player's waveform, 16 x 8. Four frames over 16 columns (four
# columns a frame): full scale up, full scale down, then silence on the centre line.
{ header 401f0000 0200 1000 04000000 0000; bytes "ff7f 0000 0080 0000 0000 0000 0000 0000"; } >"$T/wave.yaf"
run thumbnail "$T/wave.yaf" "$T/wave.png" --size 16
check "a sound's thumbnail is twice as wide as high" "$rc|$err|$(extent "$T/wave.png")" "0||16x8"
bg=0a0a14ff line=4dc9f0ff
while read -r x y want what; do
    check "waveform: $what" "$(pixel "$T/wave.png" "$x" "$y")" "$want"
done <<TABLE
0 1 $line the first column rises from the centre to the peak
0 4 $line ... from the centre
0 0 $bg above the peak is background
5 7 $line a negative sample is drawn below the centre
5 0 $bg with background above
12 4 $line silence lies on the centre line
12 3 $bg and nowhere else
TABLE
run thumbnail "$T/empty.yaf" "$T/empty.png" --size 16
check "a sound without frames: background alone" "$rc|$(pixel "$T/empty.png" 0 4)" "0|$bg"

finish
