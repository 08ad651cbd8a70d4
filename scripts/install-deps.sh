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
)

missing=()
for pkg in "${!probe[@]}"; do
    [ -e "${probe[$pkg]}" ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
