#!/usr/bin/env bash
# The document reader end to end: greeting, resources, documents from the command line,
# the Open dialog (button and Ctrl+O) and drops (on the window and on the view), file
# names outside the ANSI code page, the view's text, colours, margin and wrapping, the
# keyboard focus, finding text, the error text, resizing, closing.
source "$(dirname "$0")/lib.sh"
e2e_init "$@"

APP_TITLE=YorvelYDFReader
TITLE="YorvelYDFReader — Yorvel Document Format"
BG="6 6 12"
WHITE="255 255 255" ACCENT="77 201 240" MUTED="102 102 170" GREY="224 224 224"
F=$E2E/files
YORVEL=$E2E_REPO/build/native/yorvel  # renders documents into runs, as the reader does
[ -x "$YORVEL" ] || { echo "needs the native tool $YORVEL (make native)"; exit 1; }

# --- Test documents, made here ----------------------------------------------------------

printf '%s' $'{"@ydf": "1.0", "kind": "brochure", "id": "BR-7", "title": "Caf\xe9 range",
  "issuer": {"name": "Acme", "url": "https://acme.example"},
  "sections": [
    {"kicker": "NEW", "title": "Boots", "paragraph": "Warm \\"and\\" dry.", "list": ["red", "", "blue"]},
    {"kicker": "OLD", "title": "Hats", "paragraph": "Tab\there."}],
  "sig": "0123456789abcdef0123"}' >"$F/doc.ydf"
printf '%s' '{"@ydf": "1.0", "kind": "proposal", "id": "P-2", "title": "Second", "kicker": "ONLY"}' >"$F/second.json"
cp "$F/doc.ydf" "$F/with blank.ydf"
cp "$F/second.json" "$F/locked.ydf"
cp "$F/doc.ydf" "$F/文書.ydf"  # names the ANSI code page (1252 here) cannot spell
cp "$F/second.json" "$F/第二.json"
# A paragraph far wider than the view, so that it wraps.
printf '{"title": "Wrap", "kicker": "K", "paragraph": "%s"}' "$(printf 'word%d ' $(seq 150))" >"$F/wrap.ydf"
# The same text in Windows-1252 and in UTF-8 (Latin accents, CJK, an emoji, a kicker of
# 40 "ü" cut by its 63-byte buffer inside the 32nd), and UTF-8 with one stray byte.
printf '%s' $'{"title": "M\xfcller Caf\xe9 \x80", "kicker": "Gr\xfc\xdfe", "paragraph": "na\xefve"}' >"$F/enc-cp1252.ydf"
printf '{"title": "Müller Café €", "kicker": "東京", "paragraph": "Grüße 😀", "sections": [{"kicker": "%s"}]}' \
    "$(printf 'ü%.0s' $(seq 40))" >"$F/enc-utf8.ydf"
printf '%s' $'{"title": "M\xc3\xbcller \xe9"}' >"$F/enc-invalid.ydf"
# A long document: 1500 sections, then "Needle" twice, far down, in two spellings.
python3 - "$F/long.ydf" <<'PY'
import sys
sections = ['{"kicker": "S%d", "title": "Section %d", "paragraph": "Text of section %d."}' % (i, i, i)
            for i in range(1500)]
sections += ['{"kicker": "END", "paragraph": "the Needle is here"}', '{"kicker": "E2", "paragraph": "a needle"}']
open(sys.argv[1], "w").write('{"title": "Long", "sections": [' + ", ".join(sections) + "]}")
PY

# expect_view WHAT TEXT: the rich-edit view holds exactly TEXT (UTF-8, as the driver
# prints it).
expect_view() {
    printf '%s' "$2" >"$E2E/want.txt"
    expect_view_file "$1"
}

expect_view_file() {  # expect_view_file WHAT: the view holds exactly $E2E/want.txt
    wd gettext "$APP_TITLE" RICHEDIT50W >"$E2E/view.txt"
    check_true "$1" cmp -s "$E2E/view.txt" "$E2E/want.txt"
}

# expect_rendered WHAT DOC: the view holds DOC's runs as the renderer gives them: the
# tool's text output, which is UTF-8 for a document whose text (up to its first NUL) is
# valid UTF-8 with a byte above 0x7F, and otherwise CP-1252 bytes that stand for their
# characters.
expect_rendered() {
    "$YORVEL" convert "$2" "$E2E/runs.txt" || fail "$1: the tool did not render $2"
    if python3 -c '
import sys
text = open(sys.argv[1], "rb").read().split(b"\0")[0]
text.decode("utf-8")
sys.exit(0 if max(text, default=0) > 0x7F else 1)' "$2" 2>/dev/null; then
        cp "$E2E/runs.txt" "$E2E/want.txt"
    else
        iconv -f CP1252 -t UTF-8 "$E2E/runs.txt" >"$E2E/want.txt"
    fi
    expect_view_file "$1"
}

