// Built on the C++ library alone; runs wherever the Win32 subset is ours (with win32_sdl.cpp on
// Linux, win32_web.cpp in the web page). See win32_classes.h.
#include "platform/win32/win32_classes.h"

#include <map>
#include <string>

namespace {

struct WindowClass {
    WNDCLASSA desc;
    std::string name;  // owns the string desc.lpszClassName points at
    ATOM atom;
    int windows = 0;
};

std::map<std::string, WindowClass> classes;
ATOM next_atom = 0xC000;  // where Windows numbers registered classes from
int module_anchor;        // its address is the one module's handle

}  // namespace

const WNDCLASSA* win32_find_class(const char* name) {
    if (!name) return nullptr;
    auto it = classes.find(name);
    return it == classes.end() ? nullptr : &it->second.desc;
}

void win32_class_count_window(const char* name, int change) {
    auto it = classes.find(name);
    if (it != classes.end()) it->second.windows += change;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    return name ? nullptr : reinterpret_cast<HMODULE>(&module_anchor);
}

// The system icon and cursor are only handles here: the windows use the desktop's or the
// page's own.
HICON WINAPI LoadIconA(HINSTANCE, LPCSTR name) {
    return reinterpret_cast<HICON>(const_cast<char*>(name));
}

HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR name) {
    return reinterpret_cast<HCURSOR>(const_cast<char*>(name));
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return 0;
    std::string name = wc->lpszClassName;
    if (classes.count(name)) return 0;
    WindowClass& c = classes[name];
    c.desc = *wc;
    c.name = name;
    c.desc.lpszClassName = c.name.c_str();
    c.atom = next_atom++;
    return c.atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR name, HINSTANCE) {
    if (!name) return FALSE;
    auto it = classes.find(name);
    if (it == classes.end() || it->second.windows > 0) return FALSE;
    classes.erase(it);
    return TRUE;
}

// Characters are not needed by anything here, so no WM_CHAR is generated.
BOOL WINAPI TranslateMessage(const MSG* msg) {
    return msg && (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN);
}
