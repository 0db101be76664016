# Debian's MinGW-w64 cross compilers, the -posix ones (g++-mingw-w64-x86-64-posix,
# g++-mingw-w64-i686-posix): their libstdc++ has std::thread and friends.
# Included by mingw-w64-x86_64.cmake and mingw-w64-i686.cmake, which name the
# architecture; presets name those (CMakePresets.json).
set(CMAKE_SYSTEM_NAME Windows)
# Windows 10 and 11: per-monitor DPI (GetDpiForWindow) is there from 10 1607.
set(CMAKE_SYSTEM_VERSION 10)
set(CMAKE_SYSTEM_PROCESSOR ${QELVARA_MINGW_ARCH})

set(_triple ${QELVARA_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One program with nothing beside it: libgcc, libstdc++ and winpthread inside.
# No time stamp in the PE header, and no build path in the binary, so two
# builds of one tree are the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
set(CMAKE_CXX_FLAGS_INIT "-ffile-prefix-map=${CMAKE_CURRENT_LIST_DIR}/..=.")
set(CMAKE_C_FLAGS_INIT "-ffile-prefix-map=${CMAKE_CURRENT_LIST_DIR}/..=.")
