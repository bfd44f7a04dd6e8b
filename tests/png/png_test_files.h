// Writes small PNG files of every colour type for the loader's tests, with libpng directly, so
// the tests know each sample the loader should produce.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct TestPng {
    int width = 0;
    int height = 0;
    int color_type = PNG_COLOR_TYPE_RGB;
    int bit_depth = 8;
    bool interlaced = false;
    // One entry per sample, rows top first, channels interleaved (a palette index per pixel
    // for palette files); values up to 2^bit_depth - 1.
    std::vector<uint16_t> samples;
    std::vector<png_color> palette;
    std::vector<uint8_t> palette_alpha;  // tRNS for palette files
    bool has_key = false;                // tRNS colour key for grey or RGB files
    png_color_16 key{};
    double gamma = 0.0;  // gAMA chunk when positive
};

inline int channels_of(int color_type) {
    switch (color_type) {
    case PNG_COLOR_TYPE_GRAY: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;  // palette
    }
}

inline bool write_test_png(const std::string& path, const TestPng& p) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    const int channels = channels_of(p.color_type);
    const int row_samples = p.width * channels;
    std::vector<png_byte> row(static_cast<size_t>(row_samples) * 2);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, p.width, p.height, p.bit_depth, p.color_type,
                 p.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!p.palette.empty())
        png_set_PLTE(png, info, p.palette.data(), static_cast<int>(p.palette.size()));
    if (!p.palette_alpha.empty())
        png_set_tRNS(png, info, p.palette_alpha.data(), static_cast<int>(p.palette_alpha.size()),
                     nullptr);
    if (p.has_key) {
        png_color_16 key = p.key;
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    if (p.gamma > 0.0) png_set_gAMA(png, info, p.gamma);
    png_write_info(png, info);
    if (p.bit_depth < 8) png_set_packing(png);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < p.height; ++y) {
            const uint16_t* src = p.samples.data() + static_cast<size_t>(y) * row_samples;
            for (int i = 0; i < row_samples; ++i) {
                if (p.bit_depth == 16) {
                    row[2 * i] = static_cast<png_byte>(src[i] >> 8);
                    row[2 * i + 1] = static_cast<png_byte>(src[i] & 0xFF);
                } else {
                    row[i] = static_cast<png_byte>(src[i]);
                }
            }
            png_write_row(png, row.data());
        }
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return true;
}
