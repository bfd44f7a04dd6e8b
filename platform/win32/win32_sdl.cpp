// Built on SDL2; runs on Linux, in place of the real Win32 and WGL.
// The Win32 + WGL subset of win32.h implemented over SDL2 (window classes are
// win32_classes.cpp's): windows with an OpenGL context, display-mode changes, message boxes and
// a message queue fed by SDL events.
// Everything runs on the calling thread; window procedures are called synchronously.
#include "platform/win32/win32.h"
#include "platform/win32/win32_classes.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

struct HDC__ {
    HWND__* window;
};

struct HWND__ {
    SDL_Window* sdl = nullptr;
    Uint32 id = 0;
    std::string class_name;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    bool pixel_format_set = false;
    bool minimised = false;
    HDC__ dc{this};  // CS_OWNDC: one device context for the window's whole life
};

struct HGLRC__ {
    SDL_GLContext context;
};

namespace {

std::vector<std::unique_ptr<HWND__>> windows;
std::deque<MSG> posted;   // PostQuitMessage and friends
std::deque<MSG> pending;  // messages already translated from SDL events
int cursor_counter = 0;
bool display_mode_changed = false;
bool no_display_reported = false;
bool default_syscommand_ran = false;  // set by DefWindowProcA, read by ask_about_screen_saver
Uint32 screen_saver_asked_at = 0;

HWND__* find_window(HWND hwnd) {
    for (auto& w : windows)
        if (w.get() == hwnd) return w.get();
    return nullptr;
}

HWND__* window_by_id(Uint32 id) {
    for (auto& w : windows)
        if (w->id == id) return w.get();
    return nullptr;
}

// Keyboard events go to the window with the keyboard focus; when SDL has not seen a focus
// change yet (or the focus is a window that is gone), the newest live window takes them.
HWND__* keyboard_window(Uint32 id) {
    HWND__* w = window_by_id(id);
    if (!w && !windows.empty()) w = windows.back().get();
    return w;
}

LRESULT send_message(HWND__* w, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (!w || !w->proc) return 0;
    return w->proc(w, msg, wparam, lparam);
}

// The video subsystem starts on first use. Only drivers that show a real picture count: a
// run without a display must fail window creation rather than run invisibly.
bool ensure_video() {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");  // held off by ask_about_screen_saver
    // Without WAYLAND_DISPLAY there is no Wayland session to find, and trying one anyway only
    // prints libwayland's complaints; X11 alone is tried then, unless the user chose a driver.
    const char* wayland = getenv("WAYLAND_DISPLAY");
    if ((!wayland || !*wayland) && !getenv("SDL_VIDEODRIVER"))
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || !strcmp(driver, "offscreen") || !strcmp(driver, "dummy") ||
        !strcmp(driver, "evdev")) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    SDL_StopTextInput();
    return true;
}

// Windows asks the foreground window before it starts the screen saver or powers the monitor
// down, and a window procedure that swallows the request keeps the screen on. The layer asks
// the same way when a window is shown and every few seconds while one is up, and holds the
// desktop's screen saver off exactly while the procedure swallows either request.
void ask_about_screen_saver(HWND__* w) {
    bool swallowed = false;
    for (WPARAM command : {WPARAM{SC_SCREENSAVE}, WPARAM{SC_MONITORPOWER}}) {
        default_syscommand_ran = false;
        send_message(w, WM_SYSCOMMAND, command, command == SC_MONITORPOWER ? 2 : 0);
        if (!default_syscommand_ran) swallowed = true;
    }
    if (swallowed) SDL_DisableScreenSaver();
    else SDL_EnableScreenSaver();
    screen_saver_asked_at = SDL_GetTicks();
}

const Uint32 kScreenSaverAskEvery = 5000;  // ms

// Once per process, when a box cannot be shown because there is no display: which display
// variables were tried, so the viewer knows what to set.
void report_no_display() {
    if (no_display_reported) return;
    no_display_reported = true;
    const char* x = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    std::string tried = x && *x ? std::string("DISPLAY=") + x : "DISPLAY is not set";
    tried += wayland && *wayland ? std::string(", WAYLAND_DISPLAY=") + wayland
                                 : ", WAYLAND_DISPLAY is not set";
    fprintf(stderr, "No display could be opened (%s).\n", tried.c_str());
}

