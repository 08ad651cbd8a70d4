#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that are missing.
# Safe to run again: with everything present it does nothing and touches no network.
#
#   scripts/install-deps.sh            everything: make demo, make test, fuzzing, formatting
#   scripts/install-deps.sh --tool     only what the yorvel tool and libyorvel need (make tool)
#   scripts/install-deps.sh GROUP...   the named groups of the table below
#
# A package counts as present only when dpkg says "install ok installed": one an earlier run
# left half-configured is finished (dpkg --configure -a) or installed again.
set -euo pipefail
cd "$(dirname "$0")/.."

# group     package                       what for
table='
tool        g++                           the compiler
tool        cmake                         the build
tool        make                          the front door
tool        pkg-config                    finding the libraries below
tool        libpng-dev                    yorvel: PNG in and out
tool        zlib1g-dev                    yorvel: PNG and icon compression
tool        libsndfile1-dev               yorvel: sounds in
tool        libdeflate-dev                yorvel: fast PNG compression
tool        libfreetype-dev               yorvel: document thumbnails
tool        fonts-dejavu-core             yorvel: the thumbnails font, the reader font under Wine
tests       libgtest-dev                  unit tests
tests       googletest                    unit tests, built with MinGW for Windows
tests       libbenchmark-dev              benchmarks
tests       python3                       test helpers
tests       shared-mime-info              install test: MIME types
tests       libglib2.0-bin                install test: gio, types as a desktop sees them
tests       desktop-file-utils            install test: desktop entries
tests       man-db                        install test: the man page
tests       imagemagick                   screenshots and picture checks
tests       xxd                           byte-level test files
tests       bc                            test arithmetic
tests       sox                           tool tests: sounds read back
tests       time                          memory bounds in tests
browser     chromium                      the HTML export and the browser page, shown in a browser
browser     clang-16                      make web: the cores as one WebAssembly module
browser     lld-16                        make web: wasm-ld
browser     wasi-libc                     make web: the C library for wasm32-wasi
browser     libc++-16-dev-wasm32          make web: the C++ library for wasm32-wasi
browser     libc++abi-16-dev-wasm32       make web: its ABI part
browser     libclang-rt-16-dev-wasm32     make web: compiler builtins for wasm32
browser     nodejs                        browser page tests: playwright-core drives chromium
browser     npm                           browser page tests: installs playwright-core into build/
windows     g++-mingw-w64-x86-64-posix    the Windows programs
windows     binutils-mingw-w64-x86-64     their resources (windres)
windows     wine                          running them
windows     wine64                        running them (64-bit)
windows     fonts-wine                    fixed fonts for reproducible pictures
windows     xvfb                          a private X server for the demo and the tests
windows     xdotool                       real mouse clicks in end-to-end tests
windows     x11-utils                     xdpyinfo, xwininfo
dev         clang                         make fuzz
dev         libclang-rt-14-dev            make fuzz (libFuzzer)
dev         clang-format                  make format
dev         zip                           make package
'

groups=()
for arg in "$@"; do
    case $arg in
        --tool) groups+=(tool) ;;
        -*) echo "usage: $0 [--tool | GROUP...]" >&2; exit 2 ;;
        *) groups+=("$arg") ;;
    esac
done
wanted=$(awk -v g=" ${groups[*]:-} " 'NF && (g == "  " || index(g, " " $1 " ")) { print $2 }' <<<"$table")
[ -n "$wanted" ] || { echo "install-deps: no such group: ${groups[*]}" >&2; exit 2; }

# status: the wanted packages dpkg does not list as "install ok installed", one a line.
status() {
    # shellcheck disable=SC2086
    dpkg-query -W -f='${Package} ${Status}\n' $wanted 2>/dev/null | awk '$2 " " $3 " " $4 == "install ok installed" { print $1 }' |
        sort >"$log.ok" || true
    comm -23 <(tr ' ' '\n' <<<"$wanted" | sort) "$log.ok" | while read -r pkg; do
        # Node.js from its own repository is a package named nodejs that carries npm too:
        # asking apt for Debian's npm then would pull in Debian's older nodejs over it.
        case $pkg in
            nodejs) command -v node >/dev/null && continue ;;
            npm) command -v npm >/dev/null && continue ;;
        esac
        echo "$pkg"
    done
}

