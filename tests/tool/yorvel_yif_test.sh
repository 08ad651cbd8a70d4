#!/usr/bin/env bash
# The yorvel tool on YIF images: info, PAM and PNG output, refusals, usage.
source "$(dirname "$0")/lib.sh"

# The worked example: a run of nine 00 trits, then 01 FF 00; 2 x 2, 3-trit, RLE.
example="59494631 02000000 02000000 03 01 0000  FF0001 000000010000 00  01FF00"
bytes "$example" >"$T/ex.yif"

run info "$T/ex.yif"
check "info prints the status line" "$rc|$out" "0|YIF v1.0 | 2x2 | 3-trit (27 colors) | RLE | 29 bytes"

cp "$T/ex.yif" "$T/ex.bin"
run info "$T/ex.bin"
check "a file without extension is known by its magic" "$rc|$out" "0|YIF v1.0 | 2x2 | 3-trit (27 colors) | RLE | 29 bytes"

bytes "59494631 02000000 02000000 03 01 00" >"$T/short.yif"
run info "$T/short.yif"
check "15 bytes are refused" "$rc|$out|$err" "1||[ERROR] File too small"

bytes "59494632 02000000 02000000 03 01 0000" >"$T/magic.yif"
run info "$T/magic.yif"
check "wrong magic is refused" "$rc|$err" "1|[ERROR] Not a YIF file"
# Content of another kind under a .yif name: the same refusal, then what it looks like.
python3 -c "import wave, sys; w = wave.open(sys.argv[1], 'wb'); w.setnchannels(1); w.setsampwidth(2)
w.setframerate(8000); w.writeframes(bytes(40)); w.close()" "$T/sound.yif"
bytes "59414637 401f0000 0100 1000 00000000 0000" >"$T/yaf.yif"
for f in "sound.yif|a WAV sound" "yaf.yif|a YAF sound"; do
    run info "$T/${f%|*}"
    check "${f%|*} is refused, and said to look like ${f#*|}" "$rc|$err" \
        "1|[ERROR] Not a YIF file"$'\n'"yorvel: $T/${f%|*} is named as a YIF image, but it looks like ${f#*|}"
done

run convert "$T/ex.yif" "$T/ex.pam"
check "convert to PAM succeeds" "$rc|$err" "0|"
{ printf 'P7\nWIDTH 2\nHEIGHT 2\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n'
  bytes "808080FF 808080FF 808080FF FF0080FF"; } >"$T/want.pam"
check_true "PAM holds R,G,B,A as decoded" cmp -s "$T/ex.pam" "$T/want.pam"

run convert "$T/ex.yif" "$T/ex.PNG"
check "convert to PNG (extension in capitals) succeeds" "$rc|$err" "0|"
check "PNG pixels equal the PAM's" "$(/usr/bin/convert "$T/ex.PNG" -depth 8 rgba:- | xxd -p)" "808080ff808080ff808080ffff0080ff"

# Untouched pixels keep alpha 0 in both outputs: 2 x 1, only 3 trits.
bytes "59494631 02000000 01000000 03 00 0000 010101" >"$T/part.yif"
run convert "$T/part.yif" "$T/part.pam"
check "untouched pixels are 0,0,0,0" "$(tail -c 8 "$T/part.pam" | xxd -p)" "ffffffff00000000"

bytes "59494631 00000000 05000000 03 00 0000 010101" >"$T/empty.yif"
run convert "$T/empty.yif" "$T/empty.png"
check "width 0 fails" "$rc" "1"
check_true "width 0 leaves no output" test ! -e "$T/empty.png"
run info "$T/empty.yif"
check "width 0 still has a status line" "$rc|$out" "0|YIF v1.0 | 0x5 | 3-trit (27 colors) | Raw | 19 bytes"

