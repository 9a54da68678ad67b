#!/usr/bin/env bash
# Times ImageMagick's -blur, -unsharp and -swirl (the equivalents of the stack blur at two radii,
# of the unsharp mask and of the twirl) on a 6000 x 4000 picture, on one thread and on all
# threads, then runs effects_bench.exe on the same picture under the build's Wine and prints both
# with their ratios.
# The picture (a plasma fractal, 24-bit BMP) is made once in the build folder.
# Usage: bench/run_effects_bench.sh [--runs N]     (BUILD=<build folder>, default build/)
# scripts/bench.sh effects_bench builds first and calls this script.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD:-${BUILD_DIR:-$ROOT/build}}
EXE=$BUILD/bench/effects_bench.exe
[ -f "$EXE" ] || { echo "error: $EXE is missing; build first (scripts/build.sh)" >&2; exit 1; }
command -v convert >/dev/null || { echo "error: ImageMagick's convert is missing" >&2; exit 1; }

. "$ROOT/bench/magick_common.sh"
PICTURE=$BUILD/bench/effects_bench_6000x4000.bmp
make_bench_picture "$PICTURE" 6000 4000

# ImageMagick reads the BMP on every call: one call reads the picture once into its memory
# registry and applies the operation n times; one operation takes the difference between calls
# with 3 and with 1 operation, divided by 2.
operations() {  # count operation...
  local count=$1 i
  shift
  for i in $(seq "$count"); do printf ' mpr:p %s +delete' "$*"; done
}
magick_ms() {  # threads operation...
  local threads=$1 one three
  shift
  # shellcheck disable=SC2046
  one=$(best_ms 2 convert -limit thread "$threads" "$PICTURE" -write mpr:p +delete $(operations 1 "$@") xc:white null:)
  # shellcheck disable=SC2046
  three=$(best_ms 2 convert -limit thread "$threads" "$PICTURE" -write mpr:p +delete $(operations 3 "$@") xc:white null:)
  local ms=$(((three - one) / 2))
  echo $((ms > 0 ? ms : 1))
}
threads=$(nproc)
times=()
for op in "-blur 0x4.47" "-blur 0x16.73" "-unsharp 0x1.414+0.5+0.0118" "-swirl 57.3"; do
  # shellcheck disable=SC2086
  times+=("$(magick_ms 1 $op)" "$(magick_ms "$threads" $op)")
done
echo "ImageMagick ($(convert -version | sed -n '1s/^Version: //p')), one operation on the picture in memory, 1 and $threads threads"
echo

use_build_wine
wine "$EXE" "$(winepath -w "$PICTURE")" --magick-ms "${times[@]}" "$@"
