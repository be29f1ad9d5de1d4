# Cross build for 64-bit Windows with the MinGW-w64 toolchain. The executables are linked
# statically (libgcc, libstdc++, winpthread), so boardstat.exe runs on a bare Windows machine
# and under wine without any DLL beside it. Tests run under wine through the emulator below.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BOARDSTAT_MINGW_TRIPLET x86_64-w64-mingw32)
# The posix thread model: GoogleTest needs std::mutex, which the win32 model of GCC 12 lacks.
# Its winpthread is linked into the executables like the rest of the runtime.
set(CMAKE_C_COMPILER ${BOARDSTAT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BOARDSTAT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${BOARDSTAT_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BOARDSTAT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Libraries found with find_package are linked statically too: zlib (libz-mingw-w64-dev) as
# libz.a, not through zlib1.dll, which no Windows has.
set(ZLIB_USE_STATIC_LIBS ON)

# ctest runs the .exe files under wine. Debian installs the 64-bit loader outside PATH.
find_program(BOARDSTAT_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(BOARDSTAT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BOARDSTAT_WINE})
endif()