bytes "59494631 FFFFFFFF FFFFFFFF 09 01 0000" >"$T/huge.yif"
run convert "$T/huge.yif" "$T/huge.pam"
check "an image beyond 2 GiB of pixels fails" "$rc" "1"
check_true "and writes nothing" test ! -e "$T/huge.pam"

run convert "$T/ex.yif" "$T/no/such/dir/x.png"
check "an unwritable output fails" "$rc" "1"
check_true "and leaves nothing behind" test -z "$(ls "$T" | grep tmp-)"

echo old >"$T/keep.pam"
run convert "$T/empty.yif" "$T/keep.pam"
check "a failed conversion keeps an existing output" "$(cat "$T/keep.pam")" "old"

run convert "$T/missing.yif" "$T/x.pam"
check "a missing input fails" "$rc" "1"
run info "$T"
check "a directory as input fails" "$rc" "1"

# PNG -> YIF -> PAM: colours that are already levels come back unchanged.
levels3="000080FF FF8000FF 80FF00FF 000000FF FFFFFFFF 808080FF"
bytes "$levels3" | /usr/bin/convert -size 3x2 -depth 8 rgba:- "$T/levels3.png"
for opts in "--trits 3" "--trits 3 --rle"; do
    run convert "$T/levels3.png" "$T/levels3.yif" $opts
    # Six pixels of few runs: the run codes (and a marker broken up) outgrow the raw trits.
    want=""
    [ "$opts" = "--trits 3 --rle" ] && want="yorvel: run codes made $T/levels3.yif larger than raw trits: 52 bytes, raw 34"
    check "PNG to YIF ($opts) succeeds, saying when runs cost more than raw" "$rc|$err" "0|$want"
    run convert "$T/levels3.yif" "$T/levels3.pam"
    check "PNG to YIF to PAM ($opts) keeps the levels" "$(tail -c 24 "$T/levels3.pam" | xxd -p)" \
        "$(bytes "$levels3" | xxd -p)"
done
levels9="1309FFFF 627575FF"  # 19 = 2*255/26, 9 = 1*255/26, 98, 117: all levels of 9-trit pixels
bytes "$levels9" | /usr/bin/convert -size 2x1 -depth 8 rgba:- "$T/levels9.png"
run convert "$T/levels9.png" "$T/levels9.yif" --rle
run convert "$T/levels9.yif" "$T/levels9.pam"
check "9-trit round trip keeps the levels" "$(tail -c 8 "$T/levels9.pam" | xxd -p)" "1309ffff627575ff"
run info "$T/levels9.yif"
# 18 trits, three of which (FF 00 01, from the first pixel's green and blue) would read
# as a marker: their 01 run goes out as a 10-byte code, 16 + 15 + 10 bytes in all.
check "9 trits per pixel is the default" "$out" "YIF v1.0 | 2x1 | 9-trit (19683 colors) | RLE | 41 bytes"
run convert "$T/levels9.png" "$T/x.yif" --trits 5
check "--trits takes only 3 or 9" "$rc" "2"
run convert "$T/ex.yif" "$T/x.pam" --rle
check "encoder options need a PNG input" "$rc" "2"
echo "not a png" >"$T/bad.png"
run convert "$T/bad.png" "$T/bad.yif"
check "an unreadable PNG fails and writes nothing" "$rc|$(test -e "$T/bad.yif" && echo written)" "1|"

# PNG -> YIF: one 9 x 7 picture stored in many PNG forms must give the same YIF, whatever
# the bit depth, colour type, interlacing, filters, chunk layout or declared gamma: the
# stored values are the colour (16-bit samples rounded to 8 bits, no gamma conversion).
# Plain 8-bit RGB(A) takes the libdeflate path, the rest libpng's: they must agree.
mkdir "$T/png"
python3 - "$T/png" <<'PY'
import struct, sys, zlib
out = sys.argv[1]
W, H = 9, 7
def colour(x, y):
    return (128, 128, 128) if (x, y) == (0, 0) else ((x * 37 + y * 11) % 256, (x * 5 + y * 53) % 256, (x * 97 + y * 29) % 256)
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
def paeth(a, b, c):
    p = a + b - c; pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c
