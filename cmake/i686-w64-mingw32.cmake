# Cross-compiling the 32-bit Windows program (PE32, i386) with Debian's mingw-w64.
set(GLOW_MINGW_HOST i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(GLOW_WINE_LOADER /usr/lib/wine/wine)

# SSE arithmetic instead of the x87 unit's extended precision, so doubles round as they do
# in the 64-bit builds.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
