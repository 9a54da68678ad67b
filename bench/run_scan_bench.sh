#!/usr/bin/env bash
# Scan benchmark: makes the data in a temporary folder and runs scan_bench.exe under the build's
# Wine, with PhotoRec's figures on the same disk image beside the program's.
#   - 1 GiB each of random bytes, zeros and 0xFF (no picture in them): MiB/s of a plain read, of
#     the scan and of the naive loop (every check at every offset);
#   - a FAT32 image made with mtools holding a few hundred pictures of all the scanned formats
#     that ImageMagick and the Debian image tools can write, most of them deleted again (mdel):
#     MiB/s of the program's whole scan (saving and verifying every hit) and of PhotoRec
#     (`photorec /log /d DIR /cmd IMAGE partition_none,options,keep_corrupted_file_no,fileopt,
#     everything,enable,wholespace,search`, native Linux). With --runs N both get N runs and the
#     best of each is shown.
# Usage: bench/run_scan_bench.sh [--runs N]        (BUILD=<build folder>, default build/)
#   SIZE_MIB (default 1024): size of each data file; PICTURES (default 300): pictures on the image;
#   IMAGE_MIB (default 768): size of the image; KEEP_DATA=1 keeps the temporary folder;
#   BENCH_DATA=<folder> makes the data there once and uses it again in later runs.
# scripts/bench.sh scan_bench builds first and calls this script.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD:-${BUILD_DIR:-$ROOT/build}}
EXE=$BUILD/bench/scan_bench.exe
SIZE_MIB=${SIZE_MIB:-1024}
PICTURES=${PICTURES:-300}
IMAGE_MIB=${IMAGE_MIB:-768}
[ -f "$EXE" ] || { echo "error: $EXE is missing; build first (scripts/build.sh)" >&2; exit 1; }
BUILD=$(cd "$BUILD" && pwd)  # Wine wants an absolute prefix

# The tools come from Debian packages.
missing=()
command -v convert >/dev/null || missing+=(imagemagick)
command -v mformat >/dev/null || missing+=(mtools)
command -v photorec >/dev/null || missing+=(testdisk)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
    echo "installing ${missing[*]} ..."
    apt-get update >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}" >/dev/null
  else
    echo "error: missing Debian packages: ${missing[*]}" >&2; exit 1
  fi
fi

if [ -n "${BENCH_DATA:-}" ]; then
  DATA=$BENCH_DATA; mkdir -p "$DATA"; KEEP_DATA=1
else
  DATA=$(mktemp -d "${TMPDIR:-/tmp}/vst-scan-bench.XXXXXX")
fi
cleanup() {
  [ "${KEEP_DATA:-0}" = 1 ] && echo "data kept in $DATA" || rm -rf "$DATA"
  [ "${OWN_WINE:-0}" = 0 ] || vst_stop_display
}
trap cleanup EXIT

# --- Data without pictures --------------------------------------------------------------------
if [ "$(stat -c %s "$DATA/ff.bin" 2>/dev/null || echo 0)" != $((SIZE_MIB << 20)) ]; then
  echo "making 3 x $SIZE_MIB MiB of data in $DATA ..."
  head -c $((SIZE_MIB << 20)) /dev/urandom >"$DATA/random.bin"
  head -c $((SIZE_MIB << 20)) /dev/zero >"$DATA/zeros.bin"
  head -c $((SIZE_MIB << 20)) /dev/zero | tr '\0' '\377' >"$DATA/ff.bin"
fi

IMAGE=$DATA/photos.img
if [ ! -f "$DATA/photos.done" ]; then
# --- Pictures ---------------------------------------------------------------------------------
# A few photo-like base pictures; every picture is a crop of one of them at its own size, written
# in one of the formats in turn.
PICS=$DATA/pictures
mkdir -p "$PICS" "$DATA/base"
echo "making $PICTURES pictures ..."
for seed in 1 2 3 4 5 6; do
  convert -seed "$seed" -size 1600x1200 plasma:fractal -blur 0x1 "$DATA/base/b$seed.png"
done
formats=(jpg png gif tif bmp webp psd pdf jp2 j2k jng mng ico hdr dcx)
# HEIC only when ImageMagick's libheif can encode; JPEG XR through JxrEncApp when it is there.
if convert -size 16x16 xc:red "$DATA/probe.heic" 2>/dev/null && [ -s "$DATA/probe.heic" ]; then formats+=(heic); fi
if command -v JxrEncApp >/dev/null; then formats+=(jxr); fi
rm -f "$DATA/probe.heic"

