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

echo old >"$T/keep.txt"
run convert "$T/doc.ydf" "$T/no/such/dir/x.txt"
check "an unwritable output fails" "$rc" "1"
check_true "and leaves nothing behind" test -z "$(ls "$T" | grep tmp-)"
run convert "$T/doc.ydf" "$T/doc.pam"
check "a document cannot become an image" "$rc" "2"
run convert "$T/missing.ydf" "$T/keep.txt"
check "a missing input fails and keeps the output" "$rc|$(cat "$T/keep.txt")" "1|old"

finish
