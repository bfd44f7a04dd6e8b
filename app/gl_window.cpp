// Window creation step by step (class, display mode, window, pixel format, context), each
// failure reported in its own message box; teardown in the reverse order.
#include "app/gl_window.h"

#include <cstring>

#include "demo/demo.h"
#include "platform/gl.h"

bool KeyTable[256];
bool window_active = true;
bool fullscreen = true;
HINSTANCE module_instance;
HWND main_window;
HDC device_context;
HGLRC gl_context;

// Completed (colour and depth bits) the first time a window exists; a re-creation reuses it
// unchanged, so it keeps the first window's 32 colour bits even when the display is asked
// for 16.
PIXELFORMATDESCRIPTOR pixel_format_request = {
    40, 1, PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER, PFD_TYPE_RGBA,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, PFD_MAIN_PLANE, 0, 0, 0, 0};

static const char kWindowClass[] = "OpenGL";

static void error_box(const char* text) {
    MessageBoxA(nullptr, text, "ERROR", MB_OK | MB_ICONEXCLAMATION);
}

static void shutdown_box(const char* text) {
    MessageBoxA(nullptr, text, "SHUTDOWN ERROR", MB_OK | MB_ICONINFORMATION);
}

// Tears down what was built, then reports the failed step.
static int fail_creation(const char* text) {
    close_gl_window();
    error_box(text);
    return 0;
}

void close_gl_window() {
    if (fullscreen) {
        ChangeDisplaySettingsA(nullptr, 0);
        ShowCursor(TRUE);
    }
    if (gl_context) {
        if (!wglMakeCurrent(nullptr, nullptr)) shutdown_box("Release Of DC And RC Failed.");
        if (!wglDeleteContext(gl_context)) shutdown_box("Release Rendering Context Failed.");
        gl_context = nullptr;
    }
    if (device_context) {
        if (!ReleaseDC(main_window, device_context)) shutdown_box("Release Device Context Failed.");
        device_context = nullptr;
    }
    if (main_window) {
        if (!DestroyWindow(main_window)) shutdown_box("Could Not Release hWnd.");
        main_window = nullptr;
    }
    if (!UnregisterClassA(kWindowClass, module_instance)) shutdown_box("Could Not Unregister Class.");
    module_instance = nullptr;
}

int open_gl_window(const char* title, int width, int height, int bits, bool full_screen) {
    fullscreen = full_screen;
    RECT window_rect = {0, 0, width, height};

    module_instance = GetModuleHandleA(nullptr);
    WNDCLASSA window_class = {};
    window_class.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = module_instance;
    window_class.hIcon = LoadIconA(nullptr, IDI_WINLOGO);
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.lpszClassName = kWindowClass;
    if (!RegisterClassA(&window_class)) {
        error_box("Failed To Register The Window Class.");
        return 0;
    }

    if (fullscreen) {
        DEVMODEA mode;
        memset(&mode, 0, sizeof(mode));
        mode.dmSize = DEVMODEA_SIZE_148;
        mode.dmPelsWidth = width;
        mode.dmPelsHeight = height;
        mode.dmBitsPerPel = bits;
        mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
        if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) {
            if (MessageBoxA(nullptr,
                            "The Requested Fullscreen Mode Is Not Supported By\n"
                            "Your Video Card. Use Windowed Mode Instead?",
                            "Kivo GL", MB_YESNO | MB_ICONEXCLAMATION) == IDYES) {
                fullscreen = false;
            } else {
                MessageBoxA(nullptr, "Program Will Now Close.", "ERROR", MB_OK | MB_ICONSTOP);
                return 0;
            }
        }
    }

    DWORD ex_style, style;
    if (fullscreen) {
        ex_style = WS_EX_APPWINDOW;
        style = WS_POPUP;
        ShowCursor(FALSE);
    } else {
        ex_style = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
        style = WS_OVERLAPPEDWINDOW;
    }
    AdjustWindowRectEx(&window_rect, style, FALSE, ex_style);

    main_window = CreateWindowExA(ex_style, kWindowClass, title,
                                  style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                                  window_rect.right - window_rect.left,
                                  window_rect.bottom - window_rect.top, nullptr, nullptr,
                                  module_instance, nullptr);
    if (!main_window) return fail_creation("Window Creation Error.");

    if (!pixel_format_request.cDepthBits) {
        pixel_format_request.cColorBits = static_cast<BYTE>(bits);
        pixel_format_request.cDepthBits = 16;
    }

    device_context = GetDC(main_window);
    if (!device_context) return fail_creation("Can't Create A GL Device Context.");
    int format = ChoosePixelFormat(device_context, &pixel_format_request);
    if (!format) return fail_creation("Can't Find A Suitable PixelFormat.");
    if (!SetPixelFormat(device_context, format, &pixel_format_request))
        return fail_creation("Can't Set The PixelFormat.");
    gl_context = wglCreateContext(device_context);
    if (!gl_context) return fail_creation("Can't Create A GL Rendering Context.");
    if (!wglMakeCurrent(device_context, gl_context))
        return fail_creation("Can't Activate The GL Rendering Context.");

    ShowWindow(main_window, SW_SHOW);
    SetForegroundWindow(main_window);
    SetFocus(main_window);
    resize_view(width, height);
    demo_init();
    return 1;
}

void resize_view(int width, int height) {
    if (height == 0) height = 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height), 0.1f, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

LRESULT CALLBACK window_proc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
        case WM_SIZE:
            resize_view(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_ACTIVATE:
            window_active = HIWORD(wParam) == 0;
            return 0;
        case WM_CLOSE:
            PostQuitMessage(0);
            return 0;
        case WM_KEYDOWN:
            // Virtual-key codes are 0-255; anything else would write outside the table.
            if (wParam < 256) KeyTable[wParam] = true;
            return 0;
        case WM_KEYUP:
            if (wParam < 256) KeyTable[wParam] = false;
            return 0;
        case WM_SYSCOMMAND:
            // Windows keeps the low four bits of the command for itself.
            if ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_MONITORPOWER)
                return 0;
            break;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}
