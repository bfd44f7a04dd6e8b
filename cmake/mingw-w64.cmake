# What both Windows cross builds share, included by the toolchain file of each target triple
# (i686-w64-mingw32.cmake, x86_64-w64-mingw32.cmake), which sets GLOW_MINGW_HOST, the Wine
# loader that runs its programs and its own compiler flags first. The -posix compilers are
# named explicitly: their thread model has std::thread and std::mutex, which the sound layer
# uses.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${GLOW_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GLOW_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${GLOW_MINGW_HOST}-windres)

# Libraries and headers come from the mingw sysroot and from the static builds of
# tools/build-deps.sh (added by the top-level CMakeLists from GLOW_WIN32_DEPS).
set(CMAKE_FIND_ROOT_PATH /usr/${GLOW_MINGW_HOST})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static: the exe imports only DLLs every Windows has.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")  # no symbols in the shipped exe

# CTest runs the cross-compiled test programs under Wine, with the loader for this
# architecture named directly: Debian's `wine` picks the 32-bit loader whenever it is
# installed, even on a kernel that cannot run it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${GLOW_WINE_LOADER})
