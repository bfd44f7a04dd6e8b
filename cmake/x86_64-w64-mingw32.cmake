# Cross-compiling the 64-bit Windows program (PE32+, x86-64) with Debian's mingw-w64. x86-64
# does its double arithmetic in SSE already.
set(GLOW_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(GLOW_WINE_LOADER /usr/lib/wine/wine64)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
