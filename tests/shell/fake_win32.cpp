// The recording fake of the window system used by the shell's tests.
#include "tests/shell/fake_win32.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/offscreen/offscreen_gl.h"

namespace fake {

std::vector<std::string> log;
std::set<std::string> failing;
std::deque<int> box_answers;
std::vector<Box> boxes;
std::deque<Step> script;
int display_width = 640, display_height = 480;
bool script_ran_out;
DEVMODEA last_mode;

namespace {
WNDPROC window_proc;
std::string class_name;
bool class_registered;
int window_anchor, module_anchor;
HWND window;
std::deque<MSG> posted;
bool pixel_format_set;
std::vector<std::unique_ptr<OffscreenGL>> contexts;  // the ones a failed delete left behind

bool fails(const char* name) { return failing.count(name) != 0; }

// Wide enough for a 64-bit WPARAM (unsigned long is 32 bits on 64-bit Windows).
std::string hex(unsigned long long value) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "0x%llx", value);
    return buffer;
}

HDC window_dc() { return reinterpret_cast<HDC>(&window_anchor); }
}  // namespace

void reset() {
    log.clear();
    failing.clear();
    box_answers.clear();
    boxes.clear();
    script.clear();
    posted.clear();
    display_width = 640;
    display_height = 480;
    script_ran_out = false;
    memset(&last_mode, 0, sizeof last_mode);
    window_proc = nullptr;
    class_name.clear();
    class_registered = false;
    window = nullptr;
    pixel_format_set = false;
    contexts.clear();
}

void queue_message(UINT message, WPARAM wparam, LPARAM lparam) {
    Step step = {};
    step.msg.message = message;
    step.msg.wParam = wparam;
    step.msg.lParam = lparam;
    script.push_back(step);
}

void queue_idle(int turns) {
    for (int i = 0; i < turns; ++i) script.push_back(Step{true, {}});
}

void queue_key(WPARAM vk, bool down) { queue_message(down ? WM_KEYDOWN : WM_KEYUP, vk); }

int count(const std::string& prefix) {
    int n = 0;
    for (auto& line : log) n += line.compare(0, prefix.size(), prefix) == 0;
    return n;
}

int find(const std::string& prefix, int from) {
    for (int i = from; i < static_cast<int>(log.size()); ++i)
        if (log[i].compare(0, prefix.size(), prefix) == 0) return i;
    return -1;
}

}  // namespace fake

using namespace fake;

HMODULE WINAPI GetModuleHandleA(LPCSTR) {
    log.push_back("GetModuleHandleA");
    return reinterpret_cast<HMODULE>(&module_anchor);
}

HICON WINAPI LoadIconA(HINSTANCE, LPCSTR name) {
    return reinterpret_cast<HICON>(const_cast<char*>(name));
}

HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR name) {
    return reinterpret_cast<HCURSOR>(const_cast<char*>(name));
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    log.push_back("RegisterClassA " + std::string(wc->lpszClassName) + " style=" + hex(wc->style) +
                  " icon=" + std::to_string(reinterpret_cast<uintptr_t>(wc->hIcon)) +
                  " cursor=" + std::to_string(reinterpret_cast<uintptr_t>(wc->hCursor)) +
                  " brush=" + (wc->hbrBackground ? "set" : "null") +
                  " menu=" + (wc->lpszMenuName ? "set" : "null") +
                  " extra=" + std::to_string(wc->cbClsExtra) + "," +
                  std::to_string(wc->cbWndExtra) +
                  " instance=" + (wc->hInstance == reinterpret_cast<HINSTANCE>(&module_anchor)
                                      ? "module" : "other"));
    if (fails("RegisterClassA") || class_registered) return 0;
    class_registered = true;
    class_name = wc->lpszClassName;
    window_proc = wc->lpfnWndProc;
    return 0xC000;
}

BOOL WINAPI UnregisterClassA(LPCSTR name, HINSTANCE) {
    log.push_back("UnregisterClassA " + std::string(name));
    if (fails("UnregisterClassA") || !class_registered || window) return FALSE;
    class_registered = false;
    return TRUE;
}

LONG WINAPI ChangeDisplaySettingsA(DEVMODEA* mode, DWORD flags) {
    if (!mode) {
        log.push_back("ChangeDisplaySettingsA NULL " + std::to_string(flags));
        return DISP_CHANGE_SUCCESSFUL;
    }
    last_mode = *mode;
    log.push_back("ChangeDisplaySettingsA " + std::to_string(mode->dmPelsWidth) + "x" +
                  std::to_string(mode->dmPelsHeight) + "x" + std::to_string(mode->dmBitsPerPel) +
                  " fields=" + hex(mode->dmFields) + " size=" + std::to_string(mode->dmSize) +
                  " flags=" + std::to_string(flags));
    if (fails("ChangeDisplaySettingsA")) return DISP_CHANGE_BADMODE;
    if (static_cast<int>(mode->dmPelsWidth) != display_width ||
        static_cast<int>(mode->dmPelsHeight) != display_height)
        return DISP_CHANGE_BADMODE;
    return DISP_CHANGE_SUCCESSFUL;
}

int WINAPI ShowCursor(BOOL show) {
    log.push_back("ShowCursor " + std::to_string(show));
    return 0;
}

