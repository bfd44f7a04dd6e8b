// The few POSIX calls the tests use that the Windows C runtime lacks, for the Windows build of
// the tests (force-included there by tests/CMakeLists.txt).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Makes a fresh directory from a name ending in XXXXXX; returns the name, or null.
char* mkdtemp(char* name_template);
// Environment variables, through the C runtime's _putenv_s (which getenv reads).
int setenv(const char* name, const char* value, int overwrite);
int unsetenv(const char* name);

#ifdef __cplusplus
}
#endif
