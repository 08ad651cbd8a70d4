#!/usr/bin/env bash
# make install into a prefix with a blank and shell-special characters in its path:
# everything installed, the desktop's view of it (MIME types by name and by content, the
# program entries and their launcher, the thumbnailer on the samples and on hostile files),
# the library used from outside the project through its CMake package and through
# pkg-config with the compiler's default standard, and an uninstall that leaves nothing
# behind, not even the folders it made. Then as a packager stages it, under a DESTDIR with
# a blank.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$1
SRC=$2
source "$SRC/tests/checks.sh"
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT

# The component name keeps the manifest apart from the one a real make install keeps.
# The install runs as make install runs it.
P="$T/my yorvel's & \"co\""
manifest=$BUILD/install_manifest_Unspecified.txt
cmake --install "$BUILD" --component Unspecified --prefix "$P" >"$T/install.log" 2>&1 ||
    { cat "$T/install.log"; fail "cmake --install failed"; finish; }
libdir=$(dirname "$(grep -m1 '/libyorvel\.a$' "$manifest")")
for f in bin/yorvel bin/yorvel-view share/yorvel/windows/YorvelYIFReader.exe share/yorvel/windows/YorvelYDFReader.exe \
         share/yorvel/windows/YorvelYAFPlayer.exe share/man/man1/yorvel.1 share/mime/packages/yorvel.xml \
         share/thumbnailers/yorvel.thumbnailer include/yorvel/yif_image.h include/yorvel/yaf_sound.h \
         include/yorvel/ydf_document.h include/yorvel/ydf_export.h; do
    check_true "$f is installed" test -s "$P/$f"
done
check_true "the static and shared library are installed" test -s "$libdir/libyorvel.a" -a -L "$libdir/libyorvel.so"
options() { grep -o -- '\\\?-\\\?-[a-z]\+' "$1" | tr -d '\\' | sort -u | tr '\n' ' '; }
check "the man page and the README name the same options" "$(options "$P/share/man/man1/yorvel.1")" \
    "$(sed -n '/^## The `yorvel` tool/,/^## /p' "$SRC/README.md" >"$T/readme-tool"; options "$T/readme-tool")"
check "the man page formats without warnings" "$(MANWIDTH=80 man --warnings -l "$P/share/man/man1/yorvel.1" 2>&1 >/dev/null)" ""

# MIME types, by name and, renamed to no extension, by content (a database of our own
# types alone, built beside the installed tree, so that uninstalling is checked on the
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
    # The launcher picks the program the desktop would: by extension, else by content.
    exe=$(grep -l "${want#*yorvel-}" "$P"/share/applications/*.desktop | xargs -d '\n' basename -s .desktop).exe
    check "yorvel-view opens $name in $exe" "$("$P/bin/yorvel-view" --which "$sample")" \
        "$P/share/yorvel/windows/$exe
Z:${sample//\//\\}"
    check "yorvel-view opens $name without its extension in $exe" \
        "$("$P/bin/yorvel-view" --which "$T/${name%.*}" | head -n 1)" "$P/share/yorvel/windows/$exe"
done

# exec_args ENTRY: the words of ENTRY's Exec line, as a desktop takes them apart (the
# string's backslashes undone, then double quotes with \" \` \$ \\ inside, as a shell's).
exec_args() {
    local line
    line=$(sed -n 's/^Exec=//p' "$1" | sed 's/\\\\/\\/g; s/%%/%/g')
    eval "args=($line)"
}
for entry in "$P"/share/applications/Yorvel*.desktop; do
    check "$(basename "$entry") is valid" "$(desktop-file-validate "$entry" 2>&1)" ""
    exec_args "$entry"
    check "$(basename "$entry") runs the launcher" "${args[0]}" "$P/bin/yorvel-view"
done
check "three program entries" "$(ls "$P"/share/applications | wc -l)" 3

# The thumbnailer as a file manager runs it: its Exec line, %i %o %s filled in. Each
# file gives a PNG of at most the size asked for, or exits 1 and writes nothing.
exec_args "$P/share/thumbnailers/yorvel.thumbnailer"
thumbnailer=("${args[@]}")
check "the thumbnailer runs the installed tool" "${thumbnailer[0]}" "$P/bin/yorvel"
python3 "$SRC/tests/hostile/make_hostile.py" "$T/hostile" >/dev/null
thumbnail() {  # thumbnail FILE SIZE: runs the Exec line; prints "ok", "refused" or what went wrong
    local cmd=("${thumbnailer[@]//%i/$1}")
    cmd=("${cmd[@]//%o/$T/thumb.png}")
    cmd=("${cmd[@]//%s/$2}")
    rm -f "$T/thumb.png"
    timeout 60 "${cmd[@]}" 2>/dev/null
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

# The library from outside: the example through the CMake package and through pkg-config,
# neither asking for a C++ standard (the library says which it needs). Both link the
# shared library, so they run with the installed library folder.
want=$(printf '%s\n' "$(cd "$SRC" && "$P/bin/yorvel" info samples/tiles.yif)" "72x48, first pixel 0,0,0,255" \
    '56 runs, the first: "  YDF v1.0 | brochure | BR-2027-014" in 11 points')
cmake -S "$SRC/examples" -B "$T/example" -DCMAKE_PREFIX_PATH="$P" >"$T/example.log" 2>&1 &&
    cmake --build "$T/example" >>"$T/example.log" 2>&1 || cat "$T/example.log"
check "the example built with find_package(Yorvel) runs" \
    "$(LD_LIBRARY_PATH=$libdir "$T/example/yorvel_example" "$SRC/samples/tiles.yif" "$SRC/samples/brochure.ydf")" "$want"
# pkg-config escapes the paths for a shell, as make and configure scripts use its output.
flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs yorvel)
eval "g++ -o \"\$T/example-pc\" \"\$SRC/examples/yorvel_example.cpp\" $flags" >"$T/example-pc.log" 2>&1 ||
    cat "$T/example-pc.log"
check "the example built with pkg-config runs" \
    "$(LD_LIBRARY_PATH=$libdir "$T/example-pc" "$SRC/samples/tiles.yif" "$SRC/samples/brochure.ydf")" "$want"

"$SRC/scripts/uninstall.sh" "$manifest"
check "uninstall leaves nothing behind, not even the folders it made" "$(find "$T" -path "$P*")" ""

# Staged: under a DESTDIR with a blank, the files name the prefix, not the staging folder.
stage="$T/stage area"
DESTDIR=$stage cmake --install "$BUILD" --component Unspecified --prefix /opt/yorvel >"$T/install.log" 2>&1 ||
    { cat "$T/install.log"; fail "cmake --install with DESTDIR failed"; }
exec_args "$stage/opt/yorvel/share/applications/YorvelYIFReader.desktop"
check "a staged entry runs the launcher where it will be" "${args[0]}" /opt/yorvel/bin/yorvel-view
check "a staged yorvel.pc names the prefix" \
    "$(sed -n 's/^prefix=//p' "$stage$(grep -m1 '/yorvel\.pc$' "$manifest")")" /opt/yorvel
DESTDIR=$stage "$SRC/scripts/uninstall.sh" "$manifest"
check "a staged uninstall leaves nothing behind" "$(find "$stage" -mindepth 1)" ""
rm -f "$manifest" "$BUILD"/install_folders_Unspecified.txt
finish
