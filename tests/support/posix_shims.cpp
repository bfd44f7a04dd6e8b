// mkdtemp, setenv and unsetenv over the C runtime's _mktemp_s, _mkdir and _putenv_s.
#include "tests/support/posix_shims.h"

#include <direct.h>
#include <io.h>

#include <cstdlib>
#include <cstring>

extern "C" char* mkdtemp(char* name_template) {
    // _mktemp_s offers 26 names per template; a clash with an existing directory tries again.
    size_t size = std::strlen(name_template) + 1;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[260];
        if (size > sizeof name) return nullptr;
        std::memcpy(name, name_template, size);
        if (_mktemp_s(name, size) != 0) return nullptr;
        if (_mkdir(name) == 0) {
            std::memcpy(name_template, name, size);
            return name_template;
        }
    }
    return nullptr;
}

extern "C" int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && std::getenv(name)) return 0;
    return _putenv_s(name, value) == 0 ? 0 : -1;
}

// An empty value removes the variable from the C runtime's environment.
extern "C" int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }
