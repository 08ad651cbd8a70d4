#!/usr/bin/env bash
# Shows the three programs, each on a bundled sample, under Wine in a copy of the
# project's prefix (build/wine/demo, never ~/.wine).
#
# With a usable DISPLAY the programs open there, and the script waits until all three
# are closed. Without one they run on a private X server, and the script writes a
# screenshot of each window to build/demo/<program>.png and what the player played to
# build/demo/YorvelYAFPlayer.wav. Either way no process is left behind.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
export YORVEL_WINEPREFIX=$root/build/wine/demo
source scripts/wine-env.sh

out=$root/build/demo
wdrive=$root/build/win64/tests/e2e/wdrive.exe
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.wav "$out"/*.raw

winpath() { printf 'Z:%s' "${1//\//\\}"; }
programs=(YorvelYIFReader YorvelYDFReader YorvelYAFPlayer)
declare -A sample=([YorvelYIFReader]=aurora.yif [YorvelYDFReader]=brochure.ydf [YorvelYAFPlayer]=chord.yaf)

xvfb_pid=""
cleanup() {
    yorvel_wine_end
    [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; } || true
}
trap cleanup EXIT

echo "Preparing the Wine prefix (the first time takes a few seconds)..."
timeout 300 bash -c 'source scripts/wine-env.sh && yorvel_wine_prefix --fresh'

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    echo "Opening the three programs on $DISPLAY; close their windows to finish."
    pids=()
    for p in "${programs[@]}"; do
        wine "build/win64/$p.exe" "$(winpath "$root/samples/${sample[$p]}")" >/dev/null 2>&1 &
        pids+=($!)
    done
    wait "${pids[@]}" || true
    exit 0
fi

# No display: a private X server, screenshots, and the sound captured to a file.
fd=0
exec {fd}>"$out/display"
Xvfb -displayfd "$fd" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec {fd}>&-
end=$((SECONDS + 10))
until [ -s "$out/display" ]; do
    [ $SECONDS -lt $end ] || { echo "Xvfb did not start"; exit 1; }
    sleep 0.05
done
export DISPLAY=:$(tr -d '\n' <"$out/display")
rm -f "$out/display"

# The reader's caret stays on instead of blinking, so that its screenshot is the same at
# every run (this copy of the prefix only).
timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v CursorBlinkRate /d -1 /f >/dev/null 2>&1

# Sound goes to a file: an ALSA "file" device over "null", for the player's process only.
printf '<confdir:alsa.conf>\npcm.!default { type file; slave.pcm "null"; file "%s"; format "raw" }\n' \
    "$out/played.raw" >"$out/asound.conf"

wd() { timeout 30 wine "$wdrive" "$@"; }

for p in "${programs[@]}"; do
    ALSA_CONFIG_PATH=$out/asound.conf timeout 120 wine "build/win64/$p.exe" \
        "$(winpath "$root/samples/${sample[$p]}")" >/dev/null 2>&1 &
    pid=$!
    wd find "$p" 20000 >/dev/null
    wd settle "$p"
    read -r x y w h < <(wd client "$p")
    timeout 30 /usr/bin/import -silent -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$p.png"
    if [ "$p" = YorvelYAFPlayer ]; then
        # Play (command 2), and wait until the whole sound has reached the device.
        bytes=$(( $(stat -c %s "samples/${sample[$p]}") - 20 ))
        wd cmd "$p" 2
        end=$((SECONDS + 30))
        while [ "$(stat -c %s "$out/played.raw" 2>/dev/null || echo 0)" -lt "$bytes" ] && [ $SECONDS -lt $end ]; do
            sleep 0.2
        done
        # What was played, under the sample's own header, made into a WAV file by yorvel.
        { head -c 20 "samples/${sample[$p]}"; head -c "$bytes" "$out/played.raw"; } >"$out/played.yaf"
        build/native/yorvel convert "$out/played.yaf" "$out/$p.wav"
        rm -f "$out/played.yaf"
        rm -f "$out/played.raw"
    fi
    wd close "$p"
    timeout 20 tail --pid="$pid" -f /dev/null || true
done
rm -f "$out/asound.conf"

echo "Screenshots and sound are in build/demo:"
ls -1 "$out" | sed 's/^/  /'

# The README shows these screenshots as docs/*.png: a picture that differs from what the
# programs show now is replaced, and said so (to be committed with the change that made it).
stale=0
for p in "${programs[@]}"; do
    diff=$(compare -metric AE "$out/$p.png" "docs/$p.png" null: 2>&1) || true
    [ "$diff" = 0 ] && continue
    [[ $diff =~ ^[0-9]+$ ]] && diff="$diff pixels differ" || diff="its size differs"
    cp "$out/$p.png" "docs/$p.png"
    echo "docs/$p.png was not what the program shows ($diff): replaced by the new screenshot."
    stale=1
done
[ "$stale" -eq 0 ] && echo "docs/*.png, the README's pictures, are what the programs show."
exit 0
