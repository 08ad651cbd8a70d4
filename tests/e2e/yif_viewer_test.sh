#!/usr/bin/env bash
# The image viewer end to end: greeting, resources, pictures from the command line, the
# Open dialog (button and Ctrl+O) and drops, file names outside the ANSI code page,
# refusals, a header without pixels, resizing, closing; zoom, pan, the next and previous
# picture of a folder, copying to the clipboard.
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

# --- Zoom, pan, the folder's pictures, copy: test images --------------------------------

# Picture Q: 4 x 4 pixels of 16 different colours.
Q_CELLS=(FFFFFF FFFF00 FFFF01 FF00FF FF0000 FF0001 FF01FF FF0100 FF0101 00FFFF 00FF00 00FF01 0000FF 000000 000001 0001FF)
yif_file q.yif 4 4 3 0 "${Q_CELLS[*]}"

# Picture U: 64 x 48 pixels, each of a colour of its own (9-trit pixels, 27 levels a
# channel: red counts the pixel's index, green its 27s, blue its 729s), so that the colour
# at any point of the window says which picture pixel is shown there.
python3 - "$F/u.yif" <<'PY'
import struct, sys
def trits(k):  # k in 0..26 as three balanced-ternary digits, most significant first
    v, out = k - 13, []
    for _ in range(3):
        r = (v + 1) % 3 - 1
        out.append(r & 0xFF)
        v = (v - r) // 3
    return out[::-1]
stream = []
for n in range(64 * 48):
    for k in (n % 27, n // 27 % 27, n // 729):
        stream += trits(k)
open(sys.argv[1], "wb").write(b"YIF1" + struct.pack("<II", 64, 48) + bytes((9, 0, 0, 0)) + bytes(stream))
PY

# Picture P, for the clipboard: 3 x 2, its stream ending after four pixels, so that the
# last two stay 0,0,0,0: transparent.
P_CELLS=(01FFFF FF01FF FFFF01 010101)
yif_file p.yif 3 2 3 0 "${P_CELLS[*]}"

# A folder to step through: in Explorer's order 2.yif, 10.yif, a.yif, a refused file and
# a file that is no YIF; beside them files the viewer must not open: other extensions
# (one a real YIF inside) and a folder named like a picture.
mkdir -p "$F/folder/e.yif"
cp "$F/a.yif" "$F/folder/2.yif"
cp "$F/b.yif" "$F/folder/10.yif"
cp "$F/q.yif" "$F/folder/a.yif"
cp "$F/small.yif" "$F/folder/b.yif"
printf 'A note, not a picture.\n' >"$F/folder/c.yif"
cp "$F/q.yif" "$F/folder/notes.txt"
cp "$F/q.yif" "$F/folder/d.yiff"
Q_STATUS="YIF v1.0 | 4x4 | 3-trit (27 colors) | Raw | 64 bytes"

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

# --- Zoom, pan, the folder's pictures, copy ------------------------------------------------

# expect_same_window WHAT A B: the two shots show the same, apart from the button (which
# may show that it has the focus, or that the pointer passed over it).
expect_same_window() {
    local w h
    read -r w h < <(shot_size "$2")
    check "$1" "$(differing_pixels "$2" "$3" 0 34 "$w" $((h - 34)))" 0
    check "$1: the status line" "$(differing_pixels "$2" "$3" "$BUTTON_RIGHT" 0 $((w - BUTTON_RIGHT)) 34)" 0
}

expect_title() {  # expect_title WHAT TEXT
    check "$1" "$(wd gettext "$APP_TITLE")" "$2"
}

# keys KEY...: typed, handled and painted.
keys() { wd type "$APP_TITLE" "$@" || fail "keys $* were not typed"; }

# wheel X Y NOTCHES: the wheel turned at client point X Y (negative: toward the user).
wheel() { wd wheel "$APP_TITLE" "$1" "$2" $(($3 * 120)) || fail "the wheel at $1,$2 was not handled"; }

# drag X1 Y1 X2 Y2: the left button pressed at one client point, released at the other.
drag() {
    local x y w h
    read -r x y w h < <(wd client "$APP_TITLE") || { fail "no window to drag in"; return 1; }
    timeout "$E2E_STEP_TIMEOUT" xdotool mousemove $((x + $1)) $((y + $2)) mousedown 1 \
        mousemove $((x + $3)) $((y + $4)) mouseup 1
    wd sync "$APP_TITLE"
}

# u_view SHOT X Y: "LEFT SCALE TOP SCALE" of picture U as shot: where its columns start
# along row Y and its rows along column X (a pixel's colour names it), fitted with a
# straight line, so that the rounding of single edges averages out.
u_view() {
    PYTHONPATH=$E2E_REPO/tests/e2e python3 - "$E2E/$1.ppm" "$2" "$3" <<'PY'
import sys, ppm
w, h, px = ppm.read(sys.argv[1])
X, Y = int(sys.argv[2]), int(sys.argv[3])
level = {k * 255 // 26: k for k in range(27)}
def pixel(x, y):  # (column, row) of picture U shown at x, y, or None
    r, g, b = px[(y * w + x) * 3:(y * w + x) * 3 + 3]
    if r not in level or g not in level or b not in level: return None
    n = level[r] + 27 * level[g] + 729 * level[b]
    return divmod(n, 64)[::-1] if n < 64 * 48 else None
def line(points, axis):  # least squares: start + scale * index
    edges, last = [], None
    for at, p in points:
        if p is not None and last is not None and p[axis] != last[axis]: edges.append((p[axis], at))
        last = p
    n = len(edges)
    if n < 2: return "none none"
    mi = sum(i for i, _ in edges) / n; ma = sum(a for _, a in edges) / n
    scale = sum((i - mi) * (a - ma) for i, a in edges) / sum((i - mi) ** 2 for i, _ in edges)
    return "%.3f %.4f" % (ma - scale * mi, scale)
print(line([(x, pixel(x, Y)) for x in range(w)], 0), line([(y, pixel(X, y)) for y in range(h)], 1))
PY
}

# expect_point_kept WHAT BEFORE AFTER X Y: the picture point under the middle of client
# pixel X Y in shot BEFORE is shown within one pixel of it in shot AFTER.
expect_point_kept() {
    local before after
    before=$(u_view "$2" "$4" "$5")
    after=$(u_view "$3" "$4" "$5")
    case "$before $after" in *none*) fail "$1: picture U is not seen as flat blocks ($before / $after)"; return ;; esac
    check "$1: the point under the cursor stays (views $before / $after)" "$(awk -v c="$4 $5" \
        -v b="$before" -v a="$after" 'BEGIN {
            split(c, p); split(b, v); split(a, w)
            dx = w[1] + (p[1] + 0.5 - v[1]) / v[2] * w[2] - (p[1] + 0.5)
            dy = w[3] + (p[2] + 0.5 - v[3]) / v[4] * w[4] - (p[2] + 0.5)
            print (dx * dx <= 1 && dy * dy <= 1) ? "yes" : "moved by " dx ", " dy
        }')" yes
}

