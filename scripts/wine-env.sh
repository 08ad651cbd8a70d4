# Sourced, not run: sets up the environment for running our Windows binaries under Wine.
#
# One Wine prefix is made, once, under build/wine/template: wineboot, Wine's own fonts, and
# DejaVu Sans Mono standing in for the reader's Consolas. It is never run in. Each user
# (the unit tests, each end-to-end script, the demo, the launcher) runs in a copy of it of its
# own under build/wine/, whose Windows folder is hard-linked to the template's (the DLLs and
# fonts, 690 MB, which nothing writes to) and whose other files (the registry, the users'
# folders, some MB) are copied: a copy takes a fraction of a second and little disk.
#   YORVEL_WINEPREFIX  the copy to run in (default: <repo>/build/wine/tests)
#   YORVEL_WINE_DIR    where the template and the copies live (default: <repo>/build/wine)
# Wine's own temporary folders go to build/wine/tmp, not /tmp.

yorvel_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
yorvel_wine_dir=${YORVEL_WINE_DIR:-$yorvel_root/build/wine}
export WINEPREFIX=${YORVEL_WINEPREFIX:-$yorvel_wine_dir/tests}
export WINEARCH=win64
export WINEDEBUG=-all
export LANG=C.UTF-8
# No Mono/Gecko prompts, no crash dialog (a crash exits with code 5 instead of hanging),
# no desktop menu entries and no PulseAudio: nothing outside the prefix is touched.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d;winepulse.drv=d"
export TMPDIR=$yorvel_wine_dir/tmp
mkdir -p "$TMPDIR"

# yorvel_wine_complete PREFIX: whether PREFIX is a finished template: it says which Wine made
# it, Wine has not changed since, it holds every font of fonts-wine and the font replacement,
# and nothing in it was written after it was finished (a copy writing through a hard link
# would show here).
yorvel_wine_complete() {
    local p=$1 f
    [ "$(cat "$p/.yorvel-ready" 2>/dev/null)" = "$(wine --version 2>/dev/null)" ] || return 1
    [ -d "$p/drive_c/windows/system32" ] || return 1
    for f in $(dpkg -L fonts-wine 2>/dev/null | grep -E '\.(ttf|fon)$'); do
        [ -s "$p/drive_c/windows/Fonts/${f##*/}" ] || return 1
    done
    grep -q '^"Consolas"="DejaVu Sans Mono"' "$p/user.reg" 2>/dev/null || return 1
    [ -z "$(find "$p" -newer "$p/.yorvel-ready" ! -type d -print -quit)" ]
}

# yorvel_wine_template: makes build/wine/template when it is missing or not complete.
yorvel_wine_template() {
    local t=$yorvel_wine_dir/template try
    yorvel_wine_complete "$t" && return 0
    # The four full prefixes earlier versions made, one per user, go.
    rm -rf "$yorvel_wine_dir"/{prefix,e2e-prefix,hostile-prefix,demo-prefix}{,.lock}
    for try in 1 2; do
        rm -rf "$t"
        (
            export WINEPREFIX=$t DISPLAY=
            wine wineboot --init >/dev/null 2>&1
            # wineboot may return before the prefix is written: the server's end says it is.
            wineserver -w
            fonts=$(dpkg -L fonts-wine 2>/dev/null | grep -E '\.(ttf|fon)$')
            [ -d "$t/drive_c/windows/Fonts" ] && [ -n "$fonts" ] || exit 1
            # Fixed fonts make drawn text reproducible: Wine's own fonts, and a monospaced
            # stand-in for the face the document reader asks for.
            # shellcheck disable=SC2086
            cp $fonts "$t/drive_c/windows/Fonts/" || exit 1
            printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n"Consolas"="DejaVu Sans Mono"\n' \
                >"$t/drive_c/yorvel.reg"
            wine regedit /S 'C:\yorvel.reg' >/dev/null 2>&1
            wineserver -w
            rm -f "$t/drive_c/yorvel.reg"
            # Wine here names its server's folder under TMPDIR in PREFIX/wineserver: each copy
            # makes its own.
            [ -f "$t/wineserver" ] && rm -rf "$TMPDIR/$(cat "$t/wineserver")" "$t/wineserver"
            wine --version >"$t/.yorvel-ready"
        ) && yorvel_wine_complete "$t" && return 0
        echo "wine-env: the Wine prefix $t came out incomplete (try $try)" >&2
    done
    return 1
}

# yorvel_wine_prefix [--fresh]: makes $WINEPREFIX a copy of the template, unless it already is
# one of the current template (--fresh: a new copy in any case), under a lock so that
# parallel test processes can share it.
yorvel_wine_prefix() {
    local fresh=${1:-}
    mkdir -p "$yorvel_wine_dir"
    (
        flock 9
        yorvel_wine_template || exit 1
        t=$yorvel_wine_dir/template
        stamp=$(stat -c '%i %Y' "$t/.yorvel-ready")
        if [ "$fresh" != --fresh ] && [ "$(cat "$WINEPREFIX/.yorvel-copy" 2>/dev/null)" = "$stamp" ]; then
            exit 0
        fi
        [ -f "$WINEPREFIX/wineserver" ] && rm -rf "$TMPDIR/$(cat "$WINEPREFIX/wineserver")"
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        mkdir -p "$WINEPREFIX/drive_c"
        for f in "$t"/.[!.]* "$t"/* "$t"/drive_c/*; do
            case ${f#"$t"/} in
                drive_c) ;;
                drive_c/windows) cp -al "$f" "$WINEPREFIX/drive_c/" ;;
                *) cp -a "$f" "$WINEPREFIX/${f#"$t"/}" ;;
            esac
        done
        echo "$stamp" >"$WINEPREFIX/.yorvel-copy"
    ) 9>"$yorvel_wine_dir/lock"
}

# yorvel_wine_end: ends every Wine process of $WINEPREFIX and waits for its server to go.
yorvel_wine_end() {
    timeout 20 wineserver -k >/dev/null 2>&1
    timeout 20 wineserver -w >/dev/null 2>&1
    [ -f "$WINEPREFIX/wineserver" ] && rm -rf "$TMPDIR/$(cat "$WINEPREFIX/wineserver")"
    return 0
}
