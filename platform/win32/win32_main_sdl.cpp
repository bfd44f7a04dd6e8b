// Built on the C runtime's main; runs on Linux, beside win32_sdl.cpp.
// The process entry point on platforms without WinMain start-up code: main finds data/, then
// calls WinMain.
#include <malloc.h>

#include <string>

#include "platform/datadir/datadir.h"
#include "platform/win32/win32.h"

int main(int argc, char** argv) {
#if defined(M_MMAP_THRESHOLD)
    // Whole music files are read into blocks of megabytes on every track change. A fixed
    // threshold keeps such blocks mapped straight from the system and given back when freed;
    // glibc's moving threshold would otherwise keep them in the heap, which then stays grown.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
    // Started from elsewhere than its folder (a file manager, build/glow in a checkout), the
    // demo would find none of its files; on Windows a double-click starts it in its folder.
    enter_data_dir("glow");
    std::string command_line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) command_line += ' ';
        command_line += argv[i];
    }
    return WinMain(GetModuleHandleA(nullptr), nullptr, &command_line[0], SW_SHOWNORMAL);
}
