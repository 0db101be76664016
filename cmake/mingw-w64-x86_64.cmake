# 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix).
set(QELVARA_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
