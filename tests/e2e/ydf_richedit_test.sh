#!/usr/bin/env bash
# The reader's batching rich-edit sink against run-by-run appending, in real controls.
# Controls need a display, so this GoogleTest program runs here and not with the unit tests.
source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_case "streamed and appended views hold the same text and formats"
(cd "$E2E/cwd" && timeout 300 wine "$APP_EXE" --gtest_brief=1) >"$E2E/gtest.out" 2>&1
rc=$?
check "the test program passes" "$rc" 0
[ "$rc" -eq 0 ] || cat "$E2E/gtest.out"
check "every case ran" "$(grep -c '^\[  PASSED  \]' "$E2E/gtest.out")" 1

finish
