# The image libraries behind image saving, as targets the rest of the build links:
#   orvix::zlib, orvix::png (libpng 1.6), orvix::jpeg (libjpeg, 6b interface), orvix::tiff (libtiff 4)
#
# Linux: Debian's development packages. Windows: the static libraries that
# scripts/build-thirdparty.sh cross-builds, found in ORVIX_THIRDPARTY_PREFIX (default:
# the script's cache prefix of the compiler's triple). They are linked statically into
# the DLL; each target names the libraries it needs, so the link order comes out as
# tiff, jpeg, png, zlib.

function(orvix_image_lib name)
  add_library(orvix_image_${name} INTERFACE)
  add_library(orvix::${name} ALIAS orvix_image_${name})
  target_link_libraries(orvix_image_${name} INTERFACE ${ARGN})
endfunction()

if(NOT WIN32)
  find_package(ZLIB REQUIRED)
  find_package(PNG REQUIRED)
  find_package(JPEG REQUIRED)
  find_package(TIFF REQUIRED)
  # Image saving is written against the libjpeg 6b interface (jpeg62).
  if(NOT JPEG_VERSION EQUAL 62)
    message(FATAL_ERROR "libjpeg with the 6b interface (JPEG_LIB_VERSION 62) is needed, "
                        "found '${JPEG_VERSION}' in ${JPEG_INCLUDE_DIRS}: install libjpeg62-turbo-dev")
  endif()
  if(PNG_VERSION_STRING VERSION_LESS 1.6)
    message(FATAL_ERROR "libpng 1.6 is needed, found ${PNG_VERSION_STRING}")
  endif()
  if(TIFF_VERSION_STRING VERSION_LESS 4.0)
    message(FATAL_ERROR "libtiff 4 is needed, found ${TIFF_VERSION_STRING}")
  endif()
  orvix_image_lib(zlib ZLIB::ZLIB)
  orvix_image_lib(png PNG::PNG)
  orvix_image_lib(jpeg JPEG::JPEG)
  orvix_image_lib(tiff TIFF::TIFF)
  return()
endif()

# Where build-thirdparty.sh puts the libraries for the current triple.
function(orvix_thirdparty_default_prefix out_var)
  if(NOT "$ENV{ORVIX_THIRDPARTY_CACHE}" STREQUAL "")
    set(root "$ENV{ORVIX_THIRDPARTY_CACHE}")
  elseif(NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(root "$ENV{XDG_CACHE_HOME}/orvix-thirdparty")
  else()
    set(root "$ENV{HOME}/.cache/orvix-thirdparty")
  endif()
  set(${out_var} "${root}/${ORVIX_MINGW_TRIPLE}" PARENT_SCOPE)
endfunction()

function(orvix_prebuilt_image_libs prefix)
  set(needed include/zlib.h include/png.h include/jpeglib.h include/tiffio.h
             lib/libz.a lib/libpng16.a lib/libjpeg.a lib/libtiff.a)
  foreach(f IN LISTS needed)
    if(NOT EXISTS "${prefix}/${f}")
      message(FATAL_ERROR "The image libraries for ${ORVIX_MINGW_TRIPLE} are not in '${prefix}' "
                          "(${f} is missing). Build them with\n"
                          "  scripts/build-thirdparty.sh ${CMAKE_SYSTEM_PROCESSOR}\n"
                          "or point ORVIX_THIRDPARTY_PREFIX at a prefix holding them.")
    endif()
  endforeach()
  message(STATUS "Image libraries: ${prefix}")

  # name, archive, the prebuilt libraries it needs (linked after it)
  foreach(entry IN ITEMS "zlib|libz.a|" "png|libpng16.a|zlib" "jpeg|libjpeg.a|" "tiff|libtiff.a|jpeg;zlib")
    string(REPLACE "|" ";" entry "${entry}")
    list(POP_FRONT entry name archive)
    list(TRANSFORM entry PREPEND orvix_prebuilt_)
    add_library(orvix_prebuilt_${name} STATIC IMPORTED)
    set_target_properties(orvix_prebuilt_${name} PROPERTIES
      IMPORTED_LOCATION "${prefix}/lib/${archive}"
      INTERFACE_INCLUDE_DIRECTORIES "${prefix}/include"
      INTERFACE_LINK_LIBRARIES "${entry}")
    orvix_image_lib(${name} orvix_prebuilt_${name})
  endforeach()
endfunction()

if(ORVIX_THIRDPARTY_PREFIX)
  orvix_prebuilt_image_libs("${ORVIX_THIRDPARTY_PREFIX}")
else()
  orvix_thirdparty_default_prefix(orvix_thirdparty_prefix)
  orvix_prebuilt_image_libs("${orvix_thirdparty_prefix}")
endif()
