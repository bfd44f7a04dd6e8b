// The Windows build under test, read from the environment that tests/windows/run.sh sets.
#include "tests/windows/wine_target.h"

#include <gtest/gtest.h>

#include <cstdlib>

const WineTarget* wine_target() {
    static WineTarget target;
    std::string missing;
    for (auto [name, field] : {std::pair{"GLOW_WIN_BUILD", &target.build},
                               std::pair{"GLOW_WINE", &target.loader},
                               std::pair{"GLOW_WIN_ZIP", &target.zip}}) {
        const char* value = std::getenv(name);
        if (value && *value) *field = value;
        else missing += std::string(" ") + name;
    }
    if (!missing.empty()) {
        ADD_FAILURE() << "not set:" << missing << " (run the Wine tests through tests/windows/run.sh)";
        return nullptr;
    }
    target.wineserver = target.loader.substr(0, target.loader.rfind('/') + 1) + "wineserver";
    return &target;
}
