# 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686-posix).
set(QELVARA_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