# expect_blocks WHAT SHOT X Y SIZE COLUMNS CELL...: the cells as flat SIZE x SIZE blocks of
# exactly their colours, row after row from X Y, and background all around them below the
# band.
expect_blocks() {
    local what=$1 shot=$2 x=$3 y=$4 size=$5 cols=$6 cell colours=()
    shift 6
    for cell in "$@"; do colours+=("$(trits_rgb "$cell" | tr ' ' ,)"); done
    local rows=$(($# / cols)) w h
    read -r w h < <(shot_size "$shot")
    check "$what: pixels of the blocks not of their cell's colour" "$(PYTHONPATH=$E2E_REPO/tests/e2e python3 - \
        "$E2E/$shot.ppm" "$x" "$y" "$size" "$cols" "${colours[@]}" <<'PY'
import sys, ppm
w, h, px = ppm.read(sys.argv[1])
x0, y0, size, cols = (int(v) for v in sys.argv[2:6])
cells = [bytes(int(c) for c in v.split(",")) for v in sys.argv[6:]]
bad = 0
for i, colour in enumerate(cells):
    for y in range(y0 + i // cols * size, y0 + (i // cols + 1) * size):
        for x in range(x0 + i % cols * size, x0 + (i % cols + 1) * size):
            bad += px[(y * w + x) * 3:(y * w + x) * 3 + 3] != colour
print(bad)
PY
)" 0
    check "$what: nothing else below the band" \
        "$(count_other_pixels "$shot" "$BG" 0 40 "$w" $((h - 40)) "$x" "$y" $((cols * size)) $((rows * size)))" 0
}

# pam_values FILE: the samples of a PAM picture, space-separated.
pam_values() {
    python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
print(" ".join(str(b) for b in data[data.index(b"ENDHDR\n") + 7:]))
PY
}

e2e_case "the new keys without a picture"
app_start
keys 1 plus minus ctrl+plus 0 ctrl+0 pgdn pgup right left up down home end ctrl+c
wheel 300 300 2
shoot bare
expect_same_window "the window is unchanged" greeting bare
expect_title "the title stays" "$TITLE"
check_true "nothing copied" test "$(wd clip dib "$(winpath "$E2E/none.pam")")" = ""
expect_closes_cleanly

e2e_case "0 gives back the fit view after each addition"
app_start "$(winpath "$F/u.yif")"
read -r CW CH < <(client_size)
shoot u-fit
# (Fit is about 1250 % here; two steps up, 1600 %, reach past the area both ways.)
for addition in "1" "ctrl+1" "plus" "shift+plus" "minus" "ctrl+plus" "ctrl+minus" "add" "subtract" \
    "wheel 200 150 1" "wheel 600 400 -3" "plus plus right down" "plus plus end up" "plus plus home left" "drag"; do
    case $addition in
        wheel*) wheel ${addition#wheel } ;;
        drag)
            keys plus plus
            drag 400 300 300 250
            ;;
        *) keys $addition ;;
    esac
    keys 0
    shoot u-back
    expect_same_window "after $addition" u-fit u-back
    expect_title "after $addition, the title" "$TITLE"
