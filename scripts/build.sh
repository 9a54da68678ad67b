#!/usr/bin/env bash
# Installs what is missing, builds the third-party libraries once (cached) and builds the project.
# Usage: scripts/build.sh [build-dir]   (default: build/)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-${BUILD_DIR:-$ROOT/build}}
PREFIX=$("$ROOT/scripts/deps.sh" | tail -n 1)
if [ ! -f "$BUILD/CMakeCache.txt" ] || ! grep -q "^DEPS_PREFIX:PATH=$PREFIX\$" "$BUILD/CMakeCache.txt"; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw64.cmake" \
    -DDEPS_PREFIX:PATH="$PREFIX" >/dev/null
fi
cmake --build "$BUILD" -j"${JOBS:-$(nproc)}"

# Every program must run on a bare Windows: it may import system DLLs only.
allowed='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|gdiplus|msimg32|msvcrt|ws2_32|dbghelp|windowscodecs|propsys|version|winmm|uxtheme|imm32|bcrypt|crypt32|wininet|psapi|ntdll|api-ms-win-.*)\.dll$'
bad=0
while IFS= read -r exe; do
  while IFS= read -r dll; do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -qE "$allowed"; then
      echo "error: $exe imports $dll, which is not a system DLL" >&2; bad=1
    fi
  done < <(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
done < <(find "$BUILD" -name '*.exe' -not -path "$BUILD/wine/*" -not -path '*/drive_c/*' -not -path '*/CMakeFiles/*')
exit $bad
