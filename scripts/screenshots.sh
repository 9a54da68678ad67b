#!/usr/bin/env bash
# Takes the README's screenshots: runs the start-window flow test under Xvfb (a scan of a small
# disk image made by the test, through the start, scan and result windows), which saves a capture
# of each window, and writes them as PNG files into docs/screenshots/.
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
mkdir -p "$SHOTS"
(cd "$BUILD/tests" && VST_TEST_DATA=$ROOT/tests/data VST_SCREENSHOTS="Z:$(echo "$SHOTS" | tr / '\\')" \
  wine test_app.exe --gtest_filter='StartUpFlow*' >"$SHOTS/test.log" 2>&1) ||
  { echo "error: the flow test failed; see $SHOTS/test.log" >&2; exit 1; }

OUT=$ROOT/docs/screenshots
mkdir -p "$OUT"
for name in start scan result; do
  [ -f "$SHOTS/$name.bmp" ] || { echo "error: no capture of the $name window" >&2; exit 1; }
  convert "$SHOTS/$name.bmp" -strip "$OUT/$name.png"
  echo "$OUT/$name.png"
done
