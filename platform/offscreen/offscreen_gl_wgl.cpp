// Built on WGL and a hidden Win32 window; runs on Windows.
// The offscreen context on Windows: a hidden window with a double-buffered 8/8/8/8 WGL pixel
// format and a 16-bit depth buffer. It is never shown, so nothing but the program draws into
// it; the back buffer is drawn and read. With Llvmpipe it refuses any other renderer (tests
// under Wine get Mesa's).
#include "platform/offscreen/offscreen_gl.h"

#include <cstring>

#include "platform/gl.h"

namespace {

const char kClass[] = "OffscreenGL";

bool register_class() {
    static bool registered = [] {
        WNDCLASSA window_class = {};
        window_class.style = CS_OWNDC;
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = kClass;
        return RegisterClassA(&window_class) != 0;
    }();
    return registered;
}

}  // namespace

OffscreenGL::OffscreenGL(int width, int height, OffscreenRenderer want)
    : width_(width), height_(height) {
    if (!register_class()) {
        error_ = "RegisterClassA failed";
        return;
    }
    HWND window = CreateWindowExA(0, kClass, "OffscreenGL", WS_POPUP, 0, 0, width, height,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window) {
        error_ = "CreateWindowExA failed";
        return;
    }
    display_ = window;
    HDC dc = GetDC(window);
    surface_ = dc;
    // ChoosePixelFormat takes "at least" sizes and may drop alpha: pick the exact format.
    const DWORD need = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    PIXELFORMATDESCRIPTOR pfd = {};
    int count = DescribePixelFormat(dc, 1, sizeof(pfd), &pfd);
    int format = 0;
    for (int i = 1; i <= count && !format; ++i) {
        DescribePixelFormat(dc, i, sizeof(pfd), &pfd);
        if ((pfd.dwFlags & need) == need && !(pfd.dwFlags & PFD_GENERIC_FORMAT) &&
            pfd.iPixelType == PFD_TYPE_RGBA && pfd.cRedBits == 8 && pfd.cGreenBits == 8 &&
            pfd.cBlueBits == 8 && pfd.cAlphaBits == 8 && pfd.cDepthBits >= 16)
            format = i;
    }
    if (!format || !SetPixelFormat(dc, format, &pfd)) {
        error_ = "no 8/8/8/8 double-buffered pixel format";
        return;
    }
    HGLRC context = wglCreateContext(dc);
    if (!context) {
        error_ = "wglCreateContext failed";
        return;
    }
    context_ = context;
    if (!make_current()) {
        error_ = "wglMakeCurrent failed";
        return;
    }
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    renderer_ = renderer ? renderer : "";
    if (want == OffscreenRenderer::Llvmpipe && !strstr(renderer_.c_str(), "llvmpipe")) {
        error_ = std::string("renderer is not llvmpipe: ") + (renderer ? renderer : "(none)");
        return;
    }
    glViewport(0, 0, width, height);
    ok_ = true;
}

OffscreenGL::~OffscreenGL() {
    if (wglGetCurrentContext() == static_cast<HGLRC>(context_)) wglMakeCurrent(nullptr, nullptr);
    if (context_) wglDeleteContext(static_cast<HGLRC>(context_));
    if (surface_) ReleaseDC(static_cast<HWND>(display_), static_cast<HDC>(surface_));
    if (display_) DestroyWindow(static_cast<HWND>(display_));
}

bool OffscreenGL::make_current() {
    return context_ && wglMakeCurrent(static_cast<HDC>(surface_), static_cast<HGLRC>(context_));
}

void OffscreenGL::release_current() { wglMakeCurrent(nullptr, nullptr); }
