#!/usr/bin/env bash
# The yorvel tool on YDF documents: info, the runs as JSON and as text, failures.
source "$(dirname "$0")/lib.sh"

# A CP-1252 byte, an escaped quote and a real tab inside values.
printf '%s' $'{"@ydf": "1.0", "kind": "brochure", "id": "B-1", "title": "Caf\xe9 \\"A\\"",
 "sections": [{"kicker": "K", "title": "T", "list": ["a\tb"]}, {"kicker": "L"}]}' >"$T/doc.ydf"

run info "$T/doc.ydf"
check "info summarises the document" "$rc|$out" "0|YDF v1.0 | brochure | B-1 | \"Caf"$'\xe9'" \"A\"\" | 2 sections"

cp "$T/doc.ydf" "$T/doc.json"
run info "$T/doc.json"
check "a .json file is a document" "$rc|$out" "0|YDF v1.0 | brochure | B-1 | \"Caf"$'\xe9'" \"A\"\" | 2 sections"

: >"$T/empty.ydf"
run info "$T/empty.ydf"
check "an empty document has no sections" "$rc|$out" "0|YDF v |  |  | \"\" | 0 sections"

# A file named as a document whose content is a picture: still an empty document, and
# one line saying what it looks like.
printf '\x89PNG\r\n\x1a\n' >"$T/picture.ydf"
run info "$T/picture.ydf"
check "a PNG named .ydf is an empty document, and said to look like a PNG" "$rc|$out|$err" \
    "0|YDF v |  |  | \"\" | 0 sections|yorvel: $T/picture.ydf is named as a YDF document, but it looks like a PNG picture"

run convert "$T/doc.ydf" "$T/doc.txt"
check "convert to text succeeds" "$rc|$err" "0|"
want="  YDF v1.0 | brochure | B-1\r\n\r\n  Caf\xe9 \"A\"\r\n  ----------------------------------------\r\n\r\n"
want+="  [K]\r\n  T\r\n    - a\tb\r\n\r\n  [L]\r\n  \r\n\r\n"
printf "$want" >"$T/want.txt"
check_true "text is the runs' bytes, concatenated" cmp -s "$T/doc.txt" "$T/want.txt"

run convert "$T/doc.ydf" "$T/out.JSON"
check "convert to JSON succeeds" "$rc|$err" "0|"
check "JSON lists every run, the empty first run of a spacer included" "$(grep -c '"text"' "$T/out.JSON")" "24"
check "JSON runs carry colour, points and bold" "$(sed -n 6p "$T/out.JSON")" \
    '  {"text": "  Caf\u00E9 \"A\"", "color": 16777215, "points": 18, "bold": true},'
check "control bytes are escaped" "$(sed -n 16p "$T/out.JSON")" \
    '  {"text": "    - a\u0009b", "color": 14737632, "points": 10, "bold": false},'
check_true "JSON output is pure ASCII" bash -c "! LC_ALL=C grep -q '[^ -~]' '$T/out.JSON'"
check "JSON is valid and lossless" \
    "$(python3 -c 'import json,sys; print("".join(r["text"] for r in json.load(open(sys.argv[1]))).encode("latin-1") == open(sys.argv[2],"rb").read())' "$T/out.JSON" "$T/doc.txt")" "True"

# RTF: the reader's own rich text, with its dark background as the page colour and as
# every run's shading, Consolas as a fixed-pitch face, the reader's hanging indents.
run convert "$T/doc.ydf" "$T/doc.rtf"
check "convert to RTF succeeds" "$rc|$err" "0|"
check "RTF: Consolas, fixed pitch, and the colours in order of first use" "$(sed -n 1p "$T/doc.rtf")" \
    '{\rtf1\ansi\deff0\uc1{\fonttbl{\f0\fmodern\fprq1 Consolas;}}{\colortbl;\red102\green102\blue170;\red6\green6\blue12;\red224\green224\blue224;\red255\green255\blue255;\red77\green201\blue240;}'
check "RTF: the page is the reader's background" "$(sed -n 2p "$T/doc.rtf")" \
    '{\*\background{\shp{\*\shpinst{\sp{\sn fillColor}{\sv 787974}}}}}\viewbksp1'
check "RTF: the title in white, 18 points, bold, shaded, hanging, blanks in a row grouped, the CP-1252 byte as its character" \
    "$(sed -n 5p "$T/doc.rtf")" \
    '\pard\li486\fi-396\plain\f0\cf4\fs36\b\chcbpat2\highlight2 { }{ }Caf\u233? "A"\plain\f0\cf4\fs36\chcbpat2\highlight2 \par'
