# Holds every source file under src/ to the direction of dependencies:
#
#   api      -> camera, capture, dialogs, device, imaging, emulator, platform
#   camera   -> capture, dialogs, device, imaging, emulator, platform
#   capture  -> device, imaging, platform
#   dialogs  -> device, imaging, platform
#   device   -> platform
#   imaging  -> platform
#   emulator -> platform, and the driver protocol constants (device/driver_protocol.h)
#   platform -> nothing above it
#
# A folder may always include its own headers. Outside src/platform/ a file includes
# no operating-system header: only the C++ standard library, the compiler's vector
# intrinsics and the image libraries. Run with cmake -DSOURCE_DIR=<repository> -P.

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(allowed_api camera capture dialogs device imaging emulator platform)
set(allowed_camera capture dialogs device imaging emulator platform)
set(allowed_capture device imaging platform)
set(allowed_dialogs device imaging platform)
set(allowed_device platform)
set(allowed_imaging platform)
set(allowed_emulator platform)
set(allowed_platform "")
# Single headers a folder may include beyond its layers.
set(extra_emulator device/driver_protocol.h)
# Resource headers (resources/) the dialog code is written from.
set(resource_users camera dialogs platform)
set(non_system_angle_headers emmintrin.h mmintrin.h xmmintrin.h pmmintrin.h tmmintrin.h smmintrin.h immintrin.h
    png.h jpeglib.h tiffio.h zlib.h)

file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}/src" "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp"
     "${SOURCE_DIR}/src/*.inc")
set(faults "")
foreach(file IN LISTS files)
  string(REGEX MATCH "^[^/]+" folder "${file}")
  if(NOT DEFINED allowed_${folder})
    continue() # files directly under src/ (none today)
  endif()
  file(STRINGS "${SOURCE_DIR}/src/${file}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(target "${CMAKE_MATCH_1}")
      if(target MATCHES "^([a-z_]+)/")
        set(layer "${CMAKE_MATCH_1}")
        if(layer STREQUAL folder)
          continue()
        endif()
        list(FIND allowed_${folder} "${layer}" at)
        list(FIND extra_${folder} "${target}" extra)
        if(at EQUAL -1 AND extra EQUAL -1)
          list(APPEND faults "src/${file}: ${folder}/ must not include \"${target}\"")
        endif()
      elseif(target MATCHES "^[A-Za-z0-9_]+\\.(h|inc)$")
        # The public header, a resource header, or a file beside this one.
        if(target STREQUAL "OrvixSdk_K62DT4.h")
          continue()
        endif()
        get_filename_component(dir "${SOURCE_DIR}/src/${file}" DIRECTORY)
        if(EXISTS "${dir}/${target}")
          continue()
        endif()
        list(FIND resource_users "${folder}" uses)
        if(EXISTS "${SOURCE_DIR}/resources/${target}" AND NOT uses EQUAL -1)
          continue()
        endif()
        list(APPEND faults "src/${file}: unexpected include \"${target}\"")
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*<([^>]+)>" AND NOT folder STREQUAL "platform")
      set(target "${CMAKE_MATCH_1}")
      list(FIND non_system_angle_headers "${target}" known)
      if(target MATCHES "[./]" AND known EQUAL -1)
        list(APPEND faults "src/${file}: only src/platform/ may include <${target}>")
      endif()
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Includes against the direction of dependencies:\n  ${text}")
endif()
list(LENGTH files count)
message(STATUS "Include layers hold for ${count} files")
