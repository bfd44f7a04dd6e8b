// PNG decoding behind pngBind, with no GL: libpng turns any PNG into 8-bit RGB or RGBA rows,
// and a box filter makes each smaller mipmap level. The fuzzers drive these directly.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/png/png_bind.h"

struct DecodedPng {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int channels = 0;  // 3 or 4 after the transforms
    pngInfo info{};
    // Rows top first, tightly packed. Left uninitialised until libpng fills it, so a header
    // that promises more than the file holds costs address space, not touched memory.
    std::unique_ptr<unsigned char[]> pixels;
};

// Decodes the PNG read from file (from its current position, which must be the signature)
// into *out: RGBA when want_alpha and the file has alpha (a channel or tRNS), RGB otherwise;
// 16-bit samples rounded to 8 bits; VIEWING_GAMMA applied as pngBind documents. False for
// anything that is not a complete, valid PNG, or wider or taller than max_side. Text, sPLT and
// eXIf chunks are skipped unread, and libpng gets no block over 8 MiB. The file is left open.
bool decode_png(std::FILE* file, bool want_alpha, std::uint32_t max_side, DecodedPng* out);

// The next mipmap level of a w x h image: max(1, w/2) x max(1, h/2), each pixel the weighted
// average of the source pixels under it, rounded to nearest. Throws std::bad_alloc when the
// level cannot be allocated.
void next_mipmap_level(const unsigned char* src, int w, int h, int channels,
                       std::vector<unsigned char>* dst, int* out_w, int* out_h);
