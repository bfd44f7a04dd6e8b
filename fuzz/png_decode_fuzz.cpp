// libFuzzer target for the PNG decode behind pngBind: each input is decoded as pngBind decodes
// for PNG_ALPHA (with the whole mipmap chain) and for PNG_SOLID under VIEWING_GAMMA, and what
// comes back must describe the pixels it holds. Then again with its chunk CRCs made right.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/png/png_decode.h"

namespace {

// pngBind's own limit, which llvmpipe's maximum texture size matches.
constexpr std::uint32_t kMaxSide = 16384;

bool decode(const uint8_t* data, size_t size, bool want_alpha, DecodedPng* out) {
    // fmemopen gives libpng the same FILE reads that pngBind gives it.
    std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return false;
    bool ok = decode_png(file, want_alpha, kMaxSide, out);
    std::fclose(file);
    return ok;
}

void check_image(const DecodedPng& image, bool want_alpha) {
    FUZZ_CHECK(image.width >= 1 && image.width <= kMaxSide);
    FUZZ_CHECK(image.height >= 1 && image.height <= kMaxSide);
    FUZZ_CHECK(image.info.Width == image.width && image.info.Height == image.height);
    FUZZ_CHECK(image.channels == (want_alpha && image.info.Alpha > 0 ? 4 : 3));
    const unsigned alpha = image.info.Alpha;
    FUZZ_CHECK(alpha == 0 || alpha == 1 || alpha == 8 || alpha == 16);
    FUZZ_CHECK(image.info.Depth >= 1 && image.info.Depth <= 64);
    FUZZ_CHECK(image.pixels);
}

// The chain pngBind uploads for PNG_BUILDMIPMAPS, down to 1x1.
void build_mipmaps(const DecodedPng& image) {
    std::vector<unsigned char> level, next;
    const unsigned char* source = image.pixels.get();
    int w = static_cast<int>(image.width), h = static_cast<int>(image.height);
    while (w > 1 || h > 1) {
        const int expect_w = w > 1 ? w / 2 : 1, expect_h = h > 1 ? h / 2 : 1;
        next_mipmap_level(source, w, h, image.channels, &next, &w, &h);
        FUZZ_CHECK(w == expect_w && h == expect_h);
        FUZZ_CHECK(next.size() == static_cast<size_t>(w) * h * image.channels);
        level.swap(next);
        source = level.data();
    }
}

void decode_both_ways(const uint8_t* data, size_t size) {
    unsetenv("VIEWING_GAMMA");
    DecodedPng with_alpha;
    bool alpha_ok = decode(data, size, true, &with_alpha);
    if (alpha_ok) {
        check_image(with_alpha, true);
        build_mipmaps(with_alpha);
    }

    setenv("VIEWING_GAMMA", "2.2", 1);
    DecodedPng solid;
    bool solid_ok = decode(data, size, false, &solid);
    unsetenv("VIEWING_GAMMA");
    if (solid_ok) check_image(solid, false);

    // Neither the alpha choice nor gamma correction decides whether a file can be read.
    FUZZ_CHECK(alpha_ok == solid_ok);
    if (alpha_ok && solid_ok) {
        FUZZ_CHECK(with_alpha.info.Width == solid.info.Width);
        FUZZ_CHECK(with_alpha.info.Height == solid.info.Height);
        FUZZ_CHECK(with_alpha.info.Depth == solid.info.Depth);
        FUZZ_CHECK(with_alpha.info.Alpha == solid.info.Alpha);
    }
}

// libpng is not instrumented, so the fuzzer cannot learn its CRCs, and nearly every mutation
// would stop at the first chunk it touched. A copy with each whole chunk's CRC recomputed
// lets mutations reach the chunk handlers and the pixel data.
bool fix_crcs(std::vector<uint8_t>* bytes) {
    bool changed = false;
    size_t at = 8;  // past the signature
    while (bytes->size() - at >= 12) {
        uint8_t* chunk = bytes->data() + at;
        const uint32_t length = uint32_t{chunk[0]} << 24 | uint32_t{chunk[1]} << 16 |
                                uint32_t{chunk[2]} << 8 | chunk[3];
        if (length > bytes->size() - at - 12) break;
        const uLong crc = crc32(0, chunk + 4, length + 4);
        uint8_t* stored = chunk + 8 + length;
        const uint8_t right[4] = {static_cast<uint8_t>(crc >> 24), static_cast<uint8_t>(crc >> 16),
                                  static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)};
        for (int i = 0; i < 4; ++i) {
            changed |= stored[i] != right[i];
            stored[i] = right[i];
        }
        at += 12 + length;
    }
    return changed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decode_both_ways(data, size);
    if (size < 8) return 0;
    std::vector<uint8_t> fixed(data, data + size);
    if (fix_crcs(&fixed)) decode_both_ways(fixed.data(), fixed.size());
    return 0;
}
