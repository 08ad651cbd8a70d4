#!/usr/bin/env bash
# The image viewer end to end: greeting, resources, pictures from the command line, the
# Open dialog (button and Ctrl+O) and drops, file names outside the ANSI code page,
# refusals, a header without pixels, resizing, closing.
source "$(dirname "$0")/lib.sh"
e2e_init "$@"

APP_TITLE=YorvelYIFReader
TITLE="YorvelYIFReader — Yorvel Image Format"
BG="6 6 12"
BUTTON_RIGHT=116  # the button spans x 16 to 116, y 4 to 32; the status line starts at x 124
F=$E2E/files

# --- Test images, made here ---------------------------------------------------------

le32() { printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }

# yif_file NAME WIDTH HEIGHT TRITS_PER_PIXEL ENCODING STREAM_HEX
yif_file() { bytes "59494631 $(le32 "$2") $(le32 "$3") $(printf '%02x%02x' "$4" "$5") 0000 $6" >"$F/$1"; }

# A 3-trit colour as the screen shows it: trit bytes FF, 00, 01 give 0, 128, 255.
trits_rgb() {
    local t out=()
    for t in "${1:0:2}" "${1:2:2}" "${1:4:2}"; do
        case $t in FF) out+=(0) ;; 00) out+=(128) ;; 01) out+=(255) ;; esac
    done
    echo "${out[*]}"
}

# Picture A: 4 x 3 cells of distinct colours (red, green, blue, white / cyan, magenta,
# yellow, grey / black, dark red, dark green, dark blue), each cell 2 x 2 pixels, so the
# middle of a cell shows its exact colour whatever the stretching blends between cells.
A_CELLS=(01FFFF FF01FF FFFF01 010101 FF0101 01FF01 0101FF 000000 FFFFFF 00FFFF FF00FF FFFF00)
a_stream=""
for y in 0 1 2 3 4 5; do
    for x in 0 1 2 3 4 5 6 7; do a_stream+=${A_CELLS[$((y / 2 * 4 + x / 2))]}; done
done
yif_file a.yif 8 6 3 0 "$a_stream"
A_STATUS="YIF v1.0 | 8x6 | 3-trit (27 colors) | Raw | 160 bytes"
cp "$F/a.yif" "$F/with blank.yif"
cp "$F/a.yif" "$F/画像.yif"  # a name the ANSI code page (1252 here) cannot spell

# Picture B: run-coded, 2 x 2 (nine 00 trits, then 01 FF 00): grey, grey / grey, pink.
yif_file b.yif 2 2 3 1 "FF0001 000000010000 00  01FF00"
B_CELLS=(000000 000000 000000 01FF00)
B_STATUS="YIF v1.0 | 2x2 | 3-trit (27 colors) | RLE | 29 bytes"
cp "$F/b.yif" "$F/図.yif"

bytes "59494631 02000000 02000000 03 01 00" >"$F/small.yif"   # 15 bytes
bytes "59494632 02000000 02000000 03 00 0000" >"$F/magic.yif"  # "YIF2"
yif_file zero.yif 0 5 3 0 "010101"
ZERO_STATUS="YIF v1.0 | 0x5 | 3-trit (27 colors) | Raw | 19 bytes"

# --- What the window should show ------------------------------------------------------

# placement CLIENT_W CLIENT_H IMAGE_W IMAGE_H: "x y w h" of the picture, worked out apart
# from the program: single precision (each step rounded to nearest-even 24 bits),
# truncation toward zero.
placement() {
    awk -v W="$1" -v H="$2" -v w="$3" -v h="$4" '
        function f32(v,   s, a, e, q, n, f, d) {
            if (v == 0) return 0
            s = v < 0 ? -1 : 1; a = v * s
            e = int(log(a) / log(2)); while (2 ^ e > a) e--; while (2 ^ (e + 1) <= a) e++
            q = 2 ^ (e - 23); n = a / q; f = int(n); d = n - f
            if (d > 0.5 || (d == 0.5 && f % 2 == 1)) f++
            return s * f * q
        }
        BEGIN {
            A = H - 40; sx = f32(W / w); sy = f32(A / h); m = sx < sy ? sx : sy
            s = f32(f32(0.95) * m); dw = int(f32(w * s)); dh = int(f32(h * s))
            print int((W - dw) / 2), int((A - dh) / 2) + 40, dw, dh
        }'
}

