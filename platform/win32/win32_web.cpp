// Built on the browser's DOM and WebGL 2 (through platform/gl); runs in the web page: the
// Win32 + WGL subset of win32.h. The one window is the page's 640x480 canvas; message boxes are
// boxes in the page; keys come from the page's key events; the display mode is the browser's
// full screen; SwapBuffers shows the frame and waits for the browser's next animation frame.
//
// The page is single-threaded and must not be blocked, so the calls that wait (a question's
// answer, the next frame) suspend the program with Asyncify and resume it from the browser
// event that ends the wait. A click that answers a question therefore runs the program on
// inside that click: the full-screen request and the start of the sound are made from the
// user's gesture, as browsers require.
#include "platform/win32/win32.h"
#include "platform/win32/win32_classes.h"

#include <emscripten.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "platform/gl/gl_web.h"

struct HDC__ {
    HWND__* window;
};

struct HWND__ {
    std::string class_name;
    WNDPROC proc = nullptr;
    bool pixel_format_set = false;
    bool minimised = false;
    HDC__ dc{this};
};

struct HGLRC__ {
    int unused;
};

// The page: the canvas, the box, the message line and the key events. Element ids are the ones
// index.html gives them.
// clang-format off
EM_JS(void, web_page_open, (), {
    if (Module.glowPage) return;
    const page = Module.glowPage = { events: [], keyFullscreen: false, windowOpen: false,
                                     fullscreenLeftAt: -1e9 };
    const screen = document.getElementById('screen');
    // Win32 virtual-key codes by KeyboardEvent.code.
    const named = { Backspace: 0x08, Tab: 0x09, Enter: 0x0D, NumpadEnter: 0x0D, ShiftLeft: 0x10,
        ShiftRight: 0x10, ControlLeft: 0x11, ControlRight: 0x11, AltLeft: 0x12, AltRight: 0x12,
        Pause: 0x13, CapsLock: 0x14, Escape: 0x1B, Space: 0x20, PageUp: 0x21, PageDown: 0x22,
        End: 0x23, Home: 0x24, ArrowLeft: 0x25, ArrowUp: 0x26, ArrowRight: 0x27, ArrowDown: 0x28,
        Insert: 0x2D, Delete: 0x2E, NumpadMultiply: 0x6A, NumpadAdd: 0x6B, NumpadSubtract: 0x6D,
        NumpadDecimal: 0x6E, NumpadDivide: 0x6F, Semicolon: 0xBA, Equal: 0xBB, Comma: 0xBC,
        Minus: 0xBD, Period: 0xBE, Slash: 0xBF, Backquote: 0xC0, BracketLeft: 0xDB,
        Backslash: 0xDC, BracketRight: 0xDD, Quote: 0xDE };
    const virtualKey = (code) => {
        let m;
        if ((m = /^Key([A-Z])$/.exec(code))) return m[1].charCodeAt(0);
        if ((m = /^Digit([0-9])$/.exec(code))) return 0x30 + +m[1];
        if ((m = /^Numpad([0-9])$/.exec(code))) return 0x60 + +m[1];
        if ((m = /^F([0-9]+)$/.exec(code)) && +m[1] >= 1 && +m[1] <= 12) return 0x6F + +m[1];
        return named[code] || 0;
    };
    // Keys the browser would act on itself (scrolling, its help page) belong to the demo while a
    // window is open; reload, full screen and the developer tools stay the browser's.
    const browserKeys = new Set([0x74, 0x7A, 0x7B]);
    const onKey = (e) => {
        if (!page.windowOpen || page.box) return;
        const vk = virtualKey(e.code);
        if (!vk) return;
        const down = e.type == 'keydown';
        // Escape in full screen is the browser's: it leaves full screen and the demo goes on.
        if (vk == 0x1B && (document.fullscreenElement ||
                           performance.now() - page.fullscreenLeftAt < 250)) return;
        if (!e.ctrlKey && !e.metaKey && !browserKeys.has(vk)) e.preventDefault();
        // Full screen can only be asked for inside the key event: F1 switches it here, and the
        // display-mode calls the shell makes for that same F1 leave it as it is.
        if (vk == 0x70 && down) {
            page.keyFullscreen = true;
            if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
            else if (screen.requestFullscreen) screen.requestFullscreen().catch(() => {});
        }
        page.events.push([down ? 1 : 2, vk, e.repeat ? 1 : 0, e.altKey ? 1 : 0]);
    };
    const onVisibility = () => page.events.push([3, 0, document.hidden ? 1 : 0, 0]);
    const onFullscreen = () => {
        if (!document.fullscreenElement) page.fullscreenLeftAt = performance.now();
    };
    window.addEventListener('keydown', onKey);
    window.addEventListener('keyup', onKey);
    document.addEventListener('visibilitychange', onVisibility);
    document.addEventListener('fullscreenchange', onFullscreen);
    page.close = () => {
        window.removeEventListener('keydown', onKey);
        window.removeEventListener('keyup', onKey);
        document.removeEventListener('visibilitychange', onVisibility);
        document.removeEventListener('fullscreenchange', onFullscreen);
        if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
        screen.classList.remove('nocursor');
    };
    // What the test and the benchmark read: frames shown, and each frame's CPU time.
    Module.glowFrames = 0;
    Module.glowFrameTimes = [];
});