MSG make_msg(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    MSG m = {};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wparam;
    m.lParam = lparam;
    m.time = SDL_GetTicks();
    return m;
}

WPARAM virtual_key(SDL_Keycode sym) {
    if (sym >= SDLK_a && sym <= SDLK_z) return 'A' + (sym - SDLK_a);
    if (sym >= SDLK_0 && sym <= SDLK_9) return '0' + (sym - SDLK_0);
    if (sym >= SDLK_F1 && sym <= SDLK_F12) return VK_F1 + (sym - SDLK_F1);
    if (sym >= SDLK_KP_1 && sym <= SDLK_KP_9) return VK_NUMPAD0 + 1 + (sym - SDLK_KP_1);
    switch (sym) {
        case SDLK_BACKSPACE: return VK_BACK;
        case SDLK_TAB: return VK_TAB;
        case SDLK_RETURN: case SDLK_KP_ENTER: return VK_RETURN;
        case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
        case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
        case SDLK_LALT: case SDLK_RALT: return VK_MENU;
        case SDLK_PAUSE: return VK_PAUSE;
        case SDLK_CAPSLOCK: return VK_CAPITAL;
        case SDLK_ESCAPE: return VK_ESCAPE;
        case SDLK_SPACE: return VK_SPACE;
        case SDLK_PAGEUP: return VK_PRIOR;
        case SDLK_PAGEDOWN: return VK_NEXT;
        case SDLK_END: return VK_END;
        case SDLK_HOME: return VK_HOME;
        case SDLK_LEFT: return VK_LEFT;
        case SDLK_UP: return VK_UP;
        case SDLK_RIGHT: return VK_RIGHT;
        case SDLK_DOWN: return VK_DOWN;
        case SDLK_INSERT: return VK_INSERT;
        case SDLK_DELETE: return VK_DELETE;
        case SDLK_KP_0: return VK_NUMPAD0;
        case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
        case SDLK_KP_PLUS: return VK_ADD;
        case SDLK_KP_MINUS: return VK_SUBTRACT;
        case SDLK_KP_PERIOD: return VK_DECIMAL;
        case SDLK_KP_DIVIDE: return VK_DIVIDE;
        case SDLK_SEMICOLON: return 0xBA;
        case SDLK_EQUALS: return 0xBB;
        case SDLK_COMMA: return 0xBC;
        case SDLK_MINUS: return 0xBD;
        case SDLK_PERIOD: return 0xBE;
        case SDLK_SLASH: return 0xBF;
        case SDLK_BACKQUOTE: return 0xC0;
        case SDLK_LEFTBRACKET: return 0xDB;
        case SDLK_BACKSLASH: return 0xDC;
        case SDLK_RIGHTBRACKET: return 0xDD;
        case SDLK_QUOTE: return 0xDE;
        default: return 0;
    }
}

void client_size(HWND__* w, int* width, int* height) {
    SDL_GL_GetDrawableSize(w->sdl, width, height);
}