def filtered(rows, bpp, cycle):
    out, prev = b'', bytes(len(rows[0]) if rows else 0)
    for i, row in enumerate(rows):
        f = i % 5 if cycle else 0
        line = bytearray()
        for j, v in enumerate(row):
            a = row[j - bpp] if j >= bpp else 0
            c = prev[j - bpp] if j >= bpp else 0
            pred = [0, a, prev[j], (a + prev[j]) // 2, paeth(a, prev[j], c)][f]
            line.append((v - pred) % 256)
        out += bytes([f]) + bytes(line)
        prev = row
    return out
def make(name, depth=8, alpha=False, palette=False, interlace=False, cycle=False, extra=b'', split=0, bad_crc=False):
    spp = 1 if palette else 4 if alpha else 3
    bpp = max(1, spp * depth // 8)
    cols = sorted({colour(x, y) for y in range(H) for x in range(W)})
    def sample_bytes(x, y):
        if palette: return bytes([cols.index(colour(x, y))])
        vals = list(colour(x, y)) + ([(x * y * 29) % 256] if alpha else [])
        if depth == 8: return bytes(vals)
        return b''.join(struct.pack('>H', 0x8000 if v == 128 else v * 257) for v in vals)
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)] if interlace else [(0, 0, 1, 1)]
    data = b''
    for x0, y0, dx, dy in passes:
        rows = [b''.join(sample_bytes(x, y) for x in range(x0, W, dx)) for y in range(y0, H, dy)]
        if rows and rows[0]: data += filtered(rows, bpp, cycle)
    ctype = 3 if palette else 6 if alpha else 2
    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', W, H, depth, ctype, 0, 0, 1 if interlace else 0))
    png += extra
    if palette: png += chunk(b'PLTE', b''.join(bytes(c) for c in cols))
    z = zlib.compress(data, 9)
    pieces = [z[i:i + split] for i in range(0, len(z), split)] if split else [z]
    if split: png += chunk(b'tEXt', b'note\x00before image data')
    for piece in pieces:
        png += chunk(b'IDAT', piece)
    if bad_crc: png = png[:-13] + bytes([png[-13] ^ 1]) + png[-12:]
    open(f'{out}/{name}.png', 'wb').write(png + chunk(b'IEND', b''))
gamma = lambda g: chunk(b'gAMA', struct.pack('>I', g))
make('reference')
make('rgb8-filters', cycle=True)
make('rgba8-filters', alpha=True, cycle=True)
make('rgb8-interlaced', interlace=True)
make('rgb8-srgb-gamma', extra=chunk(b'sRGB', b'\x00') + gamma(45455), split=7)
make('rgb16', depth=16, extra=gamma(100000))
make('rgb16-interlaced', depth=16, interlace=True)
make('rgba16-interlaced-filters', depth=16, alpha=True, interlace=True, cycle=True)
make('rgba8-interlaced-filters', alpha=True, interlace=True, cycle=True)
make('palette-filters', palette=True, cycle=True)
make('damaged', bad_crc=True)
PY
run convert "$T/png/reference.png" "$T/png/reference.yif"
run convert "$T/png/reference.yif" "$T/png/reference.pam"
check "grey 128 (also 16-bit 0x8000) is the 9-trit level 127" "$rc|$(tail -c 252 "$T/png/reference.pam" | head -c 4 | xxd -p)" "0|7f7f7fff"
for v in rgb8-filters rgba8-filters rgb8-interlaced rgb8-srgb-gamma rgb16 rgb16-interlaced \
    rgba16-interlaced-filters rgba8-interlaced-filters palette-filters; do
    run convert "$T/png/$v.png" "$T/png/$v.yif"
    check "$v: PNG to YIF succeeds" "$rc|$err" "0|"
    check_true "$v: the same YIF as the plain 8-bit RGB picture" cmp -s "$T/png/$v.yif" "$T/png/reference.yif"
