# Cross-compiling for the home platform: 32-bit Windows with mingw-w64.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
# The -posix compilers, since the encoder's threads need std::thread and
# std::mutex. Floating point in SSE2 registers: the x87 default computes the
# forward DCT in extended precision and gives other coefficients, so other
# bytes, than every other build (the library refuses to compile without it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(RASTELLO_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${RASTELLO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RASTELLO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${RASTELLO_MINGW_PREFIX}-windres)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
# Only system DLLs beside ours: the runtime goes into each binary.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# Debian's mingw libraries, and prefixes of our own such as libpng's
# (scripts/build-windows-libpng.sh): -DCMAKE_PREFIX_PATH=PREFIX is enough.
set(CMAKE_FIND_ROOT_PATH /usr/${RASTELLO_MINGW_PREFIX} ${CMAKE_PREFIX_PATH})
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
# Debian's zlib comes as a DLL too, which CMake prefers: the static one, so
# that nothing built here needs a zlib1.dll beside it.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
