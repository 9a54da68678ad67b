#!/usr/bin/env bash
# A long fuzz campaign over every loader: COUNT mutated inputs for each format (default
# 1,000,000), formats run PARALLEL at a time (default 2), each input loaded the three ways the
# program loads. Inputs that fail a check are kept in tests/data/fuzz, where the fuzz run of the
# test suite loads them again as regression fixtures.
#
# Usage: [FORMATS=".png .jpg"] scripts/fuzz-campaign.sh [COUNT [PARALLEL [SEED]]]
# Logs and the summary go to build/fuzz-campaign/ (CAMPAIGN_OUT names another folder, for a second
# campaign beside a running one); the program runs from a copy there, so the build may change
# while a campaign runs. Give it at most the cores the machine can spare.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
COUNT=${1:-1000000}
PARALLEL=${2:-2}
SEED=${3:-$(date +%s)}
"$ROOT/scripts/build.sh" "$BUILD" >/dev/null

OUT=${CAMPAIGN_OUT:-$BUILD/fuzz-campaign}
KEEP=$ROOT/tests/data/fuzz
mkdir -p "$OUT" "$KEEP"
cp "$BUILD/tests/fuzz_loaders.exe" "$OUT/fuzz_loaders.exe"

# Each slot gets a Wine prefix of its own without a display: every load goes through files, and
# one Wine server for all slots would serialise them. The test suite can run beside a campaign.
slot_root() {  # slot
  echo "$BUILD/wine/$(basename "$OUT")-$1"
}
slot_temp() {  # slot: its prefix's Temp folder
  echo "$(slot_root "$1")/prefix/drive_c/users/$(id -un)/Temp"
}
slot_env() {  # slot
  WINE_ROOT=$(slot_root "$1")
  . "$ROOT/scripts/wine-env.sh"
}
slot_env 0
vst_wine_prepare || true

# Every load writes its input and the library log through files; on a disk the slots spend a fifth
# of their time waiting for it. Each slot's Temp folder and the shared log live in memory.
MEMORY=$(mktemp -d /dev/shm/vst-fuzz.XXXXXX)
leave_memory() {  # the prefixes get Temp folders of their own back
  local slot temp
  for slot in $(seq 0 $((PARALLEL - 1))); do
    temp=$(slot_temp "$slot")
    if [ -L "$temp" ]; then rm -f "$temp" && mkdir -p "$temp"; fi
  done
  rm -f "$OUT/_NLogMsg.txt"
  rm -rf "$MEMORY"
}
trap leave_memory EXIT
: >"$MEMORY/_NLogMsg.txt"
rm -f "$OUT/_NLogMsg.txt"
ln -s "$MEMORY/_NLogMsg.txt" "$OUT/_NLogMsg.txt"
slot_temp_in_memory() {  # slot
  local temp
  temp=$(slot_temp "$1")
  mkdir -p "$MEMORY/temp-$1" "$(dirname "$temp")"
  rm -rf "$temp"
  ln -s "$MEMORY/temp-$1" "$temp"
}

# FORMATS (extensions with their dots, separated by spaces) picks some of them; the default is all.
formats=${FORMATS:-$(wine "$OUT/fuzz_loaders.exe" 0 "Z:$ROOT/tests/data" -l 2>/dev/null | tr -d '\r' | grep '^\.')}
formats=$(echo $formats | tr ' ' '\n')
echo "campaign: $COUNT inputs for each of $(echo "$formats" | wc -l) formats, $PARALLEL at a time, seed $SEED"
echo "logs: $OUT/<format>.log (the extension without its dot)"
start=$(date +%s)
rm -rf "$OUT"/taken-*
for slot in $(seq 0 $((PARALLEL - 1))); do
  (
    slot_env "$slot"
    vst_wine_prepare >/dev/null 2>&1 || true
    slot_temp_in_memory "$slot"
    # Each slot takes the next format nobody has taken yet.
    echo "$formats" | while read -r f; do
      mkdir "$OUT/taken-${f#.}" 2>/dev/null || continue
      log="$OUT/${f#.}.log"
      wine "$OUT/fuzz_loaders.exe" 0 "Z:$ROOT/tests/data" -n "$COUNT" -f "$f" -o "Z:$KEEP" -r "$SEED" >"$log" 2>&1 || true
      grep -E "^format" "$log" | tr -d '\r' || echo "format $f: no result"
    done
    wineserver -k >/dev/null 2>&1 || true
  ) &
done
wait
rm -rf "$OUT"/taken-*
end=$(date +%s)
{
  echo "campaign of $COUNT inputs a format, seed $SEED, $((end - start)) s"
  for f in $formats; do grep -h '^format' "$OUT/${f#.}.log" | tr -d '\r' || echo "format $f: no result"; done
} | tee "$OUT/summary.txt"
grep -h 'FAIL\|CRASH' "$OUT"/*.log | tr -d '\r' | head -50 || true