done
run convert "$T/png/damaged.png" "$T/png/damaged.yif"
check "a PNG with a damaged image chunk fails and writes nothing" "$rc|$(ls "$T/png" | grep -c damaged.yif)" "1|0"
cp "$T/png/rgb16.png" "$T/png/picture"
run convert "$T/png/picture" "$T/png/sniffed.yif"
check_true "a PNG without extension is known by its signature" cmp -s "$T/png/sniffed.yif" "$T/png/reference.yif"

# Pictures the viewer cannot show are refused from the header: no pixel is read, and
# little memory is taken however large the header says the picture is.
for size in "30000 30000" "100000 100000" "65536 8192"; do
    python3 - "$T/wide.png" $size <<'PY'
import struct, sys, zlib
w, h = int(sys.argv[2]), int(sys.argv[3])
chunk = lambda k, d: struct.pack('>I', len(d)) + k + d + struct.pack('>I', zlib.crc32(k + d))
open(sys.argv[1], 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
                              + chunk(b'IDAT', zlib.compress(b'\0' * 1000)) + chunk(b'IEND', b''))
PY
    run_limited 200000 convert "$T/wide.png" "$T/wide.yif"
    check "${size/ /x} is refused at once" "$rc|${err%% (*}" "1|yorvel: the picture is too large for the viewer"
done
check_true "and nothing is written" test ! -e "$T/wide.yif"

# Out of memory is a message, not a crash: 16384 x 8192 pixels need 512 MiB.
bytes "59494631 00400000 00200000 09 00 0000" >"$T/big.yif"
if ! sanitized; then
    run_limited 300000 convert "$T/big.yif" "$T/big.pam"
    check "a picture beyond the memory there is fails cleanly" "$rc|$err" "1|yorvel: not enough memory"
    check_true "and leaves nothing behind" test -z "$(ls "$T" | grep 'big.pam')"
fi

# info reads the header and the size, whatever the size: a sparse YIF of 1.5 GB of run
# codes within a small address space, and one of 2 GiB and more as the viewer says it.
{ bytes "59494631 02000000 02000000 03 01 0000"; } >"$T/sparse.yif"
truncate -s 1500M "$T/sparse.yif"
run_limited 100000 info "$T/sparse.yif"
check "info on 1.5 GB reads the header only" "$rc|$out" "0|YIF v1.0 | 2x2 | 3-trit (27 colors) | RLE | 1572864000 bytes"
truncate -s 2147483648 "$T/sparse.yif"
run_limited 100000 info "$T/sparse.yif"
check "info on 2 GiB says what the viewer says" "$rc|$err" "1|[ERROR] File too small"
rm "$T/sparse.yif"
# A small picture at the start of a 1 GiB sparse file: thumbnail and convert read what
# the picture uses (the header and 12 trits, or the run codes that make them), within
# an address space that reading the file would not fit in.
for enc in "01 0000 FF0001 000000010000 00 01FF00" "00 0000 000000 000000 000000 01FF00"; do
    bytes "59494631 02000000 02000000 03 $enc" >"$T/small.yif"
    cp "$T/small.yif" "$T/sparse.yif"
    truncate -s 1G "$T/sparse.yif"
    run convert "$T/small.yif" "$T/small.pam"
    run_limited 100000 convert "$T/sparse.yif" "$T/sparse.pam"
    check "a 2x2 picture in 1 GiB ($enc): converted as the picture alone" \
        "$rc|$err|$(cmp -s "$T/small.pam" "$T/sparse.pam" && echo same)" "0||same"
    run_limited 100000 thumbnail "$T/sparse.yif" "$T/sparse.png" --size 2
    check "and its thumbnail" "$rc|$err|$(pixel "$T/sparse.png" 1 1)" "0||ff0080ff"