// Turns one SDL event into the window messages Windows would deliver for it.
void translate_event(const SDL_Event& e) {
    switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            HWND__* w = keyboard_window(e.key.windowID);
            WPARAM vk = virtual_key(e.key.keysym.sym);
            if (!w || !vk) return;
            bool down = e.type == SDL_KEYDOWN;
            bool alt = (e.key.keysym.mod & KMOD_ALT) != 0;
            // With Alt held, F10, and Alt itself, Windows sends system keys instead.
            bool system = alt || vk == VK_F10 || vk == VK_MENU;
            LPARAM lparam = 1 | ((e.key.keysym.scancode & 0xFF) << 16);
            if (alt) lparam |= 1 << 29;
            if (!down || e.key.repeat) lparam |= 1 << 30;
            if (!down) lparam |= static_cast<LPARAM>(1u << 31);
            UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN)
                                : (system ? WM_SYSKEYUP : WM_KEYUP);
            pending.push_back(make_msg(w, message, vk, lparam));
            return;
        }
        case SDL_QUIT:
            // A quit request from outside (a signal): ask the newest window to close.
            if (!windows.empty())
                pending.push_back(make_msg(windows.back().get(), WM_SYSCOMMAND, SC_CLOSE, 0));
            return;
        case SDL_WINDOWEVENT: {
            HWND__* w = window_by_id(e.window.windowID);
            if (!w) return;
            int width, height;
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    pending.push_back(make_msg(w, WM_SYSCOMMAND, SC_CLOSE, 0));
                    break;
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    if (w->minimised) break;
                    client_size(w, &width, &height);
                    pending.push_back(
                        make_msg(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height)));
                    break;
                case SDL_WINDOWEVENT_MINIMIZED:
                    w->minimised = true;
                    pending.push_back(make_msg(w, WM_ACTIVATE, MAKELPARAM(WA_INACTIVE, 1), 0));
                    pending.push_back(make_msg(w, WM_SIZE, SIZE_MINIMIZED, 0));
                    break;
                case SDL_WINDOWEVENT_MAXIMIZED:
                case SDL_WINDOWEVENT_RESTORED: {
                    bool was_minimised = w->minimised;
                    w->minimised = false;
                    if (was_minimised)
                        pending.push_back(make_msg(w, WM_ACTIVATE, MAKELPARAM(WA_ACTIVE, 0), 0));
                    client_size(w, &width, &height);
                    WPARAM kind = e.window.event == SDL_WINDOWEVENT_MAXIMIZED ? SIZE_MAXIMIZED
                                                                             : SIZE_RESTORED;
                    pending.push_back(make_msg(w, WM_SIZE, kind, MAKELPARAM(width, height)));
                    break;
                }
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    pending.push_back(
                        make_msg(w, WM_ACTIVATE, MAKELPARAM(WA_ACTIVE, w->minimised), 0));
                    break;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    pending.push_back(
                        make_msg(w, WM_ACTIVATE, MAKELPARAM(WA_INACTIVE, w->minimised), 0));
                    break;
            }
            return;
        }
    }
}

void drop_messages_for(HWND hwnd) {
    for (auto* queue : {&posted, &pending})
        for (auto it = queue->begin(); it != queue->end();)
            it = it->hwnd == hwnd ? queue->erase(it) : it + 1;
}

}  // namespace

LONG WINAPI ChangeDisplaySettingsA(DEVMODEA* mode, DWORD flags) {
    if (!mode) {
        display_mode_changed = false;
        for (auto& w : windows)
            if (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_FULLSCREEN)
                SDL_SetWindowFullscreen(w->sdl, 0);
        return DISP_CHANGE_SUCCESSFUL;
    }
    if (!ensure_video()) return DISP_CHANGE_FAILED;
    if ((mode->dmFields & DM_BITSPERPEL) && mode->dmBitsPerPel < 16) return DISP_CHANGE_BADMODE;
    int width = -1, height = -1;
    if (mode->dmFields & DM_PELSWIDTH) width = static_cast<int>(mode->dmPelsWidth);
    if (mode->dmFields & DM_PELSHEIGHT) height = static_cast<int>(mode->dmPelsHeight);
    int modes = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < modes; ++i) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
        if ((width < 0 || m.w == width) && (height < 0 || m.h == height)) {
            if (flags & CDS_FULLSCREEN) display_mode_changed = true;
            return DISP_CHANGE_SUCCESSFUL;
        }
    }
    return DISP_CHANGE_BADMODE;
}

