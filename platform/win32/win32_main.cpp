// The process entry point on platforms without WinMain start-up code: main calls WinMain.
#include <string>

#include "platform/win32/win32.h"

int main(int argc, char** argv) {
    std::string command_line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) command_line += ' ';
        command_line += argv[i];
    }
    return WinMain(GetModuleHandleA(nullptr), nullptr, &command_line[0], SW_SHOWNORMAL);
}
