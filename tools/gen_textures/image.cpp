// A plain 8-bit image for the texture generator, and writing it as a PNG with libpng.
#include "tools/gen_textures/image.h"

#include <png.h>

#include <cstdio>
#include <cstring>

Image flipped_vertically(const Image& image) {
    Image out(image.width, image.height, image.channels);
    const size_t row = size_t(image.width) * image.channels;
    for (int y = 0; y < image.height; ++y)
        std::memcpy(out.at(0, image.height - 1 - y), image.at(0, y), row);
    return out;
}

namespace {

bool write_rows(png_structp png, png_infop info, FILE* file, const Image& image) {
    if (setjmp(png_jmpbuf(png))) return false;
    static const int color_types[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                      PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    png_init_io(png, file);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, image.width, image.height, 8, color_types[image.channels],
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) png_write_row(png, image.at(0, y));
    png_write_end(png, info);
    return true;
}

}  // namespace

bool write_png(const std::string& path, const Image& image) {
    if (image.channels < 1 || image.channels > 4) return false;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "gen_textures: cannot write %s\n", path.c_str());
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info && write_rows(png, info, file, image);
    png_destroy_write_struct(&png, &info);
    ok = std::fclose(file) == 0 && ok;
    if (!ok) std::fprintf(stderr, "gen_textures: writing %s failed\n", path.c_str());
    return ok;
}
