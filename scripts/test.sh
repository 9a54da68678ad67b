#!/usr/bin/env bash
# Builds everything and runs every test under Wine. Extra arguments go to ctest (e.g. -R base).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/build.sh" "$BUILD"

WINE_ROOT=$BUILD/wine
. "$ROOT/scripts/wine-env.sh"

trap 'vst_stop_display' EXIT
vst_start_display
vst_wine_prepare

cd "$BUILD"
ctest --output-on-failure --timeout 600 "$@"
