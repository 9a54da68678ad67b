#!/usr/bin/env bash
# Builds everything and runs every test under Wine. Extra arguments go to ctest (e.g. -R base).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/build.sh" "$BUILD"

WINE_ROOT=$BUILD/wine
. "$ROOT/scripts/wine-env.sh"

XVFB_PID=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -z "$XVFB_PID" ] || kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
    if kill -0 "$XVFB_PID" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then export DISPLAY=":$n"; break; fi
    XVFB_PID=
  done
  [ -n "${DISPLAY:-}" ] || { echo "error: could not start Xvfb" >&2; exit 1; }
fi

vst_wine_prepare

cd "$BUILD"
ctest --output-on-failure --timeout 600 "$@"
