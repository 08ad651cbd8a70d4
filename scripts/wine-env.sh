# Sourced, not run: sets up the environment for running our Windows binaries under Wine.
# The prefix is private to the build tree (never ~/.wine) and is made once, under a lock,
# so that parallel test processes can share it.
#   YORVEL_WINEPREFIX  overrides where the prefix lives (default: <repo>/build/wine/prefix)

yorvel_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${YORVEL_WINEPREFIX:-$yorvel_root/build/wine/prefix}
export WINEARCH=win64
export WINEDEBUG=-all
export LANG=C.UTF-8
# No Mono/Gecko prompts, no crash dialog (a crash exits with code 5 instead of hanging),
# no desktop menu entries and no PulseAudio: nothing outside the prefix is touched.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d;winepulse.drv=d"

yorvel_wine_prefix() {
    [ -f "$WINEPREFIX/.yorvel-ready" ] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        [ -f "$WINEPREFIX/.yorvel-ready" ] && exit 0
        rm -rf "$WINEPREFIX"
        DISPLAY= wine wineboot --init >/dev/null 2>&1 || true
        # Fixed fonts make drawn text reproducible: Wine's own fonts, and a monospaced
        # stand-in for the face the document reader asks for.
        fonts=$(dpkg -L fonts-wine 2>/dev/null | grep -E '\.(ttf|fon)$' || true)
        [ -n "$fonts" ] && cp $fonts "$WINEPREFIX/drive_c/windows/Fonts/"
        printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n"Consolas"="DejaVu Sans Mono"\n' \
            > "$WINEPREFIX/drive_c/yorvel.reg"
        DISPLAY= wine regedit /S 'C:\yorvel.reg' >/dev/null 2>&1 || true
        wineserver -w
        touch "$WINEPREFIX/.yorvel-ready"
    ) 9>"$WINEPREFIX.lock"
}