mkdir -p build
log=$PWD/build/install-deps.log
: >"$log"
trap 'rm -f "$log.ok" "$log.failed"' EXIT
mapfile -t missing < <(status)
broken=$(dpkg --audit 2>/dev/null || true)
if [ ${#missing[@]} -eq 0 ] && [ -z "$broken" ]; then
    rm -f "$log"
    exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
t0=$SECONDS

# run_apt COMMAND...: runs it as root with its output and the output of dpkg's maintainer
# scripts appended to the log (an ordinary file, which they can write to), and the status
# lines apt writes for front ends (APT::Status-Fd=3) on our standard output. A descriptor
# above 2 does not pass through sudo, so a shell on the far side sets it up.
run_apt() {
    $sudo env LOG="$log" bash -c 'exec "$@" 3>&1 >>"$LOG" 2>&1 </dev/null' run_apt "$@"
}

# apt_failed COMMAND: says which packages failed and what was said about them, then the end of
# the log, and how to go on.
apt_failed() {
    local pkgs
    pkgs=$( { cat "$log.failed" 2>/dev/null
              sed -n 's/^dpkg: error processing package \([^ ]*\).*/\1/p; s/^dpkg: error processing archive \([^ ]*\).*/\1/p' "$log"
              sed -n '/^Errors were encountered while processing:/,$ s/^ \([^ ]\+\)$/\1/p' "$log"
            } | sed 's/:amd64$//' | sort -u | xargs)
    echo "$1 failed${pkgs:+ on: $pkgs}"
    if [ -n "$pkgs" ]; then
        echo "What was said about ${pkgs// /, }:"
        grep -F -w "$(tr ' ' '\n' <<<"$pkgs")" "$log" | grep -v -e '^Get:' -e '^Selecting' -e '^Preparing' \
            -e '^Unpacking' | tail -n 20 | sed 's/^/  | /'
    fi
    echo "The end of apt's output (all of it: $log):"
    tail -n 15 "$log" | sed 's/^/  | /'
    echo "Run this script again to finish what was half done; it says what still fails."
    exit 1
}

if [ -n "$broken" ]; then
    echo "Finishing packages an earlier run left half done: $(awk '/^ [^ ]/ { print $1 }' <<<"$broken" | xargs)"
    run_apt dpkg --configure -a >/dev/null || apt_failed "dpkg --configure -a"
    mapfile -t missing < <(status)
    [ ${#missing[@]} -eq 0 ] && { echo "Done in $((SECONDS - t0)) s."; rm -f "$log"; exit 0; }
fi

echo "Installing missing packages: ${missing[*]}"
# --reinstall: a package dpkg still does not list as installed and configured is unpacked anew.
apt_opts=(-y -q --no-install-recommends --reinstall -o Dpkg::Use-Pty=0)

echo "  updating the package lists"
run_apt apt-get update -q || apt_failed "apt-get update"

# What is to be done: packages with their dependencies, and the bytes still to download.
count=$($sudo apt-get install -s "${apt_opts[@]}" "${missing[@]}" </dev/null 2>>"$log" |
    awk '/^Inst / { n++ } END { print n + 0 }') || apt_failed "apt-get install -s"
bytes=$($sudo apt-get install --print-uris -qq "${apt_opts[@]}" "${missing[@]}" </dev/null 2>>"$log" |
    awk '{ b += $3 } END { print b + 0 }') || apt_failed "apt-get install --print-uris"
mb() { awk -v b="$1" 'BEGIN { printf "%.1f MB", b / 1e6 }'; }
echo "  $count packages with their dependencies, $(mb "$bytes") to download"

# progress: turns apt's status lines into a line per tenth of the download and of the
# installation; errors are kept for apt_failed.
progress() {
    local line kind item pct text step shown_dl=-1 shown_pm=-1 done_pkgs=0
    while IFS= read -r line; do
        IFS=: read -r kind item pct text <<<"$line"
        case $kind in
            pmerror | dlerror) echo "$line" >>"$log"; echo "$item" >>"$log.failed"; continue ;;
            dlstatus | pmstatus) ;;
            *) continue ;;
        esac
        pct=${pct%%.*}
        [[ $pct =~ ^[0-9]+$ ]] || continue
        step=$((pct / 10 * 10))
        case $kind in
            dlstatus)
                [ "$step" -gt "$shown_dl" ] || continue
                shown_dl=$step
                echo "  download $(printf '%3d' "$step")%: ${text,}, $(mb $((bytes * (100 - step) / 100))) left"
                ;;
            pmstatus)
                [[ $text == Installed* ]] && done_pkgs=$((done_pkgs + 1))
                [ "$step" -gt "$shown_pm" ] || continue
                shown_pm=$step
                echo "  install  $(printf '%3d' "$step")%: $done_pkgs of $count packages set up; ${text,}"
                ;;
        esac
    done
}

run_apt apt-get install "${apt_opts[@]}" -o APT::Status-Fd=3 "${missing[@]}" | progress ||
    apt_failed "apt-get install"
mapfile -t still < <(status)
if [ ${#still[@]} -gt 0 ]; then
    echo "${still[*]}: still not installed" >>"$log"
    echo "${still[*]}" >"$log.failed"
    apt_failed "apt-get install"
fi
disk=$(sed -n 's/^After this operation, \(.*\) of additional disk space will be used.*/\1/p' "$log" | tail -n 1)
echo "Installed $count packages in $((SECONDS - t0)) s${disk:+, $disk more on disk}."
rm -f "$log"
