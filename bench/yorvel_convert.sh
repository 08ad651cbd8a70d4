#!/usr/bin/env bash
# yorvel convert beside ImageMagick on one picture of SIZE x SIZE (default 8192): PNG -> YIF
# against PNG -> PAM, and YIF -> PNG against PAM -> PNG of the same pixels; PNG -> YIF with
# error diffusion (the default) against ImageMagick's Floyd-Steinberg onto the same 19683
# colours; then the time of yorvel info on the large YIF. Prints wall times, peak memory
# and the ratios (yorvel / ImageMagick; the goal is 0.5 or less each way), and the cost of
# diffusion and of choosing the smaller encoding (goal: diffusion under 1.3 times
# --dither none).
#
#   bench/yorvel_convert.sh build/native/yorvel [SIZE]       (make bench runs it)
#
# RUNS=n takes the best of n runs of each (default 1: ImageMagick's PNG writer alone
# takes about a minute at this size). Skipped when ImageMagick is not installed.
set -euo pipefail
YORVEL=$(realpath "$1")
SIZE=${2:-8192}
RUNS=${RUNS:-1}
HERE=$(cd "$(dirname "$0")/.." && pwd)
if ! [ -x /usr/bin/convert ] || ! /usr/bin/convert -version 2>/dev/null | grep -q ImageMagick; then
    echo "yorvel_convert: skipped, ImageMagick's convert is not installed"
    exit 0
fi
D=$(mktemp -d "${TMPDIR:-/tmp}/yorvel-bench.XXXXXX")
trap 'rm -rf "$D"' EXIT

# ImageMagick's system policy caps its pixel cache at 256 MiB, which sends a picture of
# this size to a disk cache and slows it down many times; here it gets room in memory.
mkdir "$D/policy"
cat >"$D/policy/policy.xml" <<'XML'
<policymap>
  <policy domain="resource" name="memory" value="8GiB"/>
  <policy domain="resource" name="map" value="8GiB"/>
  <policy domain="resource" name="disk" value="16GiB"/>
  <policy domain="resource" name="area" value="2GP"/>
</policymap>
XML
export MAGICK_CONFIGURE_PATH=$D/policy

# The picture: the aurora sample enlarged (smooth colour) with fine noise, like a photo;
# the same bytes every time.
"$YORVEL" convert "$HERE/samples/aurora.yif" "$D/aurora.png"
convert "$D/aurora.png" -filter Triangle -resize "${SIZE}x${SIZE}!" -seed 1 -attenuate 0.25 +noise Gaussian \
    -define png:compression-level=1 "$D/picture.png"
"$YORVEL" convert "$D/picture.png" "$D/picture.yif"
"$YORVEL" convert "$D/picture.yif" "$D/picture.pam"  # the YIF's pixels, for ImageMagick's PNG writer
# The 19683 colours of 9-trit pixels, as a palette for ImageMagick's -remap.
python3 -c "
levels = [k * 255 // 26 for k in range(27)]
print('P3 243 81 255', *(f'{r} {g} {b}' for r in levels for g in levels for b in levels))" >"$D/palette.ppm"

# timed NAME COMMAND...: best wall time of RUNS runs and that run's peak memory, as
# "seconds kilobytes" in $D/NAME.
timed() {
    local name=$1 best="" kb="" i
    shift
    for ((i = 0; i < RUNS; i++)); do
        sync  # each run starts without the last one's output still waiting to reach the disk
        /usr/bin/time -f "%e %M" -o "$D/time" "$@" >/dev/null 2>&1
        read -r s k <"$D/time"
        if [ -z "$best" ] || awk "BEGIN { exit !($s < $best) }"; then best=$s kb=$k; fi
    done
    echo "$best $kb" >"$D/$name"
}

timed yorvel-png-yif "$YORVEL" convert "$D/picture.png" "$D/out.yif"
timed magick-png-pam convert "$D/picture.png" "$D/out.pam"
timed yorvel-yif-png "$YORVEL" convert "$D/picture.yif" "$D/out.png"
timed magick-pam-png convert "$D/picture.pam" "$D/magick.png"
timed magick-dither convert "$D/picture.png" -dither FloydSteinberg -remap "$D/palette.ppm" "$D/magick-dither.pam"
timed yorvel-none "$YORVEL" convert "$D/picture.png" "$D/none.yif" --dither none
timed yorvel-fs-raw "$YORVEL" convert "$D/picture.png" "$D/fs-raw.yif" --raw
timed yorvel-none-raw "$YORVEL" convert "$D/picture.png" "$D/none-raw.yif" --dither none --raw
cmp -s "$D/out.yif" "$D/picture.yif" || { echo "PNG -> YIF gave another file on a second run"; exit 1; }
# The PNG written must hold exactly the YIF's pixels.
convert "$D/out.png" -depth 8 rgba:"$D/check.rgba"
tail -c $((SIZE * SIZE * 4)) "$D/picture.pam" | cmp -s - "$D/check.rgba" || { echo "PNG output is not lossless"; exit 1; }

start=$(date +%s.%N)
for ((i = 0; i < 100; i++)); do "$YORVEL" info "$D/picture.yif" >/dev/null; done
info_ms=$(echo "($(date +%s.%N) - $start) * 10" | bc -l)

row() {  # row LABEL YORVEL MAGICK
    read -r ys yk <"$D/$2"
    read -r ms mk <"$D/$3"
    printf '%-12s %10.2f %10.0f %12.2f %10.0f %8.2f\n' "$1" "$ys" "$((yk / 1024))" "$ms" "$((mk / 1024))" \
        "$(echo "$ys / $ms" | bc -l)"
}
echo "yorvel convert beside ImageMagick, ${SIZE}x${SIZE}, best of $RUNS (PNG $(($(stat -c %s "$D/picture.png") / 1048576)) MiB, YIF $(($(stat -c %s "$D/picture.yif") / 1048576)) MiB)"
printf '%-12s %10s %10s %12s %10s %8s\n' direction "yorvel/s" "peak/MiB" "magick/s" "peak/MiB" ratio
row "PNG -> YIF" yorvel-png-yif magick-png-pam
row "YIF -> PNG" yorvel-yif-png magick-pam-png
row "dithered" yorvel-png-yif magick-dither
ratio() {  # ratio LABEL A B: A's wall time over B's
    read -r as _ <"$D/$2"
    read -r bs _ <"$D/$3"
    printf '%-44s %6.2f\n' "$1" "$(echo "$as / $bs" | bc -l)"
}
ratio "diffusion: --dither fs / none" yorvel-png-yif yorvel-none
ratio "diffusion, raw trits: --dither fs / none" yorvel-fs-raw yorvel-none-raw
ratio "the smaller encoding: default / --raw" yorvel-png-yif yorvel-fs-raw
printf 'YIF sizes: raw %d MiB, default %d MiB (%s)\n' "$(($(stat -c %s "$D/fs-raw.yif") / 1048576))" \
    "$(($(stat -c %s "$D/picture.yif") / 1048576))" \
    "$([ "$(head -c 14 "$D/picture.yif" | tail -c 1 | xxd -p)" = 01 ] && echo run codes || echo raw)"
printf 'yorvel info on the %d MiB YIF: %.2f ms a call\n' "$(($(stat -c %s "$D/picture.yif") / 1048576))" "$info_ms"
