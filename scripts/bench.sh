#!/usr/bin/env bash
# Builds the project and runs one benchmark program (or all) under Wine.
# Usage: scripts/bench.sh [name] [args...]   e.g. scripts/bench.sh pixel_bench
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/build.sh" "$BUILD" >/dev/null
WINE_ROOT=$BUILD/wine
. "$ROOT/scripts/wine-env.sh"
trap 'vst_stop_display' EXIT
vst_start_display
vst_wine_prepare
if [ $# -gt 0 ]; then
  name=$1; shift
  if [ -x "$ROOT/bench/run_$name.sh" ]; then BUILD=$BUILD "$ROOT/bench/run_$name.sh" "$@"; else wine "$BUILD/bench/$name.exe" "$@"; fi
else
  for exe in "$BUILD"/bench/*.exe; do echo "== $(basename "$exe" .exe)"; wine "$exe"; done
fi