EM_JS(void, web_page_close, (), {
    if (Module.glowPage) Module.glowPage.close();
});

// Fills out[0..3] with the next key or visibility event: kind (1 down, 2 up, 3 visibility),
// virtual key, repeat or hidden flag, Alt flag. Returns 0 when there is none.
EM_JS(int, web_next_event, (int* out), {
    const e = Module.glowPage.events.shift();
    if (!e) return 0;
    for (let i = 0; i < 4; ++i) HEAP32[(out >> 2) + i] = e[i];
    return 1;
});

EM_JS(void, web_set_window_open, (int open, const char* title), {
    Module.glowPage.windowOpen = !!open;
    if (open) document.title = UTF8ToString(title);
});

// A question in a box in the page; the program sleeps until a button is clicked (or Return or
// Escape pressed) and goes on inside that event.
EM_JS(int, web_ask, (const char* caption, const char* text), {
    return Asyncify.handleSleep((wakeUp) => {
        const page = Module.glowPage;
        const box = document.getElementById('box');
        document.getElementById('box-caption').textContent = UTF8ToString(caption);
        document.getElementById('box-text').textContent = UTF8ToString(text);
        const yes = document.getElementById('box-yes'), no = document.getElementById('box-no');
        const answer = (id) => {
            yes.onclick = no.onclick = null;
            window.removeEventListener('keydown', onKey, true);
            box.hidden = true;
            page.box = false;
            try {
                wakeUp(id);
            } catch (e) {
                if (!(e && e.name == 'ExitStatus') && e !== 'unwind') throw e;
            }
        };
        const onKey = (e) => {
            if (e.code == 'Enter' || e.code == 'NumpadEnter') answer(6);
            else if (e.code == 'Escape') answer(7);
            else return;
            e.preventDefault();
            e.stopPropagation();
        };
        yes.onclick = () => answer(6);
        no.onclick = () => answer(7);
        window.addEventListener('keydown', onKey, true);
        page.box = true;
        box.hidden = false;
        yes.focus();
    });
});

// A message that would be a box with only OK: a line in the page, and the program goes on.
EM_JS(void, web_tell, (const char* caption, const char* text), {
    const line = document.createElement('div');
    line.textContent = UTF8ToString(caption) + ': ' + UTF8ToString(text);
    document.getElementById('message').appendChild(line);
    console.warn(line.textContent);
});

EM_JS(int, web_key_switched_fullscreen, (), { return Module.glowPage.keyFullscreen ? 1 : 0; });
EM_JS(void, web_forget_key_fullscreen, (), { Module.glowPage.keyFullscreen = false; });

EM_JS(void, web_request_fullscreen, (), {
    const screen = document.getElementById('screen');
    if (!document.fullscreenElement && document.fullscreenEnabled && screen.requestFullscreen)
        screen.requestFullscreen().catch(() => {});  // refused: the demo runs in the page
});

EM_JS(void, web_exit_fullscreen, (), {
    if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
});

EM_JS(void, web_hide_cursor, (int hide), {
    document.getElementById('screen').classList.toggle('nocursor', !!hide);
});

