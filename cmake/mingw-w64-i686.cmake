# Cross-compiling for 32-bit Windows with Debian's mingw-w64. The -posix compilers are named
# explicitly: their thread model has std::thread and std::mutex, which the sound layer uses.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(GLOW_MINGW_HOST i686-w64-mingw32)
set(CMAKE_C_COMPILER ${GLOW_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GLOW_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${GLOW_MINGW_HOST}-windres)

# Libraries and headers come from the mingw sysroot and from the static builds of
# tools/build-win32-deps.sh (added by the top-level CMakeLists from GLOW_WIN32_DEPS).
set(CMAKE_FIND_ROOT_PATH /usr/${GLOW_MINGW_HOST})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SSE arithmetic instead of the x87 unit's extended precision, so doubles round as they do
# in the 64-bit Linux build. Everything static: the exe imports only DLLs every Windows has.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")  # no symbols in the shipped exe

# CTest runs the cross-compiled test programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