done
rm "$T/sparse.yif"

check_streams yif "$T/ex.yif" pam
"$YORVEL" info "$T/ex.yif" >/dev/full 2>"$T/stderr"
check "a write error on stdout fails" "$?|$(cat "$T/stderr")" "1|yorvel: cannot write the output: No space left on device"

# OUT: never the input under another name; a replaced OUT keeps its mode; a new one
# gets the umask's; an interrupted conversion leaves no temporary file.
ln -s ex.yif "$T/link.png"
ln "$T/ex.yif" "$T/hard.pam"
for target in link.png hard.pam; do
    run convert "$T/ex.yif" "$T/$target"
    check "$target (IN under another name) is refused" "$rc|$err" "1|yorvel: IN and OUT are the same file ($T/$target)"
done
check "and IN is untouched" "$(xxd -p "$T/ex.yif" | tr -d '\n')" "$(bytes "$example" | xxd -p | tr -d '\n')"
echo old >"$T/private.png"
chmod 600 "$T/private.png"
run convert "$T/ex.yif" "$T/private.png"
check "a replaced OUT keeps its mode" "$rc|$(stat -c %a "$T/private.png")" "0|600"
(umask 027 && "$YORVEL" convert "$T/ex.yif" "$T/fresh.png")
check "a new OUT has the umask's mode" "$(stat -c %a "$T/fresh.png")" "640"
# Every run in a container may be process 1: a temporary file a killed run of the same
# process id left behind (exec keeps the id) is no obstacle, and is left alone.
bash -c 'echo left >"$1.tmp-$$"; exec "$2" convert "$3" "$1"' _ "$T/stale.png" "$YORVEL" "$T/ex.yif" 2>"$T/stderr"
check "a stale OUT.tmp-PID does not block the run" "$?|$(cat "$T/stderr")|$(extent "$T/stale.png")" "0||2x2"
check "and stays as it was" "$(cat "$T"/stale.png.tmp-*)" "left"
rm "$T"/stale.png*
python3 - "$T/noise.png" <<'PY'
import random, struct, sys, zlib
chunk = lambda k, d: struct.pack('>I', len(d)) + k + d + struct.pack('>I', zlib.crc32(k + d))
rows = b''.join(b'\0' + random.Random(y).randbytes(512 * 3) for y in range(512))
open(sys.argv[1], 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 512, 512, 8, 2, 0, 0, 0))
                              + chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))
PY
for signal in INT TERM HUP; do
    # The PNG arrives through a pipe that stalls halfway: the tool waits with its
    # temporary file open until the signal comes.
    mkfifo "$T/stall.png"
    { head -c 200000 "$T/noise.png"; exec sleep 20; } >"$T/stall.png" &
    feeder=$!
    "$YORVEL" convert "$T/stall.png" "$T/stalled.yif" 2>/dev/null &
    pid=$!
    # The temporary file, unnamed (O_TMPFILE) or named beside OUT where the file system has no unnamed files.
    temporary() { ls -l "/proc/$pid/fd" 2>/dev/null | grep -q "$T/\(#.*(deleted)\|stalled.yif.tmp-\)"; }
    for _ in $(seq 100); do temporary && break; sleep 0.1; done
    check_true "SIG$signal: the temporary file was open" temporary
    kill -$signal $pid
    wait $pid 2>/dev/null
    check "SIG$signal ends the tool by that signal" "$?" "$((128 + $(kill -l $signal)))"
    check "SIG$signal: nothing is left behind" "$(ls "$T" | grep -c stalled)" "0"
    kill $feeder 2>/dev/null
    wait $feeder 2>/dev/null
    rm -f "$T/stall.png"
done

