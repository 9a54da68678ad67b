#!/usr/bin/env bash
# scripts/run.sh with the build, Wine and its server replaced by stubs: it starts the program also
# when a Wine server of the prefix is still running from an earlier start, and every failure says
# why. Runs without Wine, in a second.
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# A copy of the scripts beside a build that succeeds or fails as BUILD_STUB_STATUS says, silently.
mkdir -p "$WORK/repo/scripts" "$WORK/bin"
cp "$ROOT/scripts/run.sh" "$ROOT/scripts/wine-env.sh" "$WORK/repo/scripts/"
cat >"$WORK/repo/scripts/build.sh" <<'STUB'
#!/usr/bin/env bash
exit "${BUILD_STUB_STATUS:-0}"
STUB
BUILD=$WORK/build
mkdir -p "$BUILD/dist/DelvarinVastrel" "$BUILD/wine/prefix"
touch "$BUILD/dist/DelvarinVastrel/vst.exe" "$BUILD/wine/prefix/.vst-ready"
# wineserver answers WINESERVER_STATUS (2: a server of the prefix is already running); wine logs
# what it is asked to start and ends the program with 1, as the program does on a normal exit.
cat >"$WORK/bin/wineserver" <<'STUB'
#!/usr/bin/env bash
exit "${WINESERVER_STATUS:-0}"
STUB
cat >"$WORK/bin/wine" <<'STUB'
#!/usr/bin/env bash
echo "$*" >>"$WINE_LOG"
case "$1" in *vst.exe) exit 1 ;; esac
exit 0
STUB
chmod +x "$WORK/repo/scripts/"*.sh "$WORK/bin/"*

passed=0
failed=0
# name, expected status, a text the error output must hold (empty: none), whether the program ran.
check() {
  local name=$1 want=$2 text=$3 started=$4
  : >"$WORK/wine.log"
  local status=0
  PATH="$WORK/bin:$PATH" DISPLAY=:99 BUILD_DIR=$BUILD WINE_LOG=$WORK/wine.log \
    "$WORK/repo/scripts/run.sh" -exit >"$WORK/out" 2>"$WORK/err" || status=$?
  local ok=1
  [ "$status" -eq "$want" ] || { echo "$name: status $status, expected $want"; ok=0; }
  if [ -n "$text" ] && ! grep -qF -- "$text" "$WORK/err"; then
    echo "$name: the error output does not say \"$text\":"; cat "$WORK/err"; ok=0
  fi
  if [ "$want" -ne 0 ] && [ ! -s "$WORK/err" ]; then echo "$name: failed without a message"; ok=0; fi
  if [ "$started" = yes ] && ! grep -q 'vst.exe -exit' "$WORK/wine.log"; then
    echo "$name: the program was not started"; ok=0
  fi
  if [ "$started" = no ] && grep -q 'vst.exe' "$WORK/wine.log"; then
    echo "$name: the program was started"; ok=0
  fi
  if [ "$ok" -eq 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

WINESERVER_STATUS=0 BUILD_STUB_STATUS=0 check "first start" 0 "" yes
WINESERVER_STATUS=2 BUILD_STUB_STATUS=0 check "server still running" 0 "" yes
WINESERVER_STATUS=1 BUILD_STUB_STATUS=0 check "server cannot start" 1 "wineserver could not start" no
WINESERVER_STATUS=0 BUILD_STUB_STATUS=4 check "build fails silently" 4 "scripts/build.sh" no

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