check "RTF: the last line's break ends the file's last paragraph" "$(tail -n 1 "$T/doc.rtf")" \
    '\pard\li90\fi0\plain\f0\cf3\fs12\chcbpat2\highlight2 }'

# HTML: headless Chromium shows the same text as the .txt output (bytes as Windows-1252,
# line breaks as the browser reads them), markup characters and all.
printf '%s' $'{"title": "<b>&amp;</b> \x80\x93\x9d", "kicker": "K", "paragraph": "a\r\rb\rc\nd\r\r\ne", "list": ["\\"x\\" \'y\'", "\x01\x1f\x7f\tz"]}' >"$T/page.ydf"
run convert "$T/page.ydf" "$T/page.html"
check "convert to HTML succeeds" "$rc|$err" "0|"
check "the page needs nothing else: no script, link or image" "$(grep -c '<script\|<link\|<img\|src=' "$T/page.html")" "0"
run convert "$T/page.ydf" "$T/page.txt"
# shown_in_chromium HTML: the page's lines as headless Chromium lays them out, one per
# paragraph block, as UTF-8.
shown_in_chromium() {
    sed 's#</body>#<script>document.body.textContent = JSON.stringify([...document.querySelector("main").children].map(d => d.innerText.replace(/\\n$/, "")))</script></body>#' \
        "$1" >"$T/probe.html"
    timeout 60 chromium --headless --no-sandbox --disable-gpu --user-data-dir="$T/chromium" \
        --dump-dom "file://$T/probe.html" 2>/dev/null | python3 -c '
import html, json, re, sys
print("\n".join(json.loads(html.unescape(re.search(r"<body>(.*)</body>", sys.stdin.read(), re.S).group(1)))))'
}
# as_shown TEXT-FILE ENCODING: the .txt output decoded, with line breaks as the reader
# takes them (CR CR LF one blank; CR LF, CR and LF each end a line), no last line break.
as_shown() {
    python3 - "$1" "$2" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
def cp1252(b):
    try: return bytes([b]).decode('cp1252')
    except UnicodeDecodeError: return chr(b)  # undefined: the control character of that number
text = data.decode('utf-8') if sys.argv[2] == 'utf-8' else ''.join(cp1252(b) for b in data)
text = text.replace('\r\r\n', ' ').replace('\r\n', '\n').replace('\r', '\n')
sys.stdout.write(text[:-1] if text.endswith('\n') else text)
PY
}
check "Chromium shows the runs' text, CR CR LF as one blank" "$(shown_in_chromium "$T/page.html")" \
    "$(as_shown "$T/page.txt" cp1252)"

# The page's layout in Chromium: every line starts off the window's edge, and the lines a
# paragraph or an item wraps into start under its text, after its blanks and "- ".
words=$(printf 'word%d ' $(seq 60))
printf '{"kicker": "K", "paragraph": "%s", "list": ["%s"]}' "$words" "$words" >"$T/wrap.ydf"
run convert "$T/wrap.ydf" "$T/wrap.html"
cat >"$T/probe.js" <<'JS'
const out = [];
for (const block of document.querySelectorAll("main > div")) {
    const text = block.firstChild && block.firstChild.firstChild;
    if (!text || text.nodeType !== 3) continue;
    const lead = text.data.match(/^ *(- )?/)[0].length;
    if (lead >= text.data.length) continue;  // nothing after the blanks
    const range = document.createRange();
    range.selectNodeContents(text);
    const lines = new Map();  // each line's top: where its leftmost piece starts
    for (const r of range.getClientRects())
        lines.set(Math.round(r.top), Math.min(lines.get(Math.round(r.top)) ?? Infinity, r.left));
    const lefts = [...lines.entries()].sort((a, b) => a[0] - b[0]).map(e => Math.round(e[1]));
    range.setStart(text, lead);
    range.setEnd(text, lead + 1);
    const start = Math.round(range.getBoundingClientRect().left);
    out.push([lefts[0], start, lefts.length, ...lefts.slice(1)].join(" "));
}
document.body.textContent = out.join("|");
JS
python3 -c 'import sys; page = open(sys.argv[1]).read(); print(page.replace("</body>", "<script>" + open(sys.argv[2]).read() + "</script></body>"))' \
    "$T/wrap.html" "$T/probe.js" >"$T/probe.html"
layout=$(timeout 60 chromium --headless --no-sandbox --disable-gpu --user-data-dir="$T/chromium" --window-size=500,800 \
    --dump-dom "file://$T/probe.html" 2>/dev/null | python3 -c '
import re, sys
print(re.search(r"<body>(.*)</body>", sys.stdin.read(), re.S).group(1).strip())')
check "Chromium: the page's lines (first line's left, text start, lines, wrapped lines' left)" \
    "$(python3 - "$layout" <<'PY'
import sys
bad, wrapped_lines = [], 0
for block in sys.argv[1].split('|'):
    first, start, count, *wrapped = map(int, block.split())
    if first < 6: bad.append('a line at the edge: ' + block)
    if any(left != start for left in wrapped): bad.append('not hanging: ' + block)
    wrapped_lines += len(wrapped)
print(not bad and wrapped_lines >= 10 or (bad, wrapped_lines))
PY
)" True

