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

# RTF: the reader's own rich text, with its dark background as the page colour.
run convert "$T/doc.ydf" "$T/doc.rtf"
check "convert to RTF succeeds" "$rc|$err" "0|"
check "RTF: Consolas, and the colours in order of first use" "$(sed -n 1p "$T/doc.rtf")" \
    '{\rtf1\ansi\deff0\uc1{\fonttbl{\f0\fnil Consolas;}}{\colortbl;\red102\green102\blue170;\red224\green224\blue224;\red255\green255\blue255;\red77\green201\blue240;}'
check "RTF: the page is the reader's background" "$(sed -n 2p "$T/doc.rtf")" \
    '{\*\background{\shp{\*\shpinst{\sp{\sn fillColor}{\sv 787974}}}}}\viewbksp1'
check "RTF: the title in white, 18 points, bold, the CP-1252 byte as its character" "$(sed -n 5p "$T/doc.rtf")" \
    '\plain\f0\cf3\fs36\b   Caf\u233? "A"\plain\f0\cf3\fs36 \par'

# HTML: headless Chromium shows the same text as the .txt output (bytes as Windows-1252,
# line breaks as the browser reads them), markup characters and all.
printf '%s' $'{"title": "<b>&amp;</b> \x80\x93\x9d", "kicker": "K", "paragraph": "a\r\rb\rc\nd", "list": ["\\"x\\" \'y\'", "\x01\x1f\x7f\tz"]}' >"$T/page.ydf"
run convert "$T/page.ydf" "$T/page.html"
check "convert to HTML succeeds" "$rc|$err" "0|"
check "the page needs nothing else: no script, link or image" "$(grep -c '<script\|<link\|<img\|src=' "$T/page.html")" "0"
run convert "$T/page.ydf" "$T/page.txt"
sed 's#</body>#<script>document.body.textContent = JSON.stringify(document.querySelector("main").innerText)</script></body>#' \
    "$T/page.html" >"$T/probe.html"
timeout 60 chromium --headless --no-sandbox --disable-gpu --user-data-dir="$T/chromium" \
    --dump-dom "file://$T/probe.html" >"$T/dom.html" 2>/dev/null
check "Chromium shows the runs' text" "$(python3 - "$T/dom.html" "$T/page.txt" <<'PY'
import html, json, re, sys
shown = json.loads(html.unescape(re.search(r'<body>(.*)</body>', open(sys.argv[1], encoding='utf-8').read(), re.S).group(1)))
def cp1252(b):
    try: return bytes([b]).decode('cp1252')
    except UnicodeDecodeError: return chr(b)  # undefined: the control character of that number
text = ''.join(cp1252(b) for b in open(sys.argv[2], 'rb').read()).replace('\r\n', '\n').replace('\r', '\n')
print(shown == text or repr((shown, text)))
PY
)" "True"

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
# The page ends on a whole line: at these sizes the line at the bottom of the page
# would be cut through its letters; it is left out, and the bottom row is page colour.
python3 -c "print('{\"@ydf\": \"1.0\", \"title\": \"MMMM\",' + ''.join('\"kicker\": \"MMMMMM\", \"list\": [\"MMMMMMMMMMM\", \"MMMM\"],' for _ in range(30)) + '}')" >"$T/caps.ydf"
for n in 90 110 170 200 256; do
    run thumbnail "$T/caps.ydf" "$T/caps.png" --size $n
    check "--size $n: no line cut at the bottom" \
        "$rc|$(/usr/bin/convert "$T/caps.png" -crop "${n}x1+0+$((n - 1))" -depth 8 txt:- | grep -c '#06060C')" "0|$n"
done
# Rendering stops once the thumbnail is full, whatever the document holds.
python3 -c "print('{\"@ydf\": \"1.0\",' + ''.join('\"kicker\": \"K\", \"list\": [\"a\", \"b\"],' for _ in range(200000)) + '}')" >"$T/big.ydf"
run thumbnail "$T/big.ydf" "$T/big.png" --size 32
check "a long document's thumbnail" "$rc|$err|$(extent "$T/big.png")" "0||32x32"

finish
