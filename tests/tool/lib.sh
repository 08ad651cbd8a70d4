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
