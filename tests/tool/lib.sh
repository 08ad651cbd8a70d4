# Sourced by the tool's tests: a scratch folder and a runner that records exit code,
# stdout and stderr; the checks come from tests/checks.sh.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../checks.sh"
YORVEL=$1
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT

# run ARGS...: runs yorvel; sets $rc, $out, $err.
run() {
    "$YORVEL" "$@" >"$T/stdout" 2>"$T/stderr"
    rc=$?
    out=$(cat "$T/stdout")
    err=$(cat "$T/stderr")
}

# run_limited KB ARGS...: run, in an address space of KB kilobytes, to show that the tool
# needs no more. A sanitizer build reserves terabytes of address space up front, so
# there it runs without the limit (checks of running out of memory are skipped).
sanitized() { ldd "$YORVEL" 2>/dev/null | grep -q 'libasan\|libubsan'; }
run_limited() {
    local kb=$1
    shift
    (sanitized || ulimit -v "$kb"; exec "$YORVEL" "$@") >"$T/stdout" 2>"$T/stderr"
    rc=$?
    out=$(cat "$T/stdout")
    err=$(cat "$T/stderr")
}

# check_streams EXT FILE OUTEXT: IN named .EXT is a stream, measured by reading it, of
# which only the bytes the file's header names are kept. /dev/zero, and FILE followed by
# endless zeros through a pipe, get the program's answer for 2 GiB within 100 MB for
# info, thumbnail and convert (to .OUTEXT); FILE through a pipe converts as from itself.
check_streams() {
    local ext=$1 file=$2 outext=$3 command target writer
    ln -s /dev/zero "$T/zero.$ext"
    mkfifo "$T/pipe.$ext"
    for command in info thumbnail convert; do
        target=$([ $command = thumbnail ] && echo "$T/zero.png" || echo "$T/zero.$outext")
        [ $command = info ] && target=
        run_limited 100000 $command "$T/zero.$ext" $target
        check "/dev/zero as .$ext: $command" "$rc|$err" "1|[ERROR] File too small"
        { cat "$file"; cat /dev/zero; } >"$T/pipe.$ext" 2>/dev/null &
        writer=$!
        run_limited 100000 $command "$T/pipe.$ext" $target
        check "$file and endless zeros through a pipe: $command" "$rc|$err" "1|[ERROR] File too small"
        kill $writer 2>/dev/null  # only if the tool never opened the pipe
        wait $writer
    done
    run convert "$file" "$T/file.$outext"
    cat "$file" >"$T/pipe.$ext" &
    writer=$!
    run convert "$T/pipe.$ext" "$T/piped.$outext"
    check "$file through a pipe" "$rc|$(cmp -s "$T/piped.$outext" "$T/file.$outext" && echo same)" "0|same"
    kill $writer 2>/dev/null
    wait $writer
    rm "$T/pipe.$ext" "$T/zero.$ext"
}

# pixel PNG X Y: the pixel's R,G,B,A as hex; extent PNG: "WxH".
pixel() { /usr/bin/convert "$1" -crop "1x1+$2+$3" -depth 8 rgba:- | xxd -p; }
extent() { identify -format '%wx%h' "$1"; }