GREETING=$'  YorvelYDFReader v1.0\r\n  Yorvel Document Format Reader\r\n\r\n  Open a .ydf file to view\r\n'
GREETING+=$'  Supports: brochure / proposal / contract\r\n'

# colour_rows SHOT "R G B": "count first-row" of the pixels of exactly that colour in the
# view (below the top band); "0 -1" when there are none.
colour_rows() {
    PYTHONPATH=$E2E_REPO/tests/e2e python3 - "$E2E/$1.ppm" $2 <<'PY'
import sys, ppm
w, h, pixels = ppm.read(sys.argv[1])
want = bytes(int(v) for v in sys.argv[2:5])
count, first = 0, -1
for y in range(40, h):
    row = pixels[y * w * 3: (y + 1) * w * 3]
    n = sum(1 for x in range(w) if row[3 * x:3 * x + 3] == want)
    if n and first < 0: first = y
    count += n
print(count, first)
PY
}

# expect_document_colours WHAT SHOT: header muted, then the big white title, then the
# accent kicker, each drawn in its exact colour and in that order from the top.
expect_document_colours() {
    local muted white accent
    read -r -a muted < <(colour_rows "$2" "$MUTED")
    read -r -a white < <(colour_rows "$2" "$WHITE")
    read -r -a accent < <(colour_rows "$2" "$ACCENT")
    check_true "$1: muted header drawn" test "${muted[0]}" -gt 50
    check_true "$1: white title drawn large" test "${white[0]}" -gt 300
    check_true "$1: accent kicker drawn" test "${accent[0]}" -gt 50
    check_true "$1: header above title above kicker (rows ${muted[1]}, ${white[1]}, ${accent[1]})" \
        test "${muted[1]}" -lt "${white[1]}" -a "${white[1]}" -lt "${accent[1]}"
}

view_geometry() { wd children "$APP_TITLE" | awk '$2 == "RichEdit50W" {print $3, $4, $5, $6; exit}'; }

# view_index TEXT [NTH]: where the NTH (1st by default) occurrence of TEXT, in any case,
# stands in the view, counted as the control counts: a line break is one character.
view_index() {
    wd gettext "$APP_TITLE" RICHEDIT50W | python3 -c '
import sys
text, word, nth = sys.stdin.buffer.read().decode("utf-8").replace("\r\n", "\r").lower(), sys.argv[1].lower(), int(sys.argv[2])
at = -1
for _ in range(nth): at = text.find(word, at + 1)
print(at)' "$1" "${2:-1}"
}

# selection_is START END: the view's selection is START .. END.
selection_is() { [ "$(wd view "$APP_TITLE" | cut -d' ' -f1-2)" = "$1 $2" ]; }

# expect_selected WHAT START LENGTH: the view has START .. START+LENGTH selected (asked
# until it has: keys are handled in the program's own time), scrolled away from the top,
# and draws the selection's start inside its client area.
expect_selected() {
    local start end first x y h limit
    poll_until "$E2E_STEP_TIMEOUT" selection_is "$2" $(($2 + $3))
    read -r start end first x y h limit < <(wd view "$APP_TITLE")
    check "$1: the selection" "$start $end" "$2 $(($2 + $3))"
    check_true "$1: scrolled down (first visible line $first)" test "$first" -gt 0
    check_true "$1: drawn inside the view (y $y of $h)" test "$y" -ge 0 -a "$y" -lt "$h"
}

files_before=$(tree_state "$F" "$E2E/cwd")
touch "$E2E/stamp"

# --- Cases ---------------------------------------------------------------------------

e2e_case "started without a file"
app_start
check "title" "$(wd gettext "$APP_TITLE")" "$TITLE"
check "the button" "$(wd children "$APP_TITLE" | grep Button)" "1 Button 16 6 120 28 Open .ydf"
read -r CW CH < <(client_size)
check "the view below the band" "$(view_geometry)" "0 40 $CW $((CH - 40))"
expect_view "the greeting" "$GREETING"
check "the view has the keyboard focus" "$(wd focus "$APP_TITLE")" RichEdit50W
check "the view takes more than 32 767 characters" "$(wd view "$APP_TITLE" | cut -d' ' -f7)" 2147483647
expect_resources
expect_own_icon
shoot greeting
expect_pixel "band background" greeting $((CW - 5)) 20 "$BG"
check_true "greeting in white" test "$(colour_rows greeting "$WHITE" | cut -d' ' -f1)" -gt 300
check_true "greeting in accent" test "$(colour_rows greeting "$ACCENT" | cut -d' ' -f1)" -gt 50