// Sleeps until the browser's next animation frame, after counting the frame just shown.
EM_JS(void, web_next_frame, (double cpu_ms), {
    if (cpu_ms >= 0) {
        Module.glowFrames++;
        Module.glowFrameTimes.push(cpu_ms);
        if (Module.glowFrameTimes.length > 4000) Module.glowFrameTimes.splice(0, 2000);
    }
    Asyncify.handleSleep((wakeUp) => requestAnimationFrame(() => {
        try {
            wakeUp();
        } catch (e) {
            if (!(e && e.name == 'ExitStatus') && e !== 'unwind') throw e;
        }
    }));
});
// clang-format on

namespace {

std::unique_ptr<HWND__> the_window;  // the canvas holds one window at a time
std::deque<MSG> posted;
int cursor_counter = 0;
bool display_mode_changed = false;
const char* context_failure = nullptr;  // said beside the next message shown
double idle_since = -1;                 // when the current idle turn began, for the frame time
constexpr int kWidth = 640, kHeight = 480;

void page_open() {
    static bool opened = false;
    if (opened) return;
    opened = true;
    web_page_open();
    std::atexit(web_page_close);
}

HWND__* find_window(HWND hwnd) { return hwnd && hwnd == the_window.get() ? hwnd : nullptr; }

LRESULT send_message(HWND__* w, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (!w || !w->proc) return 0;
    return w->proc(w, msg, wparam, lparam);
}

MSG make_msg(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    MSG m = {};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wparam;
    m.lParam = lparam;
    m.time = static_cast<DWORD>(emscripten_get_now());
    return m;
}

// The page's next event as the message Windows would deliver for it.
bool next_page_message(MSG* msg) {
    int e[4];
    while (the_window && web_next_event(e)) {
        HWND__* w = the_window.get();
        if (e[0] == 3) {
            // A hidden page is as good as minimised: nothing of it is seen.
            w->minimised = e[2] != 0;
            *msg = make_msg(w, WM_ACTIVATE, MAKELPARAM(w->minimised ? WA_INACTIVE : WA_ACTIVE,
                                                       w->minimised), 0);
            return true;
        }
        bool down = e[0] == 1, repeat = e[2] != 0, alt = e[3] != 0;
        WPARAM vk = static_cast<WPARAM>(e[1]);
        bool system = alt || vk == VK_F10 || vk == VK_MENU;
        LPARAM lparam = 1;
        if (alt) lparam |= 1 << 29;
        if (!down || repeat) lparam |= 1 << 30;
        if (!down) lparam |= static_cast<LPARAM>(1u << 31);
        UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN)
                            : (system ? WM_SYSKEYUP : WM_KEYUP);
        *msg = make_msg(w, message, vk, lparam);
        return true;
    }
    return false;
}

}  // namespace

// Full screen is the browser's: the page asks for it, and what the browser refuses leaves the
// demo running in the page. The canvas keeps its 640x480 pixels and is scaled to the screen.
LONG WINAPI ChangeDisplaySettingsA(DEVMODEA* mode, DWORD flags) {
    page_open();
    bool key_did_it = web_key_switched_fullscreen();
    if (!mode) {
        display_mode_changed = false;
        if (!key_did_it) web_exit_fullscreen();
        return DISP_CHANGE_SUCCESSFUL;
    }
    if ((mode->dmFields & DM_BITSPERPEL) && mode->dmBitsPerPel < 16) return DISP_CHANGE_BADMODE;
    if (flags & CDS_FULLSCREEN) {
        display_mode_changed = true;
        if (!key_did_it) web_request_fullscreen();
    }
    return DISP_CHANGE_SUCCESSFUL;
}

int WINAPI ShowCursor(BOOL show) {
    cursor_counter += show ? 1 : -1;
    page_open();
    web_hide_cursor(cursor_counter < 0);
    return cursor_counter;
}

BOOL WINAPI AdjustWindowRectEx(RECT* rect, DWORD, BOOL, DWORD) { return rect != nullptr; }

HWND WINAPI CreateWindowExA(DWORD, LPCSTR class_name, LPCSTR title, DWORD, int, int, int, int,
                            HWND, HMENU, HINSTANCE, LPVOID) {
    if (!class_name || the_window) return nullptr;
    const WNDCLASSA* window_class = win32_find_class(class_name);
    if (!window_class) return nullptr;
    page_open();
    // The display-mode calls of an F1 come before its new window; later ones are the shell's own.
    web_forget_key_fullscreen();
    the_window = std::make_unique<HWND__>();
    the_window->class_name = class_name;
    the_window->proc = window_class->lpfnWndProc;
    win32_class_count_window(class_name, +1);
    web_set_window_open(1, title ? title : "");
    send_message(the_window.get(), WM_CREATE, 0, 0);
    return the_window.get();
}