make_picture() {  # index format
  local i=$1 ext=$2 w h base name
  w=$((320 + (i * 37) % 1280)); h=$((240 + (i * 53) % 960))
  base=$DATA/base/b$((i % 6 + 1)).png
  name=$(printf '%s/p%04d' "$PICS" "$i")
  case $ext in
    ico) convert "$base" -crop "${w}x${h}+$((i % 200))+$((i % 150))" +repage -resize '256x256>' "$name.ico" ;;
    jxr) convert "$base" -crop "${w}x${h}+$((i % 200))+$((i % 150))" +repage -type TrueColor "BMP3:$name.tmp.bmp" &&
         JxrEncApp -i "$name.tmp.bmp" -o "$name.jxr" -q 80 >/dev/null 2>&1; rm -f "$name.tmp.bmp" ;;
    jpg|webp|heic|jng) convert "$base" -crop "${w}x${h}+$((i % 200))+$((i % 150))" +repage -quality 85 "$name.$ext" ;;
    *) convert "$base" -crop "${w}x${h}+$((i % 200))+$((i % 150))" +repage "$name.$ext" ;;
  esac
}
export -f make_picture
export DATA PICS
for ((i = 0; i < PICTURES; i++)); do echo "$i ${formats[i % ${#formats[@]}]}"; done |
  xargs -P "$(nproc)" -n 2 bash -c 'make_picture "$0" "$1" 2>/dev/null || true'
written=$(find "$PICS" -type f | wc -l)
picture_mib=$(du -sm "$PICS" | cut -f1)

# --- The FAT32 image: all pictures copied in, four of five deleted again --------------------
echo "making the FAT32 image ($IMAGE_MIB MiB, $written pictures, $picture_mib MiB) ..."
if [ "$picture_mib" -ge $((IMAGE_MIB - 40)) ]; then
  echo "error: $picture_mib MiB of pictures do not fit a $IMAGE_MIB MiB image; raise IMAGE_MIB" >&2; exit 1
fi
rm -f "$IMAGE"
mformat -C -F -i "$IMAGE" -T $((IMAGE_MIB * 2048)) -h 64 -s 32 -v PHOTOS ::
mmd -i "$IMAGE" ::/DCIM
mcopy -i "$IMAGE" "$PICS"/* ::/DCIM/
deleted=0
for f in "$PICS"/*; do
  n=$(basename "$f"); i=$((10#${n:1:4}))
  if [ $((i % 5)) -ne 0 ]; then mdel -i "$IMAGE" "::/DCIM/$n"; deleted=$((deleted + 1)); fi
done
echo "pictures on the image: $written written ($(printf '%s ' "${formats[@]}")), $deleted of them deleted"
echo

echo "$written $deleted $picture_mib $(printf '%s ' "${formats[@]}")" >"$DATA/photos.done"
else
  read -r written deleted picture_mib formats_text <"$DATA/photos.done"
  echo "pictures on the image: $written written ($formats_text), $deleted of them deleted (made before)"
fi

# --- PhotoRec ---------------------------------------------------------------------------------
# As many runs as the program gets (--runs N), the best kept; every run starts with the files of
# the one before written back and gone.
runs=1
args=("$@")
for ((a = 0; a < ${#args[@]}; a++)); do
  [ "${args[a]}" = --runs ] && [ $((a + 1)) -lt ${#args[@]} ] && runs=${args[a + 1]}
done
photorec_s=
for ((r = 0; r < runs; r++)); do
  rm -rf "$DATA/photorec"
  mkdir -p "$DATA/photorec"
  sync
  start=$(date +%s%N)
  (cd "$DATA/photorec" && photorec /log /d "$DATA/photorec/recup_dir" /cmd "$IMAGE" \
    partition_none,options,keep_corrupted_file_no,fileopt,everything,enable,wholespace,search >/dev/null 2>&1) || true
  end=$(date +%s%N)
  s=$(awk "BEGIN { printf \"%.3f\", ($end - $start) / 1e9 }")
  if [ -z "$photorec_s" ] || awk "BEGIN { exit !($s < $photorec_s) }"; then photorec_s=$s; fi
done
photorec_files=$(find "$DATA/photorec" -path '*recup_dir*' -type f | wc -l)
photorec_version=$( (photorec /version 2>/dev/null || true) | sed -n 's/^Version: //p' | head -n 1)

# --- The program ------------------------------------------------------------------------------
if [ -z "${WINEPREFIX:-}" ]; then
  WINE_ROOT=$BUILD/wine
  . "$ROOT/scripts/wine-env.sh"
  OWN_WINE=1
  vst_start_display
  vst_wine_prepare
fi
rm -rf "$DATA/output"
mkdir -p "$DATA/output"
sync
wine "$EXE" --files "$(winepath -w "$DATA/random.bin")" "$(winepath -w "$DATA/zeros.bin")" "$(winepath -w "$DATA/ff.bin")" \
  --image "$(winepath -w "$IMAGE")" "$(winepath -w "$DATA/output")" --photorec "$photorec_s" "$photorec_files" "$@"
echo "  (PhotoRec ${photorec_version:-?}; pictures on the image: $written, of which $((written - deleted)) not deleted)"
