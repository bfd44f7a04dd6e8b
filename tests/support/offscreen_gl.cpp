// An offscreen OpenGL context on EGL's surfaceless Mesa platform, for tests and benchmarks.
#include "tests/support/offscreen_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstring>

#include "platform/gl.h"

#ifndef EGL_PLATFORM_SURFACELESS_MESA
#define EGL_PLATFORM_SURFACELESS_MESA 0x31DD
#endif

OffscreenGL::OffscreenGL(int width, int height) : width_(width), height_(height) {
    auto get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!get_platform_display) {
        error_ = "eglGetPlatformDisplayEXT is missing";
        return;
    }
    EGLDisplay display = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY,
                                              nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        error_ = "no surfaceless EGL display";
        return;
    }
    display_ = display;
    const EGLint config_attribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                     EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                     EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
                                     EGL_ALPHA_SIZE, 8, EGL_DEPTH_SIZE, 16, EGL_NONE};
    EGLConfig configs[64];
    EGLint count = 0;
    if (!eglChooseConfig(display, config_attribs, configs, 64, &count) || count == 0) {
        error_ = "no 8/8/8/8 pbuffer config";
        return;
    }
    // eglChooseConfig sorts deeper colour first and takes "at least" sizes: pick the exact one.
    EGLConfig config = nullptr;
    for (EGLint i = 0; i < count && !config; ++i) {
        EGLint r, g, b, a, depth;
        eglGetConfigAttrib(display, configs[i], EGL_RED_SIZE, &r);
        eglGetConfigAttrib(display, configs[i], EGL_GREEN_SIZE, &g);
        eglGetConfigAttrib(display, configs[i], EGL_BLUE_SIZE, &b);
        eglGetConfigAttrib(display, configs[i], EGL_ALPHA_SIZE, &a);
        eglGetConfigAttrib(display, configs[i], EGL_DEPTH_SIZE, &depth);
        if (r == 8 && g == 8 && b == 8 && a == 8 && depth >= 16) config = configs[i];
    }
    if (!config) {
        error_ = "no exact 8/8/8/8 config";
        return;
    }
    const EGLint surface_attribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, surface_attribs);
    if (surface == EGL_NO_SURFACE) {
        error_ = "eglCreatePbufferSurface failed";
        return;
    }
    surface_ = surface;
    eglBindAPI(EGL_OPENGL_API);
    const EGLint context_attribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                      EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, context_attribs);
    if (context == EGL_NO_CONTEXT) {
        error_ = "eglCreateContext failed";
        return;
    }
    context_ = context;
    if (!make_current()) {
        error_ = "eglMakeCurrent failed";
        return;
    }
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    if (!renderer || !strstr(renderer, "llvmpipe")) {
        error_ = std::string("renderer is not llvmpipe: ") + (renderer ? renderer : "(none)");
        return;
    }
    glViewport(0, 0, width, height);
    ok_ = true;
}

OffscreenGL::~OffscreenGL() {
    if (!display_) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_) eglDestroyContext(display_, context_);
    if (surface_) eglDestroySurface(display_, surface_);
    // The display stays initialised: EGL displays are shared per process, and terminating it
    // would pull the rug from under any other OffscreenGL alive at the same time.
}

bool OffscreenGL::make_current() {
    return display_ && eglMakeCurrent(display_, surface_, surface_, context_);
}

void OffscreenGL::release_current() {
    EGLDisplay display = eglGetCurrentDisplay();
    if (display != EGL_NO_DISPLAY)
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}
