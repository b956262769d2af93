# Cross-building for 64-bit Windows with Debian's mingw-w64 compiler (POSIX threads).
# The Qt, OpenSSL and libqrencode prefix is passed as CMAKE_PREFIX_PATH (see scripts/windows).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
# Qt's package files live in the prefix, outside the compiler's sysroot.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Test programs run under Wine (64-bit).
find_program(TESSALY_WINE NAMES wine64 wine)
if(TESSALY_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TESSALY_WINE})
endif()
