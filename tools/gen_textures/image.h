// A plain 8-bit image for the texture generator, and writing it as a PNG with libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Image {
    int width = 0;
    int height = 0;
    int channels = 0;              // 1 (grey), 3 (RGB) or 4 (RGBA)
    std::vector<uint8_t> pixels;   // rows top first

    Image() = default;
    Image(int w, int h, int c) : width(w), height(h), channels(c), pixels(size_t(w) * h * c, 0) {}
    uint8_t* at(int x, int y) { return pixels.data() + (size_t(y) * width + x) * channels; }
    const uint8_t* at(int x, int y) const {
        return pixels.data() + (size_t(y) * width + x) * channels;
    }
};

// Turns the image upside down: the first row becomes the last.
Image flipped_vertically(const Image& image);

// Writes the image as an 8-bit PNG with no time or text chunks, so equal pixels give equal
// files. Returns false (with a message on standard error) when the file cannot be written.
bool write_png(const std::string& path, const Image& image);