# expect_picture WHAT SHOT CLIENT_W CLIENT_H IMAGE_W IMAGE_H COLUMNS ROWS CELL...
# The picture of COLUMNS x ROWS cells stands at its placement: its four corners show the
# corner cells exactly (stretching blends only between pixel origins, and the last row
# and column are flat), the pixels just outside show the background, and with cells of
# at least 2 x 2 pixels the middle of every cell shows that cell's colour.
expect_picture() {
    local what=$1 shot=$2 cw=$3 ch=$4 iw=$5 ih=$6 cols=$7 rows=$8
    shift 8
    local cells=("$@") px py pw ph
    read -r px py pw ph < <(placement "$cw" "$ch" "$iw" "$ih")
    local r=$((px + pw - 1)) b=$((py + ph - 1)) last=$((cols * rows - 1))
    at() {  # at WHAT X Y "R G B"
        expect_pixel "$what: $1" "$shot" "$2" "$3" "$4"
    }
    at "top left" "$px" "$py" "$(trits_rgb "${cells[0]}")"
    at "top right" "$r" "$py" "$(trits_rgb "${cells[$((cols - 1))]}")"
    at "bottom left" "$px" "$b" "$(trits_rgb "${cells[$((last - cols + 1))]}")"
    at "bottom right" "$r" "$b" "$(trits_rgb "${cells[$last]}")"
    at "left of it" $((px - 1)) "$b" "$BG"
    at "above it" "$r" $((py - 1)) "$BG"
    at "right of it" $((r + 1)) "$b" "$BG"
    at "below it" "$r" $((b + 1)) "$BG"
    local cx=$((iw / cols)) cy=$((ih / rows)) i j
    [ "$cx" -ge 2 ] && [ "$cy" -ge 2 ] || return 0
    for ((j = 0; j < rows; j++)); do
        for ((i = 0; i < cols; i++)); do
            # Source point half a pixel into the cell, mapped to the screen.
            local x=$((px + (2 * i * cx + cx - 1) * pw / (2 * iw)))
            local y=$((py + (2 * j * cy + cy - 1) * ph / (2 * ih)))
            at "cell $i,$j" "$x" "$y" "$(trits_rgb "${cells[$((j * cols + i))]}")"
        done
    done
}

# expect_status WHAT SHOT TEXT: the status line (the band right of the button) is,
# pixel for pixel, TEXT drawn as the program draws it.
expect_status() {
    local w h
    read -r w h < <(shot_size "$2")
    ref_text "ref-$2" "$w" 40 124 8 $((w - 16)) 30 4DC9F0 06060C 32 "$3"
    expect_same_region "$1" "$2" "ref-$2" "$BUTTON_RIGHT" 0 $((w - BUTTON_RIGHT)) 40
}

# expect_shows SHOT A|B: the window, shot as SHOT, shows picture A (or B) placed for its
# client size, and that picture's status line.
expect_shows() {
    local cw ch
    read -r cw ch < <(client_size)
    shoot "$1"
    if [ "$2" = A ]; then
        expect_picture "picture A" "$1" "$cw" "$ch" 8 6 4 3 "${A_CELLS[@]}"
        expect_status "status of A" "$1" "$A_STATUS"
    else
        expect_picture "picture B" "$1" "$cw" "$ch" 2 2 2 2 "${B_CELLS[@]}"
        expect_status "status of B" "$1" "$B_STATUS"
    fi
}

# expect_no_picture WHAT SHOT: background everywhere below the top band (sampled).
expect_no_picture() {
    local w h x y
    read -r w h < <(shot_size "$2")
    for x in 0 $((w / 4)) $((w / 2)) $((w - 1)); do
        for y in 40 $((h / 2)) $((h - 1)); do expect_pixel "$1" "$2" "$x" "$y" "$BG"; done
    done
}


files_before=$(tree_state "$F" "$E2E/cwd")
touch "$E2E/stamp"

# --- Cases ---------------------------------------------------------------------------

