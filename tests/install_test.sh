#!/usr/bin/env bash
# make install as a packager stages it: everything installed under a temporary DESTDIR,
# the desktop's view of it (MIME types by name and by content, the program entries, the
# thumbnailer on the samples and on hostile files), the library used from outside the
# project through its CMake package and through pkg-config, and an uninstall that
# leaves nothing behind.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$1
SRC=$2
source "$SRC/tests/checks.sh"
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT

# The component name keeps the manifest apart from the one a real make install keeps.
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$BUILD/CMakeCache.txt")
manifest=$BUILD/install_manifest_Unspecified.txt
DESTDIR=$T/stage cmake --install "$BUILD" --component Unspecified >"$T/install.log" 2>&1 ||
    { cat "$T/install.log"; fail "cmake --install failed"; finish; }
P=$T/stage$prefix
libdir=$(dirname "$(grep -m1 '/libyorvel\.a$' "$manifest")")
for f in bin/yorvel share/yorvel/windows/YorvelYIFReader.exe share/yorvel/windows/YorvelYDFReader.exe \
         share/yorvel/windows/YorvelYAFPlayer.exe share/man/man1/yorvel.1 share/mime/packages/yorvel.xml \
         share/thumbnailers/yorvel.thumbnailer include/yorvel/yif_image.h include/yorvel/yaf_sound.h \
         include/yorvel/ydf_document.h include/yorvel/ydf_export.h; do
    check_true "$f is installed" test -s "$P/$f"
done
check_true "the static and shared library are installed" \
    test -s "$T/stage$libdir/libyorvel.a" -a -L "$T/stage$libdir/libyorvel.so"
options() { grep -o -- '\\\?-\\\?-[a-z]\+' "$1" | tr -d '\\' | sort -u | tr '\n' ' '; }
check "the man page and the README name the same options" "$(options "$P/share/man/man1/yorvel.1")" \
    "$(sed -n '/^## The `yorvel` tool/,/^## /p' "$SRC/README.md" >"$T/readme-tool"; options "$T/readme-tool")"
check "the man page formats without warnings" "$(MANWIDTH=80 man --warnings -l "$P/share/man/man1/yorvel.1" 2>&1 >/dev/null)" ""

# MIME types, by name and, renamed to no extension, by content (a database of our own
# types alone, built beside the staged tree, so that uninstalling is checked on the
# installed files only).
mkdir -p "$T/data/mime/packages"
cp "$P/share/mime/packages/yorvel.xml" "$T/data/mime/packages/"
update-mime-database "$T/data/mime" >"$T/mime.log" 2>&1 || { cat "$T/mime.log"; fail "update-mime-database"; }
type_of() { XDG_DATA_HOME=$T/none XDG_DATA_DIRS=$T/data:/usr/share gio info -a standard::content-type "$1" |
    sed -n 's/^ *standard::content-type: //p'; }
for sample in "$SRC"/samples/*; do
    case "$sample" in
        *.yif) want=image/x-yorvel-yif ;; *.yaf) want=audio/x-yorvel-yaf ;; *.ydf) want=application/x-yorvel-ydf ;;
    esac
    name=$(basename "$sample")
    cp "$sample" "$T/${name%.*}"
    check "$name is $want" "$(type_of "$sample")" "$want"
    check "$name without its extension is $want" "$(type_of "$T/${name%.*}")" "$want"
done

for entry in "$P"/share/applications/Yorvel*.desktop; do
    check "$(basename "$entry") is valid" "$(desktop-file-validate "$entry" 2>&1)" ""
done
check "three program entries" "$(ls "$P"/share/applications | wc -l)" 3

# The thumbnailer as a file manager runs it: its Exec line, %i %o %s filled in (the
# command named by the staged path). Each file gives a PNG of at most the size asked
# for, or exits 1 and writes nothing.
exec_line=$(sed -n 's/^Exec=//p' "$P/share/thumbnailers/yorvel.thumbnailer")
check "the thumbnailer runs the installed tool" "${exec_line%% *}" "$prefix/bin/yorvel"
python3 "$SRC/tests/hostile/make_hostile.py" "$T/hostile" >/dev/null
thumbnail() {  # thumbnail FILE SIZE: runs the Exec line; prints "ok", "refused" or what went wrong
    local cmd=${exec_line//%i/$1}
    cmd=${cmd//%o/$T/thumb.png}
    cmd=${cmd//%s/$2}
    rm -f "$T/thumb.png"
    timeout 60 "$T/stage"$cmd 2>/dev/null
    local rc=$?
    if [ $rc -eq 1 ] && [ ! -e "$T/thumb.png" ]; then echo refused; return; fi
    [ $rc -eq 0 ] || { echo "exit $rc"; return; }
    local wh
    wh=$(identify -format '%w %h %m' "$T/thumb.png" 2>/dev/null) || { echo "not a picture"; return; }
    set -- $wh "$2"
    [ "$3" = PNG ] && [ "$1" -le "$4" ] && [ "$2" -le "$4" ] && echo ok || echo "$3 of $1 x $2"
}
for sample in "$SRC"/samples/*; do
    for size in 128 256; do check "thumbnail of $(basename "$sample") at $size" "$(thumbnail "$sample" $size)" ok; done
done
refused=0
for f in "$T"/hostile/*/*; do
    got=$(thumbnail "$f" 128)
    [ "$got" = refused ] && refused=$((refused + 1)) || check "thumbnail of hostile ${f#$T/hostile/}" "$got" ok
done
check_true "hostile files are refused ($refused of them)" test "$refused" -gt 40

# The library from outside: the example through the CMake package and through pkg-config.
# Both link the shared library, so they run with the staged library folder.
want=$(printf '%s\n' "$(cd "$SRC" && "$P/bin/yorvel" info samples/tiles.yif)" "72x48, first pixel 0,0,0,255" \
    '56 runs, the first: "  YDF v1.0 | brochure | BR-2027-014" in 11 points')
cmake -S "$SRC/examples" -B "$T/example" -DCMAKE_PREFIX_PATH="$P" >"$T/example.log" 2>&1 &&
    cmake --build "$T/example" >>"$T/example.log" 2>&1 || cat "$T/example.log"
check "the example built with find_package(Yorvel) runs" \
    "$(LD_LIBRARY_PATH=$T/stage$libdir "$T/example/yorvel_example" "$SRC/samples/tiles.yif" "$SRC/samples/brochure.ydf")" "$want"
flags=$(PKG_CONFIG_PATH=$T/stage$libdir/pkgconfig PKG_CONFIG_SYSROOT_DIR=$T/stage pkg-config --cflags --libs yorvel)
g++ -std=c++20 -o "$T/example-pc" "$SRC/examples/yorvel_example.cpp" $flags
check "the example built with pkg-config runs" \
    "$(LD_LIBRARY_PATH=$T/stage$libdir "$T/example-pc" "$SRC/samples/tiles.yif" "$SRC/samples/brochure.ydf")" "$want"

DESTDIR=$T/stage "$SRC/scripts/uninstall.sh" "$manifest"
check "uninstall leaves no file behind" "$(find "$T/stage" -type f -o -type l)" ""
check "nor a folder of ours" "$(find "$T/stage" -path '*yorvel*')" ""
rm -f "$manifest"
finish
