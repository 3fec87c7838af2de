# Cross build for 32-bit Windows. 32-bit programs cannot run on the build machines, so
# nothing built here is executed.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORVIX_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