e2e_case "started without a file"
app_start
check "title" "$(wd gettext "$APP_TITLE")" "$TITLE"
check "the button" "$(wd children "$APP_TITLE")" "1 Button 16 4 100 28 Open .yif"
shoot greeting
read -r CW CH < <(client_size)
expect_status "greeting" greeting "YIF Reader v1.0 -- Open a .yif file"
ref_text other "$CW" 40 124 8 $((CW - 16)) 30 4DC9F0 06060C 32 "YIF Reader v1.0 -- Open a .yif fil"
check_true "one character less is seen" \
    test "$(differing_pixels greeting other "$BUTTON_RIGHT" 0 $((CW - BUTTON_RIGHT)) 40)" -gt 0
expect_no_picture "nothing below the band" greeting
expect_resources
expect_own_icon
expect_closes_cleanly

e2e_case "started with a file"
app_start "$(winpath "$F/a.yif")"
read -r CW CH < <(client_size)
expect_shows a A

e2e_case "the Open dialog replaces the picture"
open_file "$F/b.yif"
expect_shows b B

e2e_case "a cancelled Open dialog changes nothing"
click_client 66 18  # the real button, clicked
wd dlg Open cancel || fail "no Open dialog to cancel"
shoot cancelled
# All the program paints; the button itself may show that it has the focus now.
check "the window is unchanged" "$(differing_pixels b cancelled 0 34 "$CW" $((CH - 34)))" 0
check "the status line is unchanged" "$(differing_pixels b cancelled "$BUTTON_RIGHT" 0 $((CW - BUTTON_RIGHT)) 34)" 0

for refused in "small.yif|[ERROR] File too small" "magic.yif|[ERROR] Not a YIF file"; do
    e2e_case "refused ${refused%%|*}"
    open_file "$F/${refused%%|*}"
    shoot refused
    expect_status "error text at once" refused "${refused#*|}"
    check "picture B still drawn" "$(differing_pixels b refused 0 40 "$CW" $((CH - 40)))" 0
done

e2e_case "a larger window"
wd resize "$APP_TITLE" 1100 800
read -r CW2 CH2 < <(client_size)
shoot larger
# The whole client area is painted anew for the new size, with nothing forcing it: the
# picture at its new placement, background everywhere else below the band (nothing left
# of the picture placed for the old size), the status line across the new width.
expect_picture "picture B placed anew" larger "$CW2" "$CH2" 2 2 2 2 "${B_CELLS[@]}"
check "nothing else below the band" \
    "$(count_other_pixels larger "$BG" 0 40 "$CW2" $((CH2 - 40)) $(placement "$CW2" "$CH2" 2 2))" 0
expect_status "the status line" larger "[ERROR] Not a YIF file"

e2e_case "a header of width 0"
open_file "$F/zero.yif"
shoot zero
expect_status "status of width 0" zero "$ZERO_STATUS"
expect_no_picture "picture gone" zero

e2e_case "closing after viewing"
expect_closes_cleanly

e2e_case "a quoted path with a blank"
app_start "$(winpath "$F/with blank.yif")"
expect_shows quoted A
expect_closes_cleanly

e2e_case "a file named outside the ANSI code page, on the command line"
app_start "$(winpath "$F/画像.yif")"
expect_shows cjk A

e2e_case "a file dropped on the window"
drop_file "$F/図.yif"
expect_shows dropped B

e2e_case "Ctrl+O opens the Open dialog"
wd keys "$APP_TITLE" ctrl+o && wd open "$(winpath "$F/a.yif")" || fail "Ctrl+O gave no Open dialog"
expect_shows keyed A
expect_closes_cleanly

e2e_case "a missing file on the command line"
app_start "$(winpath "$F/missing.yif")"
shoot missing
expect_status "error text" missing "[ERROR] Cannot open file"
expect_no_picture "no picture" missing
expect_closes_cleanly

e2e_case "nothing written"
check "test files and working folder" "$(tree_state "$F" "$E2E/cwd")" "$files_before"
check "files in the prefix's drive" "$(find "$WINEPREFIX/drive_c" -newer "$E2E/stamp" -type f)" ""

finish
