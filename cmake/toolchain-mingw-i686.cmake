# Cross build for 32-bit Windows with the MinGW-w64 posix-thread compilers.
# 32-bit programs cannot run on the build machines, so nothing built here is executed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORVIX_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${ORVIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${ORVIX_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ORVIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
