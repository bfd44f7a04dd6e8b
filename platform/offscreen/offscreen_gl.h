// An offscreen OpenGL context: on Linux EGL without a window system, compatibility profile, an
// exact 8/8/8/8 config with a 16-bit depth buffer, and a pbuffer that is both read and drawn
// (so glCopyTexImage2D sees the frame); on Windows a hidden WGL window of the same format. The capture renders on it; tests ask for Mesa's llvmpipe,
// whose results are exact and repeatable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Which renderers a context may run on. Any prefers a hardware GPU that EGL can reach without
// a display and falls back to Mesa's surfaceless platform (llvmpipe on a machine without a
// GPU); Llvmpipe takes the surfaceless platform only and refuses any other renderer.
enum class OffscreenRenderer { Any, Llvmpipe };

class OffscreenGL {
public:
    // Creates the context and makes it current on this thread. ok() tells whether it worked;
    // error() says why not.
    explicit OffscreenGL(int width = 640, int height = 480,
                         OffscreenRenderer renderer = OffscreenRenderer::Any);
    ~OffscreenGL();
    OffscreenGL(const OffscreenGL&) = delete;
    OffscreenGL& operator=(const OffscreenGL&) = delete;

    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // GL_RENDERER of the context, empty before it is current.
    const std::string& renderer() const { return renderer_; }

    // Makes this context current again (after another one was).
    bool make_current();
    // Leaves this thread with no current context.
    static void release_current();

    // Reads the rectangle from the current read buffer as RGBA bytes, bottom row first.
    std::vector<uint8_t> read_rgba(int x, int y, int w, int h) const;
    std::vector<uint8_t> read_rgba() const { return read_rgba(0, 0, width_, height_); }

    // Writes the whole picture as a PNG, top row first, for looking at.
    bool save_png(const std::string& path) const;

private:
    bool ok_ = false;
    std::string error_;
    std::string renderer_;
    int width_, height_;
    void* display_ = nullptr;
    void* surface_ = nullptr;
    void* context_ = nullptr;

    bool create(void* display, int width, int height);
};

// One pixel of an RGBA picture read with read_rgba.
struct Rgba {
    uint8_t r, g, b, a;
};
Rgba pixel_at(const std::vector<uint8_t>& rgba, int width, int x, int y);
