#!/usr/bin/env bash
# Installs the Debian packages the build needs and cross-builds the third-party
# libraries as static Windows x64 archives into a cache outside the work tree.
# Idempotent: a cache that matches the source versions and this script is reused.
# Prints nothing but progress on stderr; on success the last stdout line is the prefix.
set -euo pipefail

HOST=x86_64-w64-mingw32
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}
CACHE_BASE=${VST_DEPS_CACHE:-${XDG_CACHE_HOME:-${HOME:-/var/tmp}/.cache}/vst-deps}
SRC_PACKAGES=(libjpeg-turbo libpng1.6 tiff libwebp lcms2 libexif libiptcdata libmng jxrlib openjpeg2)
DEB_PACKAGES=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  libz-mingw-w64-dev googletest cmake ninja-build wine wine64 xvfb xauth nasm autoconf automake libtool gettext
  autopoint dpkg-dev make patch imagemagick fonts-liberation fonts-dejavu-core)

log() { echo "[deps] $*" >&2; }
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

apt_updated=0
apt_update() { [ $apt_updated = 1 ] || { log "apt-get update"; as_root apt-get update -qq >&2; apt_updated=1; }; }

# 1. Debian packages.
missing=()
for p in "${DEB_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt_update
  log "installing ${missing[*]}"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

# 2. A deb-src entry, when none is configured.
have_src() {
  grep -rqsE '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/
}
if ! have_src; then
  log "adding deb-src entries"
  tmp=$(mktemp)
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$tmp"
    as_root install -m 644 "$tmp" /etc/apt/sources.list.d/vst-deb-src.sources
  else
    grep -hE '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list | sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' > "$tmp"
    as_root install -m 644 "$tmp" /etc/apt/sources.list.d/vst-deb-src.list
  fi
  rm -f "$tmp"
  apt_updated=0
fi
if ! apt-get source --print-uris -qq libpng1.6 >/dev/null 2>&1; then apt_update; fi

# 3. The cache key: every source version, the compilers, googletest and this script.
versions=""
for p in "${SRC_PACKAGES[@]}"; do
  dsc=$(apt-get source --print-uris -qq "$p" 2>/dev/null | grep -o "'[^']*\.dsc'" | head -n1 | tr -d "'")
  [ -n "$dsc" ] || { apt_update; dsc=$(apt-get source --print-uris -qq "$p" | grep -o "'[^']*\.dsc'" | head -n1 | tr -d "'"); }
  versions+="$(basename "$dsc")"$'\n'
done
versions+="$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest)"$'\n'
key=$( { printf '%s' "$versions"; cat "${BASH_SOURCE[0]}"; } | sha256sum | cut -c1-16)
PREFIX=$CACHE_BASE/$key
if [ -f "$PREFIX/.complete" ]; then
  log "reusing $PREFIX"
  echo "$PREFIX"
  exit 0
fi

log "building into $PREFIX"
WORK=$CACHE_BASE/work-$key
rm -rf "$WORK" "$PREFIX"
mkdir -p "$WORK/src" "$WORK/dl" "$PREFIX"
cd "$WORK/dl"