# --- What the bytes mean, in every output --------------------------------------------
# A document whose text is valid UTF-8 with a multi-byte sequence is read as UTF-8, any
# other as Windows-1252. Each goes through the text, the page in Chromium, the RTF in
# LibreOffice (where installed) and the thumbnail. A kicker of 40 "ü" is cut by its
# 63-byte buffer inside the 32nd, which then shows as nothing.
umlauts=$(printf 'ü%.0s' $(seq 40))
printf '%s' $'{"@ydf": "1.0", "kind": "brochure", "id": "W-1", "title": "Caf\xe9 \x93Zo\xeb\x94 \x80 5",
 "kicker": "Fa\xe7ade", "paragraph": "Gr\xfc\xdfe", "list": ["na\xefve"]}' >"$T/enc-cp1252.ydf"
printf '%s' '{"@ydf": "1.0", "kind": "brochure", "id": "U-1", "title": "Müller & Söhne — Café",
 "sections": [{"kicker": "東京", "title": "日本語のパンフレット", "paragraph": "Grüße 🎉 aus Köln", "list": ["😀 smile", "ĳ ŒŸ €"]},
              {"kicker": "'"$umlauts"'", "title": "after the cut"}], "sig": "abcdefghijklmno€xyz"}' >"$T/enc-utf8.ydf"
printf '%s' $'{"title": "M\xc3\xbcller \xe9t\xe9", "kicker": "\xc3\xa9 and a stray \xe9"}' >"$T/enc-invalid.ydf"
declare -A encoding=([cp1252]=cp1252 [utf8]=utf-8 [invalid]=cp1252)
have_lo=
if command -v soffice >/dev/null && command -v pdftoppm >/dev/null; then
    have_lo=1
    for name in cp1252 utf8 invalid; do "$YORVEL" convert "$T/enc-$name.ydf" "$T/enc-$name.rtf"; done
    (cd "$T" && timeout 300 soffice -env:UserInstallation="file://$T/lo" --headless --norestore \
        --convert-to 'txt:Text (encoded):UTF8' --outdir "$T/lo-txt" enc-*.rtf >/dev/null 2>&1)
else
    echo "SKIP: LibreOffice (soffice) or pdftoppm is not installed: RTF not checked in a word processor"
fi
for name in cp1252 utf8 invalid; do
    check_context="$name document"
    doc=$T/enc-$name.ydf
    run convert "$doc" "$T/enc-$name.json"
    run convert "$doc" "$T/enc-$name.txt"
    # What each run shows, decoded on its own: the reference for every output.
    want=$(python3 - "$T/enc-$name.json" "${encoding[$name]}" <<'PY'
import json, sys
def cp1252(b):
    try: return bytes([b]).decode('cp1252')
    except UnicodeDecodeError: return chr(b)
runs = [r['text'].encode('latin-1') for r in json.load(open(sys.argv[1]))]
text = ''.join(r.decode('utf-8', 'ignore') if sys.argv[2] == 'utf-8' else ''.join(cp1252(b) for b in r) for r in runs)
text = text.replace('\r\r\n', ' ').replace('\r\n', '\n').replace('\r', '\n')
sys.stdout.write(text[:-1] if text.endswith('\n') else text)
PY
)
    check "the text output, decoded" "$(as_shown "$T/enc-$name.txt" "${encoding[$name]}")" "$want"
    run convert "$doc" "$T/enc-$name.html"
    check "Chromium shows it" "$(shown_in_chromium "$T/enc-$name.html")" "$want"
    if [ -n "$have_lo" ]; then
        # (blanks in a row, written plainly, would come back widened: U+2006 and a blank each)
        check "LibreOffice shows it" "$(python3 -c '
import sys
sys.stdout.write(open(sys.argv[1], encoding="utf-8-sig").read().rstrip("\n"))' "$T/lo-txt/enc-$name.txt")" "$want"
    fi
    run thumbnail "$doc" "$T/enc-$name.png" --size 256
    check "the thumbnail" "$rc|$err|$(extent "$T/enc-$name.png")" "0||256x256"
    check_true "its title drawn white" grep -q FFFFFF < <(/usr/bin/convert "$T/enc-$name.png" -depth 8 txt:-)