e2e_case "the Open dialog offers the three filters"
click_client 76 20  # the real button, clicked
check "filters" "$(wd items Open 1136)" $'YDF Files\nJSON Files\nAll Files'
wd dlg Open cancel || fail "no Open dialog to cancel"
check "a cancelled dialog keeps the title" "$(wd gettext "$APP_TITLE")" "$TITLE"
expect_view "a cancelled dialog keeps the greeting" "$GREETING"

e2e_case "a document from the Open dialog"
open_file "$F/doc.ydf"
check "title names the file" "$(wd gettext "$APP_TITLE")" "YorvelYDFReader -- doc.ydf"
expect_rendered "the document's runs" "$F/doc.ydf"
shoot opened
expect_document_colours "document" opened

e2e_case "Ctrl+O opens the Open dialog"
wd keys "$APP_TITLE" ctrl+o && wd dlg Open cancel || fail "Ctrl+O gave no Open dialog"
check "a cancelled dialog keeps the title" "$(wd gettext "$APP_TITLE")" "YorvelYDFReader -- doc.ydf"
check "the view has the focus again" "$(wd focus "$APP_TITLE")" RichEdit50W

e2e_case "a second document replaces the first"
open_file "$F/second.json"
check "title names the second file" "$(wd gettext "$APP_TITLE")" "YorvelYDFReader -- second.json"
expect_rendered "the second document's runs" "$F/second.json"

e2e_case "a file that cannot be opened keeps the title"
wine "$WDRIVE" lock "$(winpath "$F/locked.ydf")" >"$E2E/lock.out" 2>&1 &
LOCK_PID=$!
poll_until "$E2E_STEP_TIMEOUT" grep -q locked "$E2E/lock.out" || fail "the driver could not lock the file"
open_file "$F/locked.ydf"
check "title still names the loaded file" "$(wd gettext "$APP_TITLE")" "YorvelYDFReader -- second.json"
expect_view "the error text alone" "[ERROR] Cannot open file"
shoot locked
check_true "error text readable: light grey" test "$(colour_rows locked "$GREY" | cut -d' ' -f1)" -gt 50
kill "$LOCK_PID"
wait "$LOCK_PID" 2>/dev/null

e2e_case "resizing keeps the band and gives the view the rest"
wd resize "$APP_TITLE" 1000 500
read -r CW CH < <(client_size)
check "view follows the window" "$(view_geometry)" "0 40 $CW $((CH - 40))"
shoot resized
expect_pixel "band background after resizing" resized $((CW - 5)) 20 "$BG"
expect_closes_cleanly

e2e_case "started with a file"
app_start "$(winpath "$F/doc.ydf")"
check "title names the file" "$(wd gettext "$APP_TITLE")" "YorvelYDFReader -- doc.ydf"
expect_rendered "the document, not the greeting" "$F/doc.ydf"
shoot started
expect_document_colours "document from the command line" started
expect_closes_cleanly

e2e_case "a quoted Unix path with a blank, as a desktop entry's %f gives it"
app_start "$F/with blank.ydf"  # Wine passes it in double quotes
check "title names the file" "$(wd gettext "$APP_TITLE")" "YorvelYDFReader -- with blank.ydf"
expect_rendered "the document" "$F/doc.ydf"
expect_closes_cleanly

e2e_case "a file named outside the ANSI code page, on the command line"
app_start "$(winpath "$F/文書.ydf")"
check "title names the file" "$(wd gettext "$APP_TITLE")" "YorvelYDFReader -- 文書.ydf"
expect_rendered "the document" "$F/doc.ydf"

e2e_case "a file dropped on the window"
drop_file "$F/第二.json"
check "title names the file" "$(wd gettext "$APP_TITLE")" "YorvelYDFReader -- 第二.json"
expect_rendered "the document" "$F/second.json"

e2e_case "a file dropped on the view"
drop_file "$F/wrap.ydf" RICHEDIT50W
check "title names the file" "$(wd gettext "$APP_TITLE")" "YorvelYDFReader -- wrap.ydf"
expect_rendered "the document" "$F/wrap.ydf"