done
keys 1 ctrl+0
shoot u-back
expect_same_window "Ctrl+0" u-fit u-back

e2e_case "wheel zoom keeps the point under the cursor"
# From 1600 %, where the picture reaches past the area both ways (a picture smaller than
# the area stays centred, so a point can only stay where the picture can move).
keys 1 plus plus plus plus plus plus plus plus plus plus plus plus
expect_title "the zoom in the title" "u.yif 1600 % - YorvelYIFReader"
shoot w0
n=0
for step in "300 200 1" "300 200 1" "300 200 -1" "620 450 -1" "620 450 2" "450 300 -2"; do
    wheel $step
    n=$((n + 1))
    shoot w$n
    read -r x y _ <<<"$step"
    expect_point_kept "wheel $step" w$((n - 1)) w$n "$x" "$y"
done
expect_title "the same zoom after as many notches out as in" "u.yif 1600 % - YorvelYIFReader"

e2e_case "pan: keys and dragging"
keys 1 plus plus plus plus plus plus plus plus plus plus plus plus home
shoot p-home
read -r left scale top _ < <(u_view p-home 400 300)
check "Home: the top-left corner at the area's" "$(printf '%.0f %.0f %.0f' "$left" "$top" "$scale")" "0 40 16"
keys left up
shoot p-still
expect_same_window "no margin past the corner" p-home p-still
keys right down
shoot p-step
read -r left _ top _ < <(u_view p-step 400 300)
check "an arrow moves a tenth of the area" "$(printf '%.0f %.0f' "$left" "$top")" \
    "$(awk -v w="$CW" -v h="$CH" 'BEGIN { printf "%.0f %.0f", -w / 10, 40 - (h - 40) / 10 }')"
expect_title "the arrows pan, they do not browse" "u.yif 1600 % - YorvelYIFReader"
keys home
drag 400 300 330 260
shoot p-drag
read -r left _ top _ < <(u_view p-drag 400 300)
check "dragging moves the picture with the pointer" "$(printf '%.0f %.0f' "$left" "$top")" "-70 0"
keys end
shoot p-end
read -r left scale top _ < <(u_view p-end 400 300)
check "End: the bottom-right corner at the area's" \
    "$(awk -v l="$left" -v t="$top" -v s="$scale" 'BEGIN { printf "%.0f %.0f", l + 64 * s, t + 48 * s }')" "$CW $CH"
expect_closes_cleanly

e2e_case "actual size and 400 %: flat blocks"
app_start "$(winpath "$F/q.yif")"
read -r CW CH < <(client_size)
keys 1
expect_title "actual size" "q.yif 100 % - YorvelYIFReader"
shoot q100
expect_blocks "100 %" q100 $(((CW - 4 + 1) / 2)) $((40 + (CH - 40 - 4 + 1) / 2)) 1 4 "${Q_CELLS[@]}"
keys ctrl+plus plus shift+plus add ctrl+add plus
expect_title "six steps up" "q.yif 400 % - YorvelYIFReader"
shoot q400
expect_blocks "400 %" q400 $(((CW - 16 + 1) / 2)) $((40 + (CH - 40 - 16 + 1) / 2)) 4 4 "${Q_CELLS[@]}"
keys ctrl+1
expect_title "Ctrl+1" "q.yif 100 % - YorvelYIFReader"
expect_closes_cleanly

