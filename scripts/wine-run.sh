#!/usr/bin/env bash
# ctest's emulator: runs one Windows program in the build's private Wine prefix.
# Usage: wine-run.sh --root WINE_ROOT program.exe [args...]
set -eu
[ "${1:-}" = --root ] || { echo "usage: $0 --root DIR prog.exe args..." >&2; exit 2; }
WINE_ROOT=$2; shift 2
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
exec wine "$@"
