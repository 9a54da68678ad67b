#!/usr/bin/env bash
# Takes the README's screenshots: makes a disk image of photo-like pictures of real sizes (crops of
# ImageMagick plasma fractals in several formats, with noise between them), runs the start-window
# flow test under Xvfb on it (a scan through the start, scan and result windows), which saves a
# capture of each window, and writes them as PNG files into docs/screenshots/.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/build.sh" "$BUILD" >/dev/null
command -v convert >/dev/null || { echo "error: ImageMagick's convert is needed (apt-get install imagemagick)" >&2; exit 1; }

WINE_ROOT=$BUILD/wine
. "$ROOT/scripts/wine-env.sh"
# Always a display of our own: the captures must not depend on the desktop the script runs on.
unset DISPLAY
trap 'vst_stop_display' EXIT
vst_start_display
vst_wine_prepare

SHOTS=$BUILD/screenshots
rm -rf "$SHOTS"
mkdir -p "$SHOTS/pictures"

# The pictures: crops of real sizes from a few fractal "photos", one format after another, each
# followed by some noise, as a memory card holds them after their directory is lost.
IMAGE=$SHOTS/card.img
for seed in 1 2 3; do
  convert -seed "$seed" -size 1600x1200 plasma:fractal -blur 0x1 "$SHOTS/pictures/base$seed.png" ||
    { echo "error: ImageMagick could not make the base pictures" >&2; exit 1; }
done
formats=(jpg png jpg gif jpg bmp jpg png jpg tif jpg png)
: >"$IMAGE"
for i in "${!formats[@]}"; do
  ext=${formats[$i]}
  w=$((640 + (i * 97) % 960)); h=$((480 + (i * 71) % 720))
  picture=$SHOTS/pictures/p$i.$ext
  convert "$SHOTS/pictures/base$((i % 3 + 1)).png" -crop "${w}x${h}+$((i * 23 % 400))+$((i * 17 % 300))" +repage \
    -quality 88 "$picture" || { echo "error: ImageMagick could not write $picture" >&2; exit 1; }
  cat "$picture" >>"$IMAGE"
  head -c $((20000 + i * 4099)) /dev/urandom >>"$IMAGE"
done

(cd "$BUILD/tests" && VST_TEST_DATA=$ROOT/tests/data VST_SCREENSHOTS="Z:$(echo "$SHOTS" | tr / '\\')" \
  VST_SCREENSHOT_IMAGE="Z:$(echo "$IMAGE" | tr / '\\')" \
  wine test_app.exe --gtest_filter='StartUpFlow*' >"$SHOTS/test.log" 2>&1) ||
  { echo "error: the flow test failed; see $SHOTS/test.log" >&2; exit 1; }

OUT=$ROOT/docs/screenshots
mkdir -p "$OUT"
for name in start scan result; do
  [ -f "$SHOTS/$name.bmp" ] || { echo "error: no capture of the $name window" >&2; exit 1; }
  convert "$SHOTS/$name.bmp" -strip "$OUT/$name.png"
  echo "$OUT/$name.png"
done