# 4. Sources: download each package alone (a missing Debian diff must not stop the rest),
#    then extract with dpkg-source, or the upstream tarball when the Debian part is missing.
for p in "${SRC_PACKAGES[@]}"; do
  mkdir -p "$p" && (cd "$p" && apt-get source --download-only -qq "$p" >"$WORK/fetch-$p.log" 2>&1 || log "partial download of $p")
  dsc=$(ls "$p"/*.dsc 2>/dev/null | head -n1 || true)
  dest="$WORK/src/$p"
  if [ -n "$dsc" ] && dpkg-source --no-check -x "$dsc" "$dest" >/dev/null 2>&1; then
    continue
  fi
  orig=$(ls "$p"/*.orig.tar.* 2>/dev/null | head -n1 || true)
  [ -n "$orig" ] || { log "no source for $p"; exit 1; }
  log "$p: Debian diff unavailable, using the upstream tarball"
  mkdir -p "$dest" && tar -xf "$orig" -C "$dest" --strip-components=1
done

TC=$ROOT/cmake/toolchain-mingw64.cmake
ZLIB_ARGS=(-DZLIB_LIBRARY=/usr/$HOST/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$HOST/include)
CC=$HOST-gcc-posix
CXX=$HOST-g++-posix

cmake_lib() {  # name source-dir args...
  local name=$1 src=$2; shift 2
  log "$name"
  cmake -S "$src" -B "$WORK/build/$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TC" -DDEPS_PREFIX="$PREFIX" \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_BUILD_TYPE=Release "$@" >"$WORK/$name.log" 2>&1 \
    && cmake --build "$WORK/build/$name" -j"$JOBS" >>"$WORK/$name.log" 2>&1 \
    && cmake --install "$WORK/build/$name" >>"$WORK/$name.log" 2>&1 \
    || { tail -n 40 "$WORK/$name.log" >&2; exit 1; }
}
run_logged() {  # name command...
  local name=$1; shift
  "$@" >>"$WORK/$name.log" 2>&1 || { tail -n 40 "$WORK/$name.log" >&2; exit 1; }
}

S=$WORK/src
cmake_lib googletest /usr/src/googletest -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
cmake_lib libjpeg-turbo "$S/libjpeg-turbo" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
  -DWITH_JPEG8=ON -DWITH_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
cmake_lib libpng "$S/libpng1.6" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF "${ZLIB_ARGS[@]}"
cmake_lib tiff "$S/tiff" -DBUILD_SHARED_LIBS=OFF -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
  -Dcxx=OFF -Djpeg=ON -Dold-jpeg=ON -Dzlib=ON -Dpixarlog=ON -Djpeg12=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF \
  -Dwebp=OFF -Dlibdeflate=OFF -Dtiff-opengl=OFF "${ZLIB_ARGS[@]}" \
  -DJPEG_LIBRARY="$PREFIX/lib/libjpeg.a" -DJPEG_INCLUDE_DIR="$PREFIX/include"
cmake_lib libwebp "$S/libwebp" -DBUILD_SHARED_LIBS=OFF -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF \
  -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
  -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF -DWEBP_BUILD_LIBWEBPMUX=ON
cmake_lib openjpeg2 "$S/openjpeg2" -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_CODEC=OFF \
  -DBUILD_TESTING=OFF -DBUILD_DOC=OFF -DBUILD_JPIP=OFF -DBUILD_JAVA=OFF

log lcms2
cd "$S/lcms2"
run_logged lcms2 ./configure --host=$HOST CC=$CC CXX=$CXX --prefix="$PREFIX" --disable-shared --enable-static \
  --without-jpeg --without-tiff --without-zlib
run_logged lcms2 make -j"$JOBS" -C src
run_logged lcms2 make -C src install
run_logged lcms2 make -C include install

log libexif
cd "$S/libexif"
[ -x configure ] || run_logged libexif autoreconf -fi
run_logged libexif ./configure --host=$HOST CC=$CC --prefix="$PREFIX" --disable-shared --enable-static --disable-nls \
  --disable-docs --without-libiconv-prefix --without-libintl-prefix
run_logged libexif make -j"$JOBS" -C libexif
run_logged libexif make -C libexif install
run_logged libexif make install-pkgconfigDATA

log libiptcdata
cd "$S/libiptcdata"
[ -x configure ] || run_logged libiptcdata autoreconf -fi
run_logged libiptcdata ./configure --host=$HOST CC=$CC --prefix="$PREFIX" --disable-shared --enable-static \
  --disable-nls --disable-python --disable-gtk-doc --without-libiconv-prefix --without-libintl-prefix
run_logged libiptcdata make -j"$JOBS" -C libiptcdata
run_logged libiptcdata make -C libiptcdata install

log libmng
cd "$S/libmng"
[ -f makefiles/makefile.mingw ] || { log "libmng: makefile.mingw missing"; exit 1; }
run_logged libmng make -j"$JOBS" -f makefiles/makefile.mingw CC=$CC AR="$HOST-ar rc" AR2=$HOST-ranlib \
  OPTIONS="-DMNG_BUILD_SO -DMNG_FULL_CMS" ZLIBINC=-I/usr/$HOST/include JPEGINC=-I"$PREFIX/include" \
  LCMSINC=-I"$PREFIX/include" libmng.a
install -m 644 libmng.a "$PREFIX/lib/"
install -m 644 libmng.h libmng_conf.h libmng_types.h "$PREFIX/include/"

log jxrlib
cd "$S/jxrlib"
# Win64 is LLP64 (no __LP64__), and MinGW's CRT already declares _byteswap_ulong.
sed -i 's/^#if __LP64__$/#if __LP64__ || defined(_WIN64)/' image/sys/ansi.h
sed -i 's/^#if (defined(WIN32) \&\& !defined(UNDER_CE))/#if (defined(_WIN32) \&\& !defined(UNDER_CE))/' image/sys/strcodec.c
grep -q '_WIN64' image/sys/ansi.h || { log "jxrlib: ansi.h patch did not apply"; exit 1; }
# The decoder's coding contexts are freed only when a copy reaches the last row: a stream that fails
# part way, or a decoder released early, kept them (tens of KB a load). Each context is set to null
# when it is freed, and releasing the decoder frees whatever is left.
perl -0pi -e 's/FailIf\(ICERR_OK != ImageStrDecTerm\(pID->WMP\.(ctxSC(?:_Alpha)?)\), WMP_errFail\);/{ Int termed = ImageStrDecTerm(pID->WMP.$1); pID->WMP.$1 = NULL; FailIf(ICERR_OK != termed, WMP_errFail); }/g; s/(ERR PKImageDecode_Release_WMP\(PKImageDecode\*\* ppID\)\r?\n\{.*?    pID = \*ppID;\r?\n)/$1    ImageStrDecTerm(pID->WMP.ctxSC);\n    pID->WMP.ctxSC = NULL;\n    ImageStrDecTerm(pID->WMP.ctxSC_Alpha);\n    pID->WMP.ctxSC_Alpha = NULL;\n/s' jxrgluelib/JXRGlueJxr.c
[ "$(grep -c 'Int termed = ImageStrDecTerm' jxrgluelib/JXRGlueJxr.c)" = 6 ] && grep -q '^    ImageStrDecTerm(pID->WMP.ctxSC_Alpha);' jxrgluelib/JXRGlueJxr.c ||
  { log "jxrlib: context patch did not apply"; exit 1; }
run_logged jxrlib make -j"$JOBS" CC=$CC DIR_BUILD="$S/jxrlib/build" \
  CFLAGS="-I. -Icommon/include -Iimage/sys -D__ANSI__ -UWIN32 -DDISABLE_PERF_MEASUREMENT -w -O2" \
  "$S/jxrlib/build/libjpegxr.a" "$S/jxrlib/build/libjxrglue.a"
install -m 644 build/libjpegxr.a build/libjxrglue.a "$PREFIX/lib/"
mkdir -p "$PREFIX/include/libjxr"/{common,image,image/x86,glue,test}
cp common/include/*.h "$PREFIX/include/libjxr/common/"
cp image/sys/*.h image/encode/*.h image/decode/*.h "$PREFIX/include/libjxr/image/" 2>/dev/null || true
cp image/x86/*.h "$PREFIX/include/libjxr/image/x86/"
cp jxrgluelib/*.h "$PREFIX/include/libjxr/glue/"
cp jxrtestlib/*.h "$PREFIX/include/libjxr/test/"

printf '%s' "$versions" > "$PREFIX/versions.txt"
touch "$PREFIX/.complete"
rm -rf "$WORK"
log "done"
echo "$PREFIX"