# The paragraph's wrapped lines start where its text does, after its two blanks.
e2e_case "a long paragraph wraps under its text"
para=$(view_index "  word1 ")
line=$(wd send "$APP_TITLE" RICHEDIT50W 0x436 0 "$para")  # EM_EXLINEFROMCHAR
next=$(wd send "$APP_TITLE" RICHEDIT50W 0xBB $((line + 1)) 0)  # EM_LINEINDEX
check_true "the paragraph wraps (its next line starts at $next)" test "$next" -gt $((para + 2))
check "the wrapped line starts under the text" "$(wd charpos "$APP_TITLE" "$next" | cut -d' ' -f1)" \
    "$(wd charpos "$APP_TITLE" $((para + 2)) | cut -d' ' -f1)"
expect_closes_cleanly

e2e_case "finding text in a long document"
app_start "$(winpath "$F/long.ydf")"
first=$(view_index needle) second=$(view_index needle 2)
wd keys "$APP_TITLE" ctrl+f && wd dlgset Find 1152 needle && wd dlgpress Find 1 || fail "no find dialog to use"
expect_selected "Find Next, case-insensitive" "$first" 6
wd dlgpress Find 1
expect_selected "Find Next again" "$second" 6
wd dlgpress Find 1
expect_selected "nothing further: the selection stays" "$second" 6
wd keys Find escape
find_closed() { ! wd find Find 0 >/dev/null 2>&1; }
check_true "Escape closes the find dialog" poll_until "$E2E_STEP_TIMEOUT" find_closed
check "the view has the focus again" "$(wd focus "$APP_TITLE")" RichEdit50W
wd keys "$APP_TITLE" shift+f3
expect_selected "Shift+F3: the previous match" "$first" 6
wd keys "$APP_TITLE" f3
expect_selected "F3: the next match" "$second" 6
wd keys "$APP_TITLE" ctrl+home
check_true "the view's own keys: Ctrl+Home" poll_until "$E2E_STEP_TIMEOUT" selection_is 0 0
expect_closes_cleanly

e2e_case "a missing file on the command line"
app_start "$(winpath "$F/missing.ydf")"
check "title unchanged" "$(wd gettext "$APP_TITLE")" "$TITLE"
expect_view "the error text alone" "[ERROR] Cannot open file"
check_true "the error text stands off the view's edge" test "$(wd charpos "$APP_TITLE" 0 | cut -d' ' -f1)" -ge 6
shoot missing
check_true "error text readable: light grey" test "$(colour_rows missing "$GREY" | cut -d' ' -f1)" -gt 50

e2e_case "a document after the error"
open_file "$F/doc.ydf"
check "title names the file" "$(wd gettext "$APP_TITLE")" "YorvelYDFReader -- doc.ydf"
expect_rendered "the document" "$F/doc.ydf"
expect_closes_cleanly

e2e_case "what the bytes mean: Windows-1252, UTF-8, invalid UTF-8"
app_start
for name in cp1252 utf8 invalid; do
    open_file "$F/enc-$name.ydf"
    expect_rendered "$name document" "$F/enc-$name.ydf"
done
open_file "$F/enc-utf8.ydf"
view=$(wd gettext "$APP_TITLE" RICHEDIT50W)
check_true "UTF-8: accents, CJK and an emoji" grep -q "Müller Café €.*東京.*Grüße 😀" <(tr -d '\r\n' <<<"$view")
check_true "UTF-8: the cut sequence shows as nothing" grep -qx "  \[$(printf 'ü%.0s' $(seq 31))\]" <(tr -d '\r' <<<"$view")
open_file "$F/enc-cp1252.ydf"
check "Windows-1252: the same accents" "$(wd gettext "$APP_TITLE" RICHEDIT50W | sed -n 3p)" $'  Müller Café €\r'

# Without a printer (as here) the system's print dialog says so; cancelled (on a machine with
# printers: the print dialog itself, cancelled), nothing changes.
e2e_case "Ctrl+P: the print dialog; cancelled, nothing changes"
wd gettext "$APP_TITLE" RICHEDIT50W >"$E2E/before-print.txt"
wd keys "$APP_TITLE" ctrl+p && wd dlg Print cancel || fail "Ctrl+P gave no print dialog"
check "the title stays" "$(wd gettext "$APP_TITLE")" "YorvelYDFReader -- enc-cp1252.ydf"
wd gettext "$APP_TITLE" RICHEDIT50W >"$E2E/after-print.txt"
check_true "the view stays" cmp -s "$E2E/before-print.txt" "$E2E/after-print.txt"
check "the view has the focus again" "$(wd focus "$APP_TITLE")" RichEdit50W
expect_closes_cleanly

e2e_case "nothing written"
check "test files and working folder" "$(tree_state "$F" "$E2E/cwd")" "$files_before"
check "files in the prefix's drive" "$(find "$WINEPREFIX/drive_c" -newer "$E2E/stamp" -type f)" ""

finish
