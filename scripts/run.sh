#!/usr/bin/env bash
# Builds everything and starts the program from its distributable folder under Wine, in the build's
# private prefix. Without a DISPLAY it starts Xvfb itself (the windows are then not visible).
# Usage: scripts/run.sh [program arguments...]   (BUILD_DIR chooses the build folder, default build/)
set -Eeuo pipefail
# Every failure says why, also where a command's own output was silenced.
trap 'status=$?; echo "error: ${BASH_SOURCE[0]}: line $LINENO: \"$BASH_COMMAND\" failed with status $status" >&2; exit $status' ERR
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/build.sh" "$BUILD"
DIST=$BUILD/dist/DelvarinVastrel
EXE=$DIST/vst.exe
[ -f "$EXE" ] || { echo "error: $EXE was not built" >&2; exit 1; }

WINE_ROOT=$BUILD/wine
. "$ROOT/scripts/wine-env.sh"
if [ -z "${DISPLAY:-}" ]; then
  trap 'vst_stop_display' EXIT
  vst_start_display
  echo "No DISPLAY: started Xvfb on $DISPLAY; the program's windows are not visible there."
fi
vst_wine_prepare
# The program looks for its languages, skins and DLLs beside itself; run it from its folder.
cd "$DIST"
status=0
wine "$EXE" "$@" || status=$?
# The program ends with 1 when it shuts down normally.
if [ "$status" -eq 1 ]; then exit 0; fi
echo "vst.exe ended with $status" >&2
exit "$status"
