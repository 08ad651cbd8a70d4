# Sourced by the shell-driven tests (tool and end-to-end): checks that count failures
# and name them, a hex byte writer for inline fixtures, and the closing summary.
failures=0
checks=0
check_context=""  # when set, names the group of checks in each failure

fail() {  # fail DESCRIPTION
    echo "FAIL: ${check_context:+$check_context: }$1"
    failures=$((failures + 1))
}

check() {  # check DESCRIPTION ACTUAL EXPECTED
    checks=$((checks + 1))
    if [ "$2" != "$3" ]; then
        fail "$1"
        echo "  expected: $3"
        echo "  actual:   $2"
    fi
}

check_true() {  # check_true DESCRIPTION COMMAND...
    local what=$1
    shift
    checks=$((checks + 1))
    "$@" || fail "$what"
}

# bytes HEX...: writes the bytes given as hex pairs to stdout.
bytes() { printf '%s' "$*" | tr -d ' \n' | xxd -r -p; }

finish() {
    [ "$failures" -eq 0 ] && echo "all $checks checks passed" || echo "$failures of $checks check(s) failed"
    exit $((failures > 0))
}
