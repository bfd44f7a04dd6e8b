// libFuzzer target for the PNG decode behind pngBind: each input is decoded as pngBind decodes
// for PNG_ALPHA (with the whole mipmap chain) and for PNG_SOLID under VIEWING_GAMMA, and what
// comes back must describe the pixels it holds.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
    return 0;
}
