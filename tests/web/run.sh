#!/usr/bin/env bash
# The browser page's tests (web_test.mjs) in Debian's headless chromium, driven by
# playwright-core from build/web-test/node_modules (make web-test-deps installs it from
# tests/web/package-lock.json). Chromium writes only under build/web-test: its profile is
# there, and so are HOME and the temporary folder of everything started from here.
#
#   run.sh REPO YORVEL
#
# Skipped (exit 77) with one line where no browser can be had: no chromium, no node, or
# no playwright-core (npm could not install it).
set -euo pipefail
REPO=$(cd "$1" && pwd)
YORVEL=$(realpath "$2")
WORK=$REPO/build/web-test
CHROMIUM=${CHROMIUM:-/usr/bin/chromium}

if ! [ -x "$CHROMIUM" ] || ! command -v node >/dev/null; then
    echo "web: skipped, no browser here (needs chromium and node: scripts/install-deps.sh)"
    exit 77
fi
[ -f "$REPO/build/web/yorvel.html" ] || { echo "web: the page is not built (make web)"; exit 1; }
if ! [ -d "$WORK/node_modules/playwright-core" ]; then
    echo "web: skipped, playwright-core is not installed (make web-test-deps says why)"
    exit 77
fi

mkdir -p "$WORK/home" "$WORK/tmp"
export HOME=$WORK/home TMPDIR=$WORK/tmp XDG_CONFIG_HOME=$WORK/home/.config XDG_CACHE_HOME=$WORK/home/.cache
export CHROMIUM
exec node "$REPO/tests/web/web_test.mjs" "$REPO" "$YORVEL" "$WORK"
