# Shared by the run scripts that time ImageMagick beside a benchmark program (sourced, not run).
# Needs ROOT and BUILD set by the caller.

# Makes the camera-sized test picture (a plasma fractal, 24-bit BMP) once.
make_bench_picture() {  # path width height
  if [ ! -f "$1" ]; then
    echo "making $1 ..."
    convert -seed 7 -size "$2x$3" plasma:fractal -type TrueColor "BMP3:$1.tmp"
    mv "$1.tmp" "$1"
  fi
}

# Best wall-clock time of `runs` runs of a command, in milliseconds.
best_ms() {  # runs command...
  local runs=$1 best=0 i start end ms
  shift
  for i in $(seq "$runs"); do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    ms=$(((end - start) / 1000000))
    if [ "$best" -eq 0 ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}

# Sets up the build's Wine (unless the caller already has one) for the wine and winepath calls
# that follow.
use_build_wine() {
  if [ -z "${WINEPREFIX:-}" ]; then
    WINE_ROOT=$BUILD/wine
    . "$ROOT/scripts/wine-env.sh"
    trap 'vst_stop_display' EXIT
    vst_start_display
    vst_wine_prepare
  fi
}