done
check_context=""
check_true "UTF-8: accents, CJK and emoji in the text output" \
    grep -q "Müller & Söhne — Café.*東京.*日本語のパンフレット.*Grüße 🎉 aus Köln.*😀 smile" <(tr -d '\r\n' <"$T/enc-utf8.txt")
check_true "UTF-8: the cut sequence shows as nothing" grep -qx "  \[${umlauts:0:31}\]" <(tr -d '\r' <"$T/enc-utf8.txt")
check_true "UTF-8: the signature cut inside the euro sign" grep -qx '  HMAC-SHA256: abcdefghijklmno\.\.\.' \
    <(tr -d '\r' <"$T/enc-utf8.txt")
check_true "invalid UTF-8: read as Windows-1252, byte for byte" grep -q $'  M\xc3\xbcller \xe9t\xe9\r\n' "$T/enc-invalid.txt"
python3 -c 'print("{\"kind\": \"" + "ü" * 40 + "\"}", end="")' >"$T/enc-kind.ydf"
run info "$T/enc-kind.ydf"
check "UTF-8: info leaves out the character cut by the kind's buffer" "$rc|$out" "0|YDF v | $(printf 'ü%.0s' $(seq 31)) |  | \"\" | 0 sections"
check "both pages say they are UTF-8" "$(cat "$T/enc-cp1252.html" "$T/enc-utf8.html" | grep -c '<meta charset="utf-8">')" 2

# LibreOffice shows no page colour: the runs' dark shading holds their light text.
if [ -n "$have_lo" ]; then
    (cd "$T" && timeout 300 soffice -env:UserInstallation="file://$T/lo" --headless --norestore \
        --convert-to pdf --outdir "$T/lo-pdf" enc-utf8.rtf >/dev/null 2>&1)
    pdftoppm -r 96 -f 1 -l 1 "$T/lo-pdf/enc-utf8.pdf" "$T/lo-page"
    check "LibreOffice: white and light grey text on dark shading" "$(python3 - "$T"/lo-page*.ppm <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
magic, w, h, depth, pixels = data.split(maxsplit=4)
w, h = int(w), int(h)
px = lambda x, y: pixels[3 * (y * w + x): 3 * (y * w + x) + 3]
dark = lambda p: max(p) < 40
tests = {'white': lambda p: min(p) > 235, 'grey': lambda p: all(abs(c - 224) < 12 for c in p)}
on_dark = dict.fromkeys(tests, 0)
for y in range(h):
    for x in range(3, w - 3):
        for name, test in tests.items():
            if test(px(x, y)) and dark(px(x - 3, y)) and dark(px(x + 3, y)):
                on_dark[name] += 1
print('ok' if min(on_dark.values()) > 50 else on_dark)
PY
)" ok
fi

run convert "$T/doc.json" "$T/doc.json"
check "converting a document onto itself is refused" "$rc|$err" "1|yorvel: IN and OUT are the same file ($T/doc.json)"
check_true "and leaves it as it was" cmp -s "$T/doc.json" "$T/doc.ydf"
run info /dev/zero
check "a document that never ends: its text stops at the first NUL" "$rc|$out" "0|YDF v |  |  | \"\" | 0 sections"

echo old >"$T/keep.txt"
run convert "$T/doc.ydf" "$T/no/such/dir/x.txt"
check "an unwritable output fails" "$rc" "1"
check_true "and leaves nothing behind" test -z "$(ls "$T" | grep tmp-)"
run convert "$T/doc.ydf" "$T/doc.pam"
check "a document cannot become an image" "$rc" "2"
run convert "$T/missing.ydf" "$T/keep.txt"
check "a missing input fails and keeps the output" "$rc|$(cat "$T/keep.txt")" "1|old"

# The thumbnail: the document's first lines on the reader's page, the title in white.
run thumbnail "$T/doc.ydf" "$T/doc.png" --size 256
check "a document's thumbnail is square" "$rc|$err|$(extent "$T/doc.png")" "0||256x256"
check "on the reader's background" "$(pixel "$T/doc.png" 255 255)" "06060cff"
colours=$(/usr/bin/convert "$T/doc.png" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | sort -u)
check_true "the title is drawn white" grep -q FFFFFF <<<"$colours"
check_true "the kickers in the accent colour" grep -q 4DC9F0 <<<"$colours"
# Rendering stops once the thumbnail is full, whatever the document holds.
python3 -c "print('{\"@ydf\": \"1.0\",' + ''.join('\"kicker\": \"K\", \"list\": [\"a\", \"b\"],' for _ in range(200000)) + '}')" >"$T/big.ydf"
run thumbnail "$T/big.ydf" "$T/big.png" --size 32
check "a long document's thumbnail" "$rc|$err|$(extent "$T/big.png")" "0||32x32"

finish