BOOL WINAPI AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD ex_style) {
    log.push_back("AdjustWindowRectEx " + std::to_string(rect->right - rect->left) + "x" +
                  std::to_string(rect->bottom - rect->top) + " style=" + hex(style) +
                  " menu=" + std::to_string(menu) + " ex=" + hex(ex_style));
    return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD ex_style, LPCSTR cls, LPCSTR title, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                            LPVOID param) {
    log.push_back("CreateWindowExA ex=" + hex(ex_style) + " class=" + cls + " title=" + title +
                  " style=" + hex(style) + " at=" + std::to_string(x) + "," + std::to_string(y) +
                  " size=" + std::to_string(width) + "x" + std::to_string(height) +
                  " parent=" + (parent ? "set" : "null") + " menu=" + (menu ? "set" : "null") +
                  " instance=" +
                  (instance == reinterpret_cast<HINSTANCE>(&module_anchor) ? "module" : "other") +
                  " param=" + (param ? "set" : "null"));
    if (fails("CreateWindowExA") || !class_registered || class_name != cls) return nullptr;
    window = reinterpret_cast<HWND>(&window_anchor);
    pixel_format_set = false;
    return window;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    log.push_back("DestroyWindow");
    if (fails("DestroyWindow") || hwnd != window || !window) return FALSE;
    window = nullptr;
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND hwnd, int command) {
    log.push_back("ShowWindow " + std::to_string(command));
    if (window_proc && hwnd == window) {
        window_proc(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480));
        window_proc(hwnd, WM_ACTIVATE, MAKELPARAM(WA_ACTIVE, 0), 0);
    }
    return FALSE;
}

BOOL WINAPI SetForegroundWindow(HWND) {
    log.push_back("SetForegroundWindow");
    return TRUE;
}

HWND WINAPI SetFocus(HWND) {
    log.push_back("SetFocus");
    return nullptr;
}

HDC WINAPI GetDC(HWND hwnd) {
    log.push_back("GetDC");
    if (fails("GetDC") || hwnd != window || !window) return nullptr;
    return window_dc();
}

int WINAPI ReleaseDC(HWND hwnd, HDC dc) {
    log.push_back(std::string("ReleaseDC") + (hwnd == window && window ? "" : " no-window"));
    return !fails("ReleaseDC") && dc == window_dc();
}

int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* pfd) {
    log.push_back("ChoosePixelFormat size=" + std::to_string(pfd->nSize) +
                  " version=" + std::to_string(pfd->nVersion) + " flags=" + hex(pfd->dwFlags) +
                  " type=" + std::to_string(pfd->iPixelType) +
                  " color=" + std::to_string(pfd->cColorBits) +
                  " depth=" + std::to_string(pfd->cDepthBits));
    if (fails("ChoosePixelFormat") || dc != window_dc()) return 0;
    return 7;
}

BOOL WINAPI SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR*) {
    log.push_back("SetPixelFormat " + std::to_string(format));
    if (fails("SetPixelFormat") || dc != window_dc() || pixel_format_set) return FALSE;
    pixel_format_set = true;
    return TRUE;
}

BOOL WINAPI SwapBuffers(HDC dc) {
    log.push_back(dc == window_dc() && window ? "SwapBuffers" : "SwapBuffers stale-dc");
    return TRUE;
}

HGLRC WINAPI wglCreateContext(HDC) {
    log.push_back("wglCreateContext");
    if (fails("wglCreateContext")) return nullptr;
    auto* gl = new OffscreenGL(64, 64, OffscreenRenderer::Llvmpipe);
    OffscreenGL::release_current();  // a new WGL context starts out not current
    return reinterpret_cast<HGLRC>(gl);
}

BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC rc) {
    log.push_back(rc ? "wglMakeCurrent context" : "wglMakeCurrent NULL");
    if (fails(rc ? "wglMakeCurrent" : "wglMakeCurrent NULL")) return FALSE;
    if (!rc) {
        OffscreenGL::release_current();
        return TRUE;
    }
    if (dc != window_dc()) return FALSE;
    return reinterpret_cast<OffscreenGL*>(rc)->make_current();
}

BOOL WINAPI wglDeleteContext(HGLRC rc) {
    log.push_back("wglDeleteContext");
    if (fails("wglDeleteContext")) {
        contexts.emplace_back(reinterpret_cast<OffscreenGL*>(rc));
        return FALSE;
    }
    delete reinterpret_cast<OffscreenGL*>(rc);
    return TRUE;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    boxes.push_back(Box{text, caption, type});
    log.push_back(std::string("MessageBoxA ") + caption + " | " + text + " | " + hex(type) +
                  (owner ? " owned" : ""));
    if (box_answers.empty()) return IDOK;
    int answer = box_answers.front();
    box_answers.pop_front();
    return answer;
}

BOOL WINAPI PeekMessageA(MSG* msg, HWND, UINT, UINT, UINT remove) {
    if (!posted.empty()) {
        *msg = posted.front();
        if (remove & PM_REMOVE) posted.pop_front();
        return TRUE;
    }
    if (script.empty()) {
        // The test's script is over: end the run the way closing the window would.
        script_ran_out = true;
        *msg = MSG{};
        msg->message = WM_QUIT;
        return TRUE;
    }
    Step step = script.front();
    if (remove & PM_REMOVE) script.pop_front();
    if (step.idle) return FALSE;
    *msg = step.msg;
    msg->hwnd = window;
    return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    log.push_back("DispatchMessageA " + hex(msg->message) + " " + hex(msg->wParam));
    return window_proc && window ? window_proc(msg->hwnd, msg->message, msg->wParam, msg->lParam)
                                 : 0;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
    log.push_back("DefWindowProcA " + hex(message) + " " + hex(wparam));
    if (message == WM_SYSCOMMAND && wparam == SC_CLOSE && window_proc)
        window_proc(hwnd, WM_CLOSE, 0, 0);
    return 0;
}

void WINAPI PostQuitMessage(int code) {
    log.push_back("PostQuitMessage " + std::to_string(code));
    MSG msg = {};
    msg.message = WM_QUIT;
    msg.wParam = static_cast<WPARAM>(code);
    posted.push_back(msg);
}
