#!/usr/bin/env bash
# Builds everything and runs every test under Wine. Extra arguments go to ctest (e.g. -R base).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/build.sh" "$BUILD"

# Native tools that tests call beside Wine (apngdis reads our animated PNG files independently).
# Kept out of deps.sh, whose contents key the cache of the cross-built libraries.
TEST_PACKAGES=(apngdis)
missing=()
for p in "${TEST_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
  as_root apt-get update -qq >&2
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

WINE_ROOT=$BUILD/wine
. "$ROOT/scripts/wine-env.sh"

trap 'vst_stop_display' EXIT
vst_start_display
vst_wine_prepare

cd "$BUILD"
ctest --output-on-failure --timeout 600 "$@"
