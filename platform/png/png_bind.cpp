// pngBind: decodes a PNG file into 8-bit RGB or RGBA rows (png_decode.cpp), uploads it as a new
// GL_TEXTURE_2D (optionally with a CPU-built box-filtered mipmap chain) and reports what the
// file held. Anything unreadable yields 0 with no message, no GL object and no GL state changed.
#include "platform/png/png_bind.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "platform/gl.h"
#include "platform/png/png_decode.h"

namespace {

// Larger images are refused before any pixel memory is allocated (1 GiB of RGBA at most).
constexpr std::uint32_t kMaxSide = 16384;

// Decodes the file at path; false when it cannot be opened or is no usable PNG.
bool decode_png_file(const char* path, bool want_alpha, std::uint32_t max_side, DecodedPng* out) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "rb"), std::fclose);
    return file && decode_png(file.get(), want_alpha, max_side, out);
}

}  // namespace

unsigned int pngBind(const char* path, int mipmap, int trans, pngInfo* info, int wrapst,
                     int minfilter, int magfilter) {
    if (info) *info = pngInfo{};
    if (!path || !*path) return 0;

    // Never ask for more than the GL can take; without a current context the query leaves the
    // value alone and the file limit applies.
    GLint gl_max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &gl_max);
    std::uint32_t max_side = kMaxSide;
    if (gl_max > 0 && static_cast<std::uint32_t>(gl_max) < max_side)
        max_side = static_cast<std::uint32_t>(gl_max);

    DecodedPng image;
    if (!decode_png_file(path, trans != PNG_SOLID, max_side, &image)) return 0;

    const GLenum format = image.channels == 4 ? GL_RGBA : GL_RGB;
    GLint previous_binding = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous_binding);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    if (texture == 0) return 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrapst);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrapst);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minfilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magfilter);

    // Tightly packed rows; the caller's pixel-store settings come back afterwards.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);

    int w = static_cast<int>(image.width);
    int h = static_cast<int>(image.height);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), w, h, 0, format,
                 GL_UNSIGNED_BYTE, image.pixels.get());
    GLint stored_width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &stored_width);
    bool ok = stored_width == w;

    if (ok && mipmap == PNG_BUILDMIPMAPS) {
        // Each level is made from the one before; only two are held at a time.
        std::vector<unsigned char> level, next;
        const unsigned char* source = image.pixels.get();
        for (int n = 1; w > 1 || h > 1; ++n) {
            try {
                next_mipmap_level(source, w, h, image.channels, &next, &w, &h);
            } catch (const std::bad_alloc&) {
                ok = false;
                break;
            }
            if (n == 1) image.pixels.reset();
            glTexImage2D(GL_TEXTURE_2D, n, static_cast<GLint>(format), w, h, 0, format,
                         GL_UNSIGNED_BYTE, next.data());
            level.swap(next);
            source = level.data();
        }
    }
    glPopClientAttrib();

    if (!ok) {
        // The GL could not take the image (out of memory): leave nothing behind.
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous_binding));
        glDeleteTextures(1, &texture);
        return 0;
    }
    if (info) *info = image.info;
    return texture;
}
