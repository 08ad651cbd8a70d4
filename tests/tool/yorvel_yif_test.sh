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

run
check "no arguments is a usage error" "$rc" "2"
run convert "$T/ex.yif" "$T/ex.bmp"
check "an unknown output format is a usage error" "$rc" "2"
run --help
check "--help lists the commands" "$rc|$(grep -c "yorvel \(info\|convert\)" "$T/stdout")" "0|2"

finish