# Thumbnails: small pictures enlarged by whole factors, larger ones box-filtered with
# colours weighted by alpha, rows the stream never reaches filled without decoding.
while IFS='|' read -r what hex size want_extent px_x px_y want_pixel; do
    bytes "$hex" >"$T/th.yif"
    run thumbnail "$T/th.yif" "$T/th.png" --size "$size"
    check "thumbnail: $what" "$rc|$err|$(extent "$T/th.png")|$(pixel "$T/th.png" "$px_x" "$px_y")" \
        "0||$want_extent|$want_pixel"
done <<TABLE
2x2 enlarged 4 times, top left|$example|8|8x8|3|3|808080ff
2x2 enlarged 4 times, bottom right|$example|9|8x8|4|4|ff0080ff
2x2 into one pixel averages|$example|1|1x1|0|0|a06080ff
transparent pixels add no colour|59494631 02000000 01000000 03 00 0000 010101|1|1x1|0|0|ffffff80
a leftover trit: the rows below are opaque black|59494631 01000000 04000000 03 00 0000 01010100|2|1x2|0|1|000000ff
and the reached row is averaged with them|59494631 01000000 04000000 03 00 0000 01010100|2|1x2|0|0|808080ff
16 bytes naming a 2 GiB picture: transparent|59494631 00400000 FF7F0000 09 00 0000|128|64x128|63|127|00000000
TABLE
bytes "59494631 01000004 02000000 03 00 0000 010101" >"$T/thumb-wide.yif"
run thumbnail "$T/thumb-wide.yif" "$T/thumb-wide.png"
check "a stream that reaches more than 256 MiB of rows gets no thumbnail" \
    "$rc|$(test -e "$T/thumb-wide.png" && echo written)" "1|"
run thumbnail "$T/magic.yif" "$T/magic.png"
check "a refused picture: its error text, no thumbnail" "$rc|$err|$(test -e "$T/magic.png" && echo written)" \
    "1|[ERROR] Not a YIF file|"

# Usage errors: what was wrong first, then the short usage.
while IFS='|' read -r args first; do
    run $args
    check "usage: $args" "$rc|$(head -1 "$T/stderr")|$(sed -n 2p "$T/stderr")" "2|$first|usage: yorvel info FILE"
done <<TABLE
|yorvel: no command given
frobnicate|yorvel: unknown command 'frobnicate'
convert $T/ex.yif $T/ex.bmp|yorvel: $T/ex.yif is a YIF image; it converts to .pam or .png, not .bmp
convert $T/levels9.png $T/x.yif --trits 4|yorvel: --trits takes 3 or 9, not '4'
convert $T/ex.yif $T/x.pam --rle|yorvel: --trits and --rle are for PNG to YIF; $T/ex.yif is a YIF image
info $T/levels9.png|yorvel: info shows Yorvel files; $T/levels9.png is a PNG picture (convert it to .yif)
thumbnail $T/ex.yif $T/x.png --size 0|yorvel: --size takes a number of pixels from 1 to 2048, not '0'
thumbnail $T/ex.yif $T/x.png --size 2049|yorvel: --size takes a number of pixels from 1 to 2048, not '2049'
thumbnail $T/ex.yif $T/x.png --size -5|yorvel: --size takes a number of pixels from 1 to 2048, not '-5'
thumbnail $T/ex.yif $T/x.png --size|yorvel: --size takes a number of pixels from 1 to 2048, not ''
thumbnail $T/ex.yif $T/x.png --rle|yorvel: unknown option '--rle'
thumbnail $T/levels9.png $T/x.png|yorvel: thumbnail shows Yorvel files; $T/levels9.png is a PNG picture
TABLE

run
check "no arguments is a usage error" "$rc" "2"
run convert "$T/ex.yif" "$T/ex.bmp"
check "an unknown output format is a usage error" "$rc" "2"
run --help
check "--help lists the commands" "$rc|$(grep -c "yorvel \(info\|convert\|thumbnail\)" "$T/stdout")" "0|3"

finish
