# Imported targets for the cross-built third-party libraries in DEPS_PREFIX.
if(NOT DEPS_PREFIX OR NOT EXISTS "${DEPS_PREFIX}/.complete")
  message(FATAL_ERROR "DEPS_PREFIX must name the prefix built by scripts/deps.sh")
endif()
set(_mingw_root /usr/x86_64-w64-mingw32)

function(vst_import name archive)
  cmake_parse_arguments(ARG "" "" "INCLUDES;DEFINES;DEPS" ${ARGN})
  add_library(${name} STATIC IMPORTED GLOBAL)
  set(_inc "${DEPS_PREFIX}/include")
  foreach(i IN LISTS ARG_INCLUDES)
    list(APPEND _inc "${i}")
  endforeach()
  set_target_properties(${name} PROPERTIES
    IMPORTED_LOCATION "${archive}"
    INTERFACE_INCLUDE_DIRECTORIES "${_inc}"
    INTERFACE_COMPILE_DEFINITIONS "${ARG_DEFINES}"
    INTERFACE_LINK_LIBRARIES "${ARG_DEPS}")
endfunction()

set(L ${DEPS_PREFIX}/lib)
vst_import(dep::zlib ${_mingw_root}/lib/libz.a)
vst_import(dep::jpeg ${L}/libjpeg.a)
vst_import(dep::png ${L}/libpng16.a DEPS dep::zlib)
vst_import(dep::tiff ${L}/libtiff.a DEPS "dep::jpeg;dep::zlib")
vst_import(dep::webp ${L}/libwebp.a DEPS shlwapi)
vst_import(dep::webpdemux ${L}/libwebpdemux.a DEPS dep::webp)
vst_import(dep::webpmux ${L}/libwebpmux.a DEPS dep::webp)
vst_import(dep::lcms2 ${L}/liblcms2.a)
vst_import(dep::exif ${L}/libexif.a)
vst_import(dep::iptcdata ${L}/libiptcdata.a)
vst_import(dep::mng ${L}/libmng.a DEFINES "MNG_USE_SO;MNG_FULL_CMS" DEPS "dep::jpeg;dep::lcms2;dep::zlib")
vst_import(dep::openjp2 ${L}/libopenjp2.a INCLUDES ${DEPS_PREFIX}/include/openjpeg-2.5 DEFINES OPJ_STATIC)
# jxrlib's headers need -D__ANSI__ -UWIN32 and must only be seen by one C file: no include path is exported.
vst_import(dep::jxrglue ${L}/libjxrglue.a)
vst_import(dep::jpegxr ${L}/libjpegxr.a)
set_property(TARGET dep::jxrglue PROPERTY INTERFACE_LINK_LIBRARIES dep::jpegxr)
set(JXRLIB_INCLUDE_DIR ${DEPS_PREFIX}/include/libjxr CACHE INTERNAL "")
vst_import(dep::gtest ${L}/libgtest.a DEFINES GTEST_HAS_PTHREAD=0)
vst_import(dep::gmock ${L}/libgmock.a DEPS dep::gtest)
