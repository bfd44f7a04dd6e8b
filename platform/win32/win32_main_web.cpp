// Built on emscripten; runs in the web page: the program's entry point. main runs WinMain and
// then ends the program as a process ends: exit runs what was registered with atexit (the sound
// stops, the page's key handlers go) and tells the page, which offers to start it again.
#include <cstdlib>

#include "platform/win32/win32.h"

int main() {
    char command_line[] = "";
    std::exit(WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOWNORMAL));
}