// The canvas goes on showing the window's last frame: a stopped demo leaves its picture.
BOOL WINAPI DestroyWindow(HWND hwnd) {
    HWND__* w = find_window(hwnd);
    if (!w) return FALSE;
    send_message(w, WM_DESTROY, 0, 0);
    win32_class_count_window(w->class_name.c_str(), -1);
    for (auto i = posted.begin(); i != posted.end();) i = i->hwnd == hwnd ? posted.erase(i) : i + 1;
    web_set_window_open(0, "");
    the_window.reset();
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND hwnd, int command) {
    HWND__* w = find_window(hwnd);
    if (!w) return FALSE;
    if (command == SW_HIDE) return TRUE;
    send_message(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(kWidth, kHeight));
    send_message(w, WM_ACTIVATE, MAKELPARAM(WA_ACTIVE, 0), 0);
    return FALSE;
}

BOOL WINAPI SetForegroundWindow(HWND hwnd) { return find_window(hwnd) ? TRUE : FALSE; }

HWND WINAPI SetFocus(HWND hwnd) { return find_window(hwnd); }

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
    return 1;  // the one format: RGBA 8/8/8/8 with depth, double-buffered
}

BOOL WINAPI SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR*) {
    HWND__* w = dc_window(dc);
    if (!w || format != 1 || w->pixel_format_set) return FALSE;
    w->pixel_format_set = true;
    return TRUE;
}

// The frame goes onto the canvas; the program sleeps until the browser wants the next one.
BOOL WINAPI SwapBuffers(HDC dc) {
    if (!dc_window(dc)) return FALSE;
    gl_web_present();
    double cpu_ms = idle_since >= 0 ? emscripten_get_now() - idle_since : -1;
    idle_since = -1;
    web_next_frame(cpu_ms);
    return TRUE;
}

// There is one WebGL context for the canvas; a WGL context is the GL layer's state on it.
HGLRC WINAPI wglCreateContext(HDC dc) {
    HWND__* w = dc_window(dc);
    if (!w || !w->pixel_format_set || gl_web_has_context()) return nullptr;
    if (!gl_web_create_context("#canvas", kWidth, kHeight)) {
        context_failure = "This browser gives the page no WebGL 2.";
        return nullptr;
    }
    return new HGLRC__{};
}

BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC rc) {
    if (!rc) return TRUE;
    return dc_window(dc) != nullptr;
}

BOOL WINAPI wglDeleteContext(HGLRC rc) {
    if (!rc) return FALSE;
    gl_web_destroy_context();
    delete rc;
    return TRUE;
}

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    page_open();
    if (!text) text = "";
    if (!caption) caption = "Error";
    if ((type & MB_TYPEMASK) == MB_YESNO) return web_ask(caption, text);
    std::string message = text;
    if (context_failure) {
        message += std::string(" ") + context_failure;
        context_failure = nullptr;
    }
    web_tell(caption, message.c_str());
    return IDOK;
}

BOOL WINAPI PeekMessageA(MSG* msg, HWND, UINT, UINT, UINT remove) {
    if (!msg) return FALSE;
    page_open();
    if (!posted.empty()) {
        *msg = posted.front();
        if (remove & PM_REMOVE) posted.pop_front();
        return TRUE;
    }
    MSG m;
    if (next_page_message(&m)) {
        if (remove & PM_REMOVE) *msg = m;
        else {
            // Looked at, not taken: it stays first in line.
            posted.push_front(m);
            *msg = m;
        }
        return TRUE;
    }
    // An idle turn begins: what follows up to SwapBuffers is the frame.
    idle_since = emscripten_get_now();
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (!msg) return 0;
    HWND__* w = find_window(msg->hwnd);
    return w ? send_message(w, msg->message, msg->wParam, msg->lParam) : 0;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
    HWND__* w = find_window(hwnd);
    if (!w) return 0;
    switch (message) {
        case WM_SYSCOMMAND:
            if ((wparam & 0xFFF0) == SC_CLOSE) send_message(w, WM_CLOSE, 0, 0);
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
