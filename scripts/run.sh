#!/usr/bin/env bash
# Builds the program and starts it under Wine (in the build's private prefix).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/build.sh" "$BUILD"
EXE=$BUILD/app/vst.exe
if [ ! -f "$EXE" ]; then
  echo "The program's entry point is not built yet: only the libraries and their tests exist (scripts/test.sh runs them)."
  exit 0
fi
WINE_ROOT=$BUILD/wine
. "$ROOT/scripts/wine-env.sh"
[ -n "${DISPLAY:-}" ] || { echo "error: no DISPLAY: run this from a desktop session (or under xvfb-run)" >&2; exit 1; }
vst_wine_prepare
exec wine "$EXE" "$@"
