// Reading the offscreen context's picture back, on every platform's OffscreenGL.
#include "platform/offscreen/offscreen_gl.h"

#include <png.h>

#include <cstdio>

#include "platform/gl.h"

std::vector<uint8_t> OffscreenGL::read_rgba(int x, int y, int w, int h) const {
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

bool OffscreenGL::save_png(const std::string& path) const {
    std::vector<uint8_t> pixels = read_rgba();
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width_, height_, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (int y = height_ - 1; y >= 0; --y)
        png_write_row(png, pixels.data() + static_cast<size_t>(y) * width_ * 4);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    fclose(file);
    return true;
}

Rgba pixel_at(const std::vector<uint8_t>& rgba, int width, int x, int y) {
    const uint8_t* p = rgba.data() + (static_cast<size_t>(y) * width + x) * 4;
    return Rgba{p[0], p[1], p[2], p[3]};
}
