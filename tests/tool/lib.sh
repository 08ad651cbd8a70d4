# Sourced by the tool's tests: a scratch folder, a runner that records exit code,
# stdout and stderr, and checks that count failures and name them.
set -u
YORVEL=$1
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
failures=0

# run ARGS...: runs yorvel; sets $rc, $out, $err.
run() {
    "$YORVEL" "$@" >"$T/stdout" 2>"$T/stderr"
    rc=$?
    out=$(cat "$T/stdout")
    err=$(cat "$T/stderr")
}

check() {  # check DESCRIPTION ACTUAL EXPECTED
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1"
        echo "  expected: $3"
        echo "  actual:   $2"
        failures=$((failures + 1))
    fi
}

check_true() {  # check_true DESCRIPTION COMMAND...
    local what=$1
    shift
    "$@" || { echo "FAIL: $what"; failures=$((failures + 1)); }
}

# bytes HEX...: writes the bytes given as hex pairs to stdout.
bytes() { printf '%s' "$*" | tr -d ' \n' | xxd -r -p; }

finish() {
    [ "$failures" -eq 0 ] && echo "all checks passed" || echo "$failures check(s) failed"
    exit $((failures > 0))
}
