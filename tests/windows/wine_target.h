// Which Windows build the Linux-side Wine tests drive, as tests/windows/run.sh names it in the
// environment: the cross build's folder, the Wine loader for its architecture and its zip.
#pragma once

#include <string>

struct WineTarget {
    std::string build;       // GLOW_WIN_BUILD: the cross build, with glow.exe and the tests
    std::string loader;      // GLOW_WINE: /usr/lib/wine/wine or /usr/lib/wine/wine64
    std::string wineserver;  // the server script beside the loader
    std::string zip;         // GLOW_WIN_ZIP: the dist zip of that build
};

// The target named in the environment, or null (and a test failure saying what is missing).
const WineTarget* wine_target();
