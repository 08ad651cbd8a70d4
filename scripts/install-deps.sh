#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that are missing.
# Safe to run again: with everything present it does nothing and touches no network.
set -euo pipefail

# package  -> a file whose presence proves the package is installed
declare -A probe=(
    [cmake]=/usr/bin/cmake
    [make]=/usr/bin/make
    [g++]=/usr/bin/g++
    [pkg-config]=/usr/bin/pkg-config
    [libgtest-dev]=/usr/include/gtest/gtest.h
    [googletest]=/usr/src/googletest/CMakeLists.txt
    [libbenchmark-dev]=/usr/include/benchmark/benchmark.h
    [libpng-dev]=/usr/include/png.h
    [zlib1g-dev]=/usr/include/zlib.h
    [libsndfile1-dev]=/usr/include/sndfile.h
    [libdeflate-dev]=/usr/include/libdeflate.h
    [libfreetype-dev]=/usr/include/freetype2/ft2build.h
    [fonts-dejavu-core]=/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
    [shared-mime-info]=/usr/bin/update-mime-database
    [libglib2.0-bin]=/usr/bin/gio
    [desktop-file-utils]=/usr/bin/desktop-file-validate
    [man-db]=/usr/bin/man
    [chromium]=/usr/bin/chromium
    [g++-mingw-w64-x86-64-posix]=/usr/bin/x86_64-w64-mingw32-g++-posix
    [binutils-mingw-w64-x86-64]=/usr/bin/x86_64-w64-mingw32-windres
    [wine]=/usr/bin/wine
    [wine64]=/usr/lib/wine/wine64
    [xvfb]=/usr/bin/Xvfb
    [xdotool]=/usr/bin/xdotool
    [x11-utils]=/usr/bin/xwininfo
    [imagemagick]=/usr/bin/compare
    [fonts-wine]=/usr/share/wine/fonts
    [clang]=/usr/bin/clang++
    [clang-format]=/usr/bin/clang-format
    [libclang-rt-14-dev]=/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a
    [zip]=/usr/bin/zip
    [xxd]=/usr/bin/xxd
    [python3]=/usr/bin/python3
    [bc]=/usr/bin/bc
    [time]=/usr/bin/time
)

# The browser page (make web) and its tests: clang 16 for wasm32-wasi with Debian's
# wasi-libc and libc++ (one WebAssembly module, no JavaScript glue), and node with npm,
# which install playwright-core into the build tree to drive the chromium above.
probe+=(
    [clang-16]=/usr/bin/clang++-16
    [lld-16]=/usr/bin/wasm-ld-16
    [wasi-libc]=/usr/lib/wasm32-wasi/libc.a
    [libc++-16-dev-wasm32]=/usr/lib/wasm32-wasi/libc++.a
    [libc++abi-16-dev-wasm32]=/usr/lib/wasm32-wasi/libc++abi.a
    [libclang-rt-16-dev-wasm32]=/usr/lib/llvm-16/lib/clang/16/lib/wasi/libclang_rt.builtins-wasm32.a
    [nodejs]=/usr/bin/node
    [npm]=/usr/bin/npm
)

missing=()
for pkg in "${!probe[@]}"; do
    [ -e "${probe[$pkg]}" ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# No questions, no terminal: CI runs this without stdin or tty. Apt's own chatter goes to a
# log, shown if it fails; what is printed is a line at each tenth of each phase, saying
# how much is left, from the status lines apt writes for front ends (APT::Status-Fd).
# They go to stderr, the one descriptor besides stdout that sudo passes on.
export DEBIAN_FRONTEND=noninteractive
apt_opts=(-y -q --no-install-recommends -o Dpkg::Use-Pty=0)
log=$(mktemp /tmp/install-deps.XXXXXX.log)
t0=$SECONDS

apt_failed() {  # apt_failed WHAT
    echo "apt-get $1 failed; the end of its output ($log):"
    tail -n 30 "$log"
    exit 1
}

echo "  updating the package lists"
$sudo apt-get update -q </dev/null >>"$log" 2>&1 || apt_failed update

# What is to be done: packages with their dependencies, and the bytes still to download.
count=$($sudo apt-get install -s "${apt_opts[@]}" "${missing[@]}" </dev/null 2>>"$log" |
    awk '/^Inst / { n++ } END { print n + 0 }') || apt_failed "install -s"
bytes=$($sudo apt-get install --print-uris -qq "${apt_opts[@]}" "${missing[@]}" </dev/null 2>>"$log" |
    awk '{ b += $3 } END { print b + 0 }') || apt_failed "install --print-uris"
mb() { awk -v b="$1" 'BEGIN { printf "%.1f MB", b / 1e6 }'; }
echo "  $count packages with their dependencies, $(mb "$bytes") to download"

# progress: turns apt's status lines into a line per tenth of the download and of the
# installation; everything else goes to the log.
progress() {
    local line kind item pct text step shown_dl=-1 shown_pm=-1 done_pkgs=0
    while IFS= read -r line; do
        case $line in
            dlstatus:* | pmstatus:*) IFS=: read -r kind item pct text <<<"$line" ;;
            *) echo "$line" >>"$log"; continue ;;
        esac
        pct=${pct%%.*}
        [[ $pct =~ ^[0-9]+$ ]] || continue
        step=$((pct / 10 * 10))
        case $kind in
            dlstatus)
                [ "$step" -gt "$shown_dl" ] || continue
                shown_dl=$step
                echo "  download $(printf '%3d' "$step")%: ${text,}, $(mb $(( bytes * (100 - step) / 100 ))) left"
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

$sudo apt-get install "${apt_opts[@]}" -o APT::Status-Fd=2 "${missing[@]}" </dev/null 2>&1 >>"$log" |
    progress || apt_failed install
echo "Installed $count packages in $((SECONDS - t0)) s."
rm -f "$log"