int WINAPI ShowCursor(BOOL show) {
    cursor_counter += show ? 1 : -1;
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(cursor_counter >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return cursor_counter;
}

// Window decorations lie outside the client area here, so the rectangle stays as it is.
BOOL WINAPI AdjustWindowRectEx(RECT* rect, DWORD, BOOL, DWORD) { return rect != nullptr; }

HWND WINAPI CreateWindowExA(DWORD, LPCSTR class_name, LPCSTR title, DWORD style, int x, int y,
                            int width, int height, HWND, HMENU, HINSTANCE, LPVOID) {
    const WNDCLASSA* window_class = win32_find_class(class_name);
    if (!window_class) return nullptr;
    if (!ensure_video()) return nullptr;

    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (style & WS_POPUP) {
        flags |= SDL_WINDOW_BORDERLESS;
        if (display_mode_changed) flags |= SDL_WINDOW_FULLSCREEN;
    } else if (style & WS_THICKFRAME) {
        flags |= SDL_WINDOW_RESIZABLE;
    }
    SDL_Window* sdl = SDL_CreateWindow(title ? title : "", x, y, width, height, flags);
    if (!sdl) return nullptr;

    auto w = std::make_unique<HWND__>();
    w->sdl = sdl;
    w->id = SDL_GetWindowID(sdl);
    w->class_name = class_name;
    w->proc = window_class->lpfnWndProc;
    w->style = style;
    win32_class_count_window(class_name, +1);
    HWND__* hwnd = w.get();
    windows.push_back(std::move(w));
    send_message(hwnd, WM_CREATE, 0, 0);
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    HWND__* w = find_window(hwnd);
    if (!w) return FALSE;
    send_message(w, WM_DESTROY, 0, 0);
    if (SDL_GL_GetCurrentWindow() == w->sdl) SDL_GL_MakeCurrent(w->sdl, nullptr);
    SDL_DestroyWindow(w->sdl);
    win32_class_count_window(w->class_name.c_str(), -1);
    drop_messages_for(w);
    for (auto i = windows.begin(); i != windows.end(); ++i)
        if (i->get() == w) {
            windows.erase(i);
            break;
        }
    if (windows.empty()) SDL_EnableScreenSaver();  // no window left to keep the screen on
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND hwnd, int command) {
    HWND__* w = find_window(hwnd);
    if (!w) return FALSE;
    bool was_visible = (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_SHOWN) != 0;
    if (command == SW_HIDE) {
        SDL_HideWindow(w->sdl);
        return was_visible;
    }
    SDL_ShowWindow(w->sdl);
    int width, height;
    client_size(w, &width, &height);
    send_message(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
    send_message(w, WM_ACTIVATE, MAKELPARAM(WA_ACTIVE, 0), 0);
    ask_about_screen_saver(w);
    return was_visible;
}

BOOL WINAPI SetForegroundWindow(HWND hwnd) {
    HWND__* w = find_window(hwnd);
    if (!w) return FALSE;
    SDL_RaiseWindow(w->sdl);
    return TRUE;
}

HWND WINAPI SetFocus(HWND hwnd) {
    HWND__* w = find_window(hwnd);
    if (!w) return nullptr;
    SDL_Window* previous = SDL_GetKeyboardFocus();
    SDL_SetWindowInputFocus(w->sdl);
    return previous ? window_by_id(SDL_GetWindowID(previous)) : nullptr;
}

HDC WINAPI GetDC(HWND hwnd) {
    HWND__* w = find_window(hwnd);
    return w ? &w->dc : nullptr;
}

int WINAPI ReleaseDC(HWND hwnd, HDC dc) {
    HWND__* w = find_window(hwnd);
    return w && dc == &w->dc ? 1 : 0;
}

static HWND__* dc_window(HDC dc) { return dc ? find_window(dc->window) : nullptr; }

int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* pfd) {
    if (!dc_window(dc) || !pfd) return 0;
    const DWORD needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    if ((pfd->dwFlags & needed) != needed || pfd->iPixelType != PFD_TYPE_RGBA) return 0;
    return 1;  // the one format: the RGB 8/8/8, depth 16+, double-buffered window visual
}

BOOL WINAPI SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR*) {
    HWND__* w = dc_window(dc);
    if (!w || format != 1 || w->pixel_format_set) return FALSE;
    w->pixel_format_set = true;
    return TRUE;
}

BOOL WINAPI SwapBuffers(HDC dc) {
    HWND__* w = dc_window(dc);
    if (!w) return FALSE;
    SDL_GL_SwapWindow(w->sdl);
    return TRUE;
}

HGLRC WINAPI wglCreateContext(HDC dc) {
    HWND__* w = dc_window(dc);
    if (!w || !w->pixel_format_set) return nullptr;
    // SDL makes a new context current; a WGL context starts out not current.
    SDL_Window* previous_window = SDL_GL_GetCurrentWindow();
    SDL_GLContext previous_context = SDL_GL_GetCurrentContext();
    SDL_GLContext context = SDL_GL_CreateContext(w->sdl);
    SDL_GL_MakeCurrent(previous_window, previous_context);
    if (!context) return nullptr;
    return new HGLRC__{context};
}

BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC rc) {
    if (!rc) return SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr) == 0;
    HWND__* w = dc_window(dc);
    if (!w) return FALSE;
    return SDL_GL_MakeCurrent(w->sdl, rc->context) == 0;
}

BOOL WINAPI wglDeleteContext(HGLRC rc) {
    if (!rc) return FALSE;
    if (SDL_GL_GetCurrentContext() == rc->context)
        SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr);
    SDL_GL_DeleteContext(rc->context);
    delete rc;
    return TRUE;
}

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    if (!text) text = "";
    if (!caption) caption = "Error";
    SDL_MessageBoxButtonData yes_no[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"},
    };
    SDL_MessageBoxButtonData ok[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK,
         "OK"},
    };
    bool ask = (type & MB_TYPEMASK) == MB_YESNO;
    Uint32 flags;
    switch (type & MB_ICONMASK) {
        case MB_ICONSTOP: flags = SDL_MESSAGEBOX_ERROR; break;
        case MB_ICONEXCLAMATION: flags = SDL_MESSAGEBOX_WARNING; break;
        default: flags = SDL_MESSAGEBOX_INFORMATION; break;
    }
    SDL_MessageBoxData box = {flags, nullptr, caption, text, ask ? 2 : 1, ask ? yes_no : ok,
                              nullptr};
    int button = -1;
    if (SDL_ShowMessageBox(&box, &button) != 0) {
        // No box can be shown (no display). A question nobody can answer is not printed as if
        // someone could: it takes its Escape answer, as a box closed without a button does.
        // A message still reaches the user, after one line that says why there is no box.
        if (!ensure_video()) report_no_display();
        if (ask) return IDNO;
        fprintf(stderr, "%s: %s\n", caption, text);
        return 0;
    }
    if (button < 0) return ask ? IDNO : IDOK;  // closed without a button
    return button;
}

BOOL WINAPI PeekMessageA(MSG* msg, HWND, UINT, UINT, UINT remove) {
    if (!msg) return FALSE;
    std::deque<MSG>* queue = nullptr;
    if (!posted.empty()) {
        queue = &posted;
    } else {
        if (pending.empty() && SDL_WasInit(SDL_INIT_VIDEO)) {
            SDL_Event e;
            while (pending.empty() && SDL_PollEvent(&e)) translate_event(e);
        }
        if (!pending.empty()) queue = &pending;
    }
    if (!queue) {
        // An idle turn: the moment Windows would decide whether to start the screen saver.
        if (!windows.empty() && SDL_GetTicks() - screen_saver_asked_at >= kScreenSaverAskEvery)
            ask_about_screen_saver(windows.back().get());
        return FALSE;
    }
    *msg = queue->front();
    if (remove & PM_REMOVE) queue->pop_front();
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (!msg) return 0;
    HWND__* w = find_window(msg->hwnd);
    return w ? send_message(w, msg->message, msg->wParam, msg->lParam) : 0;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    HWND__* w = find_window(hwnd);
    if (!w) return 0;
    switch (message) {
        case WM_SYSCOMMAND:
            switch (wparam & 0xFFF0) {
                case SC_CLOSE: send_message(w, WM_CLOSE, 0, 0); break;
                case SC_MINIMIZE: SDL_MinimizeWindow(w->sdl); break;
                case SC_MAXIMIZE: SDL_MaximizeWindow(w->sdl); break;
                case SC_RESTORE: SDL_RestoreWindow(w->sdl); break;
                case SC_SCREENSAVE:
                case SC_MONITORPOWER: default_syscommand_ran = true; break;  // let through
            }
            return 0;
        case WM_SYSKEYDOWN:
            if (wparam == VK_F4 && (lparam & (1 << 29)))
                send_message(w, WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
    }
    return 0;
}

void WINAPI PostQuitMessage(int code) {
    posted.push_back(make_msg(nullptr, WM_QUIT, static_cast<WPARAM>(code), 0));
}
