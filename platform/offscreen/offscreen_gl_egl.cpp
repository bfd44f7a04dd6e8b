// Built on EGL (a GPU device, or Mesa's surfaceless platform); runs on Linux.
// An offscreen OpenGL context on EGL without a window system: a GPU through EGL's device
// platform where there is one, Mesa's surfaceless platform otherwise.
#include "platform/offscreen/offscreen_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstring>

#include "platform/gl.h"

#ifndef EGL_PLATFORM_SURFACELESS_MESA
#define EGL_PLATFORM_SURFACELESS_MESA 0x31DD
#endif

namespace {

EGLDisplay platform_display(EGLenum platform, void* native) {
    auto get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!get_platform_display) return EGL_NO_DISPLAY;
    EGLDisplay display = get_platform_display(platform, native, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr))
        return EGL_NO_DISPLAY;
    return display;
}

// The GPUs EGL can reach without a window system, software devices left out.
std::vector<EGLDeviceEXT> hardware_devices() {
    std::vector<EGLDeviceEXT> found;
    auto query_devices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(
        eglGetProcAddress("eglQueryDevicesEXT"));
    auto query_string = reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(
        eglGetProcAddress("eglQueryDeviceStringEXT"));
    if (!query_devices || !query_string) return found;
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (!query_devices(16, devices, &count)) return found;
    for (EGLint i = 0; i < count; ++i) {
        const char* extensions = query_string(devices[i], EGL_EXTENSIONS);
        if (extensions && strstr(extensions, "EGL_MESA_device_software")) continue;
        found.push_back(devices[i]);
    }
    return found;
}

}  // namespace

OffscreenGL::OffscreenGL(int width, int height, OffscreenRenderer renderer)
    : width_(width), height_(height) {
    if (renderer == OffscreenRenderer::Any) {
        for (EGLDeviceEXT device : hardware_devices()) {
            EGLDisplay display = platform_display(EGL_PLATFORM_DEVICE_EXT, device);
            if (display != EGL_NO_DISPLAY && create(display, width, height)) return;
        }
    }
    EGLDisplay display = platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY) {
        error_ = "no surfaceless EGL display";
        return;
    }
    if (!create(display, width, height)) return;
    if (renderer == OffscreenRenderer::Llvmpipe &&
        renderer_.find("llvmpipe") == std::string::npos) {
        error_ = "renderer is not llvmpipe: " + renderer_;
        ok_ = false;
    }
}

// Builds config, pbuffer and context on an initialised display and makes them current.
// On failure, error() says which step failed and what was made is released again.
bool OffscreenGL::create(void* egl_display, int width, int height) {
    EGLDisplay display = egl_display;
    const EGLint config_attribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                     EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                     EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
                                     EGL_ALPHA_SIZE, 8, EGL_DEPTH_SIZE, 16, EGL_NONE};
    EGLConfig configs[64];
    EGLint count = 0;
    if (!eglChooseConfig(display, config_attribs, configs, 64, &count) || count == 0) {
        error_ = "no 8/8/8/8 pbuffer config";
        return false;
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
        return false;
    }
    const EGLint surface_attribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, surface_attribs);
    if (surface == EGL_NO_SURFACE) {
        error_ = "eglCreatePbufferSurface failed";
        return false;
    }
    eglBindAPI(EGL_OPENGL_API);
    const EGLint context_attribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                      EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, context_attribs);
    if (context == EGL_NO_CONTEXT) {
        eglDestroySurface(display, surface);
        error_ = "eglCreateContext failed";
        return false;
    }
    if (!eglMakeCurrent(display, surface, surface, context)) {
        eglDestroyContext(display, context);
        eglDestroySurface(display, surface);
        error_ = "eglMakeCurrent failed";
        return false;
    }
    display_ = display;
    surface_ = surface;
    context_ = context;
    const char* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    renderer_ = name ? name : "(none)";
    glViewport(0, 0, width, height);
    error_.clear();
    ok_ = true;
    return true;
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
