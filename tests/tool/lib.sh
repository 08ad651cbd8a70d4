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

# pixel PNG X Y: the pixel's R,G,B,A as hex; extent PNG: "WxH".
pixel() { /usr/bin/convert "$1" -crop "1x1+$2+$3" -depth 8 rgba:- | xxd -p; }
extent() { identify -format '%wx%h' "$1"; }
