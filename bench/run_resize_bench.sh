#!/usr/bin/env bash
# Times ImageMagick's Lanczos resize of a 6000 x 4000 picture to a 200 x 200 thumbnail and to half
# size, then runs resize_bench.exe on the same picture under the build's Wine and prints both with
# their ratio. The picture (a plasma fractal, 24-bit BMP) is made once in the build folder.
# Usage: bench/run_resize_bench.sh [--runs N]     (BUILD=<build folder>, default build/)
# scripts/bench.sh resize_bench builds first and calls this script.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD:-${BUILD_DIR:-$ROOT/build}}
EXE=$BUILD/bench/resize_bench.exe
[ -f "$EXE" ] || { echo "error: $EXE is missing; build first (scripts/build.sh)" >&2; exit 1; }
command -v convert >/dev/null || { echo "error: ImageMagick's convert is missing" >&2; exit 1; }

. "$ROOT/bench/magick_common.sh"
PICTURE=$BUILD/bench/resize_bench_6000x4000.bmp
make_bench_picture "$PICTURE" 6000 4000

# ImageMagick reads the BMP on every call, which takes longer than the resize: one call reads the
# picture once into its memory registry and resizes it n times, and the time of one resize is the
# difference between calls with 5 and with 1 resize, divided by 4.
resizes() {  # count geometry
  local i
  for i in $(seq "$1"); do printf ' mpr:p -filter Lanczos -resize %s +delete' "$2"; done
}
magick_ms() {  # geometry
  local one five
  # shellcheck disable=SC2046
  one=$(best_ms 3 convert "$PICTURE" -write mpr:p +delete $(resizes 1 "$1") xc:white null:)
  # shellcheck disable=SC2046
  five=$(best_ms 3 convert "$PICTURE" -write mpr:p +delete $(resizes 5 "$1") xc:white null:)
  local ms=$(((five - one) / 4))
  echo $((ms > 0 ? ms : 1))
}
thumb_resize=$(magick_ms 200x200)
half_resize=$(magick_ms 50%)
echo "ImageMagick ($(convert -version | sed -n '1s/^Version: //p'))"
echo "  convert -filter Lanczos -resize, one resize of the picture in memory:"
echo "  thumbnail (200x200) ${thumb_resize} ms, half (50%) ${half_resize} ms"
echo

use_build_wine
wine "$EXE" "$(winepath -w "$PICTURE")" --magick-ms "$thumb_resize" "$half_resize" "$@"