e2e_case "next and previous in the folder"
app_start "$(winpath "$F/folder/2.yif")"
expect_title "opened the ordinary way" "$TITLE"
keys plus plus  # a zoomed picture; the next one starts in the fit view
for step in "pgdn|10.yif (2/5)|B" "pgdn|a.yif (3/5)|$Q_STATUS" "pgdn|b.yif (4/5)|[ERROR] File too small" \
    "pgdn|c.yif (5/5)|[ERROR] Not a YIF file" "pgdn|2.yif (1/5)|A" "pgup|c.yif (5/5)|[ERROR] Not a YIF file" \
    "left|b.yif (4/5)|[ERROR] File too small" "right|c.yif (5/5)|[ERROR] Not a YIF file" "right|2.yif (1/5)|A"; do
    IFS='|' read -r key name shows <<<"$step"
    keys "$key"
    check "$key to $name" "$(wd gettext "$APP_TITLE" | sed 's/ [0-9.]* %/ N %/')" "$name N % - YorvelYIFReader"
    case $shows in
        A | B) expect_shows "next-$key" "$shows" ;;
        *)
            shoot "next-$key"
            expect_status "$key to $name" "next-$key" "$shows"
            ;;
    esac
done
open_file "$F/folder/10.yif"
expect_title "an ordinary open has the window's title again" "$TITLE"

e2e_case "the folder is listed at each step"
mkdir -p "$E2E/live"
cp "$F/a.yif" "$E2E/live/1.yif"
cp "$F/b.yif" "$E2E/live/3.yif"
open_file "$E2E/live/1.yif"
cp "$F/q.yif" "$E2E/live/2.yif"
keys pgdn
check "a file added meanwhile" "$(wd gettext "$APP_TITLE" | sed 's/ [0-9.]* %/ N %/')" "2.yif (2/3) N % - YorvelYIFReader"
rm "$E2E/live/2.yif"
keys pgdn
check "past the file removed meanwhile" "$(wd gettext "$APP_TITLE" | sed 's/ [0-9.]* %/ N %/')" "3.yif (2/2) N % - YorvelYIFReader"
expect_shows live-3 B
cp "$F/q.yif" "$E2E/live/画像.yif"
keys pgdn
check "a name outside the ANSI code page" "$(wd gettext "$APP_TITLE" | sed 's/ [0-9.]* %/ N %/')" "画像.yif (3/3) N % - YorvelYIFReader"
keys pgdn
check "round to the first" "$(wd gettext "$APP_TITLE" | sed 's/ [0-9.]* %/ N %/')" "1.yif (1/3) N % - YorvelYIFReader"
wd resize "$APP_TITLE" 700 500
check "the fit view's zoom follows the window's size" "$(wd gettext "$APP_TITLE")" \
    "1.yif (1/3) $(awk -v cw="$(client_size)" 'BEGIN { split(cw, c); s = 0.95 * ((c[1] / 8 < (c[2] - 40) / 6) ? c[1] / 8 : (c[2] - 40) / 6)
        printf "%d", int(s * 100 + 0.5) }') % - YorvelYIFReader"
expect_closes_cleanly

e2e_case "Ctrl+C copies the whole picture"
app_start "$(winpath "$F/p.yif")"
keys plus plus plus end ctrl+c  # a view of a part of it
expected=""
for cell in "${P_CELLS[@]}"; do expected+="$(trits_rgb "$cell") 255 "; done
expected+="0 0 0 0 0 0 0 0"
check "CF_DIB" "$(wd clip dib "$(winpath "$E2E/clip.pam")")" "3 2 32 0 40"
check "CF_DIB's pixels are the decoded picture's" "$(pam_values "$E2E/clip.pam")" "$expected"
check "CF_DIBV5, with an alpha mask" "$(wd clip dibv5 "$(winpath "$E2E/clip5.pam")")" "3 2 32 3 124"
check "CF_DIBV5's pixels and alpha are the decoded picture's" "$(pam_values "$E2E/clip5.pam")" "$expected"
expect_closes_cleanly

e2e_case "nothing written"
check "test files and working folder" "$(tree_state "$F" "$E2E/cwd")" "$files_before"
check "files in the prefix's drive" "$(find "$WINEPREFIX/drive_c" -newer "$E2E/stamp" -type f)" ""

finish
