// pngBind on the offscreen GL context: every colour type, the row order, the mipmap chain,
// filters and wrap, gamma, the pixel-store state, and files it has to refuse.
#include "platform/png/png_bind.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "tests/png/png_test_files.h"
#include "platform/offscreen/offscreen_gl.h"

#ifndef GL_CLAMP_TO_EDGE  // OpenGL 1.2; the Windows headers stop at 1.1
#define GL_CLAMP_TO_EDGE 0x812F
#endif

namespace {

class PngBind : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gl_ = new OffscreenGL(64, 64, OffscreenRenderer::Llvmpipe);
        char pattern[] = "/tmp/png_bind_test.XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    static void TearDownTestSuite() {
        delete gl_;
        gl_ = nullptr;
        std::error_code error;
        std::filesystem::remove_all(dir_, error);
        EXPECT_FALSE(error) << error.message();
    }
    void SetUp() override {
        ASSERT_TRUE(gl_->ok()) << gl_->error();
        unsetenv("VIEWING_GAMMA");
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    void TearDown() override { unsetenv("VIEWING_GAMMA"); }

    static std::string path(const std::string& name) { return dir_ + "/" + name; }

    // Writes the file and loads it with the given modes; NEAREST filters and REPEAT wrap.
    static GLuint load(const TestPng& png, pngInfo* info, int mipmap = PNG_NOMIPMAPS,
                       int trans = PNG_ALPHA) {
        const std::string file = path("image.png");
        EXPECT_TRUE(write_test_png(file, png));
        return pngBind(file.c_str(), mipmap, trans, info, GL_REPEAT, GL_NEAREST, GL_NEAREST);
    }

    static OffscreenGL* gl_;
    static std::string dir_;
};

OffscreenGL* PngBind::gl_ = nullptr;
std::string PngBind::dir_;

// The bound texture's level as RGBA bytes, first texture row (t = 0) first.
std::vector<uint8_t> texels(int level = 0) {
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    return out;
}

GLint level_param(int level, GLenum name) {
    GLint value = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, name, &value);
    return value;
}

GLint tex_param(GLenum name) {
    GLint value = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
}

// How many of the texture names 1..400 are live textures: a failed load must not add one.
int live_textures() {
    int count = 0;
    for (GLuint name = 1; name <= 400; ++name) count += glIsTexture(name) ? 1 : 0;
    return count;
}

void delete_texture(GLuint texture) { glDeleteTextures(1, &texture); }

std::vector<uint16_t> ramp(size_t count, int step, int modulo) {
    std::vector<uint16_t> v(count);
    for (size_t i = 0; i < count; ++i) v[i] = static_cast<uint16_t>((i * step + 7) % modulo);
    return v;
}

TEST_F(PngBind, RgbFileGivesAnRgbTextureWithTheFirstRowAtTZero) {
    TestPng png;
    png.width = 3;  // 9-byte rows: not a multiple of the default unpack alignment
    png.height = 2;
    png.samples = {10, 20, 30, 40, 50, 60, 70, 80, 90,  //
                   100, 110, 120, 130, 140, 150, 160, 170, 180};
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    pngInfo info;
    GLuint texture = load(png, &info);
    ASSERT_NE(texture, 0u);

    GLint bound = 0, alignment = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(static_cast<GLuint>(bound), texture);
    EXPECT_EQ(alignment, 8) << "the caller's unpack alignment comes back";
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);

    std::vector<uint8_t> t = texels();
    ASSERT_EQ(t.size(), 3u * 2 * 4);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(t[i * 4 + 0], png.samples[i * 3 + 0]) << "texel " << i;
        EXPECT_EQ(t[i * 4 + 1], png.samples[i * 3 + 1]) << "texel " << i;
        EXPECT_EQ(t[i * 4 + 2], png.samples[i * 3 + 2]) << "texel " << i;
        EXPECT_EQ(t[i * 4 + 3], 255);
    }
    EXPECT_EQ(level_param(0, GL_TEXTURE_ALPHA_SIZE), 0) << "no alpha in an RGB texture";
    EXPECT_EQ(level_param(1, GL_TEXTURE_WIDTH), 0) << "PNG_NOMIPMAPS uploads level 0 only";
    EXPECT_EQ(info.Width, 3u);
    EXPECT_EQ(info.Height, 2u);
    EXPECT_EQ(info.Depth, 24u);
    EXPECT_EQ(info.Alpha, 0u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    delete_texture(texture);
}

TEST_F(PngBind, WrapAndFiltersAreTheCallersAndInfoMayBeNull) {
    TestPng png;
    png.width = 2;
    png.height = 2;
    png.samples = ramp(12, 20, 256);
    ASSERT_TRUE(write_test_png(path("wrap.png"), png));
    GLuint texture = pngBind(path("wrap.png").c_str(), PNG_BUILDMIPMAPS, PNG_SOLID, nullptr,
                             GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR);
    ASSERT_NE(texture, 0u);
    EXPECT_EQ(tex_param(GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(tex_param(GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(tex_param(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);
    EXPECT_EQ(tex_param(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    delete_texture(texture);

    texture = load(png, nullptr);
    ASSERT_NE(texture, 0u);
    EXPECT_EQ(tex_param(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(tex_param(GL_TEXTURE_WRAP_T), GL_REPEAT);
    EXPECT_EQ(tex_param(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    EXPECT_EQ(tex_param(GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    delete_texture(texture);
}

TEST_F(PngBind, RgbaFileKeepsItsAlphaUnlessSolidIsAsked) {
    TestPng png;
    png.color_type = PNG_COLOR_TYPE_RGB_ALPHA;
    png.width = 2;
    png.height = 2;
    png.samples = {255, 0, 0, 0,  0, 255, 0, 64,  0, 0, 255, 128,  9, 8, 7, 255};
    pngInfo info;
    GLuint texture = load(png, &info);
    ASSERT_NE(texture, 0u);
    std::vector<uint8_t> t = texels();
    ASSERT_EQ(t.size(), png.samples.size());
    for (size_t i = 0; i < t.size(); ++i) EXPECT_EQ(t[i], png.samples[i]) << "byte " << i;
    EXPECT_EQ(level_param(0, GL_TEXTURE_ALPHA_SIZE), 8);
    EXPECT_EQ(info.Depth, 32u);
    EXPECT_EQ(info.Alpha, 8u);
    delete_texture(texture);

    texture = load(png, &info, PNG_NOMIPMAPS, PNG_SOLID);
    ASSERT_NE(texture, 0u);
    t = texels();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(t[i * 4 + 0], png.samples[i * 4 + 0]);
        EXPECT_EQ(t[i * 4 + 2], png.samples[i * 4 + 2]);
        EXPECT_EQ(t[i * 4 + 3], 255) << "PNG_SOLID drops the alpha";
    }
    EXPECT_EQ(level_param(0, GL_TEXTURE_ALPHA_SIZE), 0);
    EXPECT_EQ(info.Alpha, 8u) << "info describes the file, whatever the texture";
    delete_texture(texture);
}

TEST_F(PngBind, PaletteFilesWithAndWithoutTransparency) {
    TestPng png;
    png.color_type = PNG_COLOR_TYPE_PALETTE;
    png.bit_depth = 4;
    png.width = 3;
    png.height = 1;
    png.palette = {{200, 10, 20}, {30, 180, 40}, {5, 6, 250}};
    png.samples = {2, 0, 1};
    pngInfo info;
    GLuint texture = load(png, &info);
    ASSERT_NE(texture, 0u);
    std::vector<uint8_t> t = texels();
    const uint8_t expected_rgb[] = {5, 6, 250, 255, 200, 10, 20, 255, 30, 180, 40, 255};
    ASSERT_EQ(t.size(), sizeof expected_rgb);
    for (size_t i = 0; i < t.size(); ++i) EXPECT_EQ(t[i], expected_rgb[i]) << "byte " << i;
    EXPECT_EQ(level_param(0, GL_TEXTURE_ALPHA_SIZE), 0);
    EXPECT_EQ(info.Depth, 4u);
    EXPECT_EQ(info.Alpha, 0u);
    delete_texture(texture);

    // tRNS shorter than the palette: entries past its end are opaque.
    png.palette_alpha = {0, 100};
    texture = load(png, &info);
    ASSERT_NE(texture, 0u);
    t = texels();
    const uint8_t expected_rgba[] = {5, 6, 250, 255, 200, 10, 20, 0, 30, 180, 40, 100};
    for (size_t i = 0; i < t.size(); ++i) EXPECT_EQ(t[i], expected_rgba[i]) << "byte " << i;
    EXPECT_EQ(level_param(0, GL_TEXTURE_ALPHA_SIZE), 8);
    EXPECT_EQ(info.Alpha, 8u);
    delete_texture(texture);

    texture = load(png, &info, PNG_NOMIPMAPS, PNG_SOLID);
    ASSERT_NE(texture, 0u);
    t = texels();
    for (size_t i = 0; i < t.size(); ++i) EXPECT_EQ(t[i], expected_rgb[i]) << "byte " << i;
    delete_texture(texture);
}

TEST_F(PngBind, GreyFilesBecomeRgbAndGreyAlphaRgba) {
    pngInfo info;
    TestPng grey;
    grey.color_type = PNG_COLOR_TYPE_GRAY;
    grey.width = 4;
    grey.height = 1;
    grey.bit_depth = 2;  // 0..3 expands to 0, 85, 170, 255
    grey.samples = {3, 0, 1, 2};
    GLuint texture = load(grey, &info);
    ASSERT_NE(texture, 0u);
    std::vector<uint8_t> t = texels();
    const uint8_t expanded[] = {255, 0, 85, 170};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(t[i * 4 + 0], expanded[i]);
        EXPECT_EQ(t[i * 4 + 1], expanded[i]);
        EXPECT_EQ(t[i * 4 + 2], expanded[i]);
        EXPECT_EQ(t[i * 4 + 3], 255);
    }
    EXPECT_EQ(info.Depth, 2u);
    EXPECT_EQ(info.Alpha, 0u);
    delete_texture(texture);

    // An 8-bit grey colour key: the keyed pixels are clear, the rest opaque.
    grey.bit_depth = 8;
    grey.samples = {7, 200, 7, 0};
    grey.has_key = true;
    grey.key.gray = 7;
    texture = load(grey, &info);
    ASSERT_NE(texture, 0u);
    t = texels();
    const uint8_t key_alpha[] = {0, 255, 0, 255};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(t[i * 4 + 0], grey.samples[i]);
        EXPECT_EQ(t[i * 4 + 3], key_alpha[i]) << "texel " << i;
    }
    EXPECT_EQ(info.Depth, 8u);
    EXPECT_EQ(info.Alpha, 1u);
    delete_texture(texture);
    texture = load(grey, &info, PNG_NOMIPMAPS, PNG_SOLID);
    ASSERT_NE(texture, 0u);
    EXPECT_EQ(texels()[3], 255) << "PNG_SOLID ignores the colour key";
    delete_texture(texture);

    TestPng grey_alpha;
    grey_alpha.color_type = PNG_COLOR_TYPE_GRAY_ALPHA;
    grey_alpha.width = 2;
    grey_alpha.height = 1;
    grey_alpha.samples = {40, 250, 220, 3};
    texture = load(grey_alpha, &info);
    ASSERT_NE(texture, 0u);
    t = texels();
    const uint8_t expected[] = {40, 40, 40, 250, 220, 220, 220, 3};
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(t[i], expected[i]) << "byte " << i;
    EXPECT_EQ(info.Depth, 16u);
    EXPECT_EQ(info.Alpha, 8u);
    delete_texture(texture);
}

TEST_F(PngBind, SixteenBitSamplesAreRoundedToEightBits) {
    TestPng png;
    png.color_type = PNG_COLOR_TYPE_RGB_ALPHA;
    png.bit_depth = 16;
    png.width = 2;
    png.height = 1;
    // 0x12FF is 18.9 in 8 bits: rounded it is 19 where keeping the high byte would give 18.
    png.samples = {0x12FF, 0xFFFF, 0x0000, 0x8080,  0x0080, 0x7F80, 0xFF00, 0x0101};
    const uint8_t expected[] = {19, 255, 0, 128, 0, 127, 254, 1};
    pngInfo info;
    GLuint texture = load(png, &info);
    ASSERT_NE(texture, 0u);
    std::vector<uint8_t> t = texels();
    ASSERT_EQ(t.size(), 8u);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(t[i], expected[i]) << "byte " << i;
    EXPECT_EQ(info.Depth, 64u);
    EXPECT_EQ(info.Alpha, 16u);
    delete_texture(texture);

    TestPng grey;
    grey.color_type = PNG_COLOR_TYPE_GRAY;
    grey.bit_depth = 16;
    grey.width = 2;
    grey.height = 1;
    grey.samples = {0x12FF, 0xFFFF};
    texture = load(grey, &info);
    ASSERT_NE(texture, 0u);
    t = texels();
    EXPECT_EQ(t[0], 19);
    EXPECT_EQ(t[2], 19);
    EXPECT_EQ(t[4], 255);
    EXPECT_EQ(t[7], 255);
    EXPECT_EQ(info.Depth, 16u);
    EXPECT_EQ(info.Alpha, 0u);
    delete_texture(texture);
}

TEST_F(PngBind, InterlacedFileGivesTheSameTexels) {
    TestPng png;
    png.width = 11;
    png.height = 9;
    png.samples = ramp(11 * 9 * 3, 37, 251);
    pngInfo info;
    GLuint plain = load(png, &info);
    ASSERT_NE(plain, 0u);
    std::vector<uint8_t> expected = texels();
    png.interlaced = true;
    GLuint interlaced = load(png, &info);
    ASSERT_NE(interlaced, 0u);
    EXPECT_EQ(texels(), expected);
    EXPECT_EQ(info.Width, 11u);
    EXPECT_EQ(info.Height, 9u);
    delete_texture(plain);
    delete_texture(interlaced);
}

// A reference for one mipmap level: each destination pixel is the area average of the source
// pixels it covers when the source is squeezed to max(1, size/2), rounded to nearest.
std::vector<uint8_t> reference_half(const std::vector<uint8_t>& src, int w, int h, int* ow,
                                    int* oh) {
    const int dw = w > 1 ? w / 2 : 1, dh = h > 1 ? h / 2 : 1;
    std::vector<uint8_t> out(static_cast<size_t>(dw) * dh * 4);
    const double fx = static_cast<double>(w) / dw, fy = static_cast<double>(h) / dh;
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x)
            for (int c = 0; c < 4; ++c) {
                double sum = 0, area = 0;
                for (int sy = 0; sy < h; ++sy)
                    for (int sx = 0; sx < w; ++sx) {
                        double ox = std::fmin(sx + 1, (x + 1) * fx) - std::fmax(sx, x * fx);
                        double oy = std::fmin(sy + 1, (y + 1) * fy) - std::fmax(sy, y * fy);
                        if (ox <= 0 || oy <= 0) continue;
                        sum += ox * oy * src[(static_cast<size_t>(sy) * w + sx) * 4 + c];
                        area += ox * oy;
                    }
                out[(static_cast<size_t>(y) * dw + x) * 4 + c] =
                    static_cast<uint8_t>(std::floor(sum / area + 0.5 + 1e-9));
            }
    *ow = dw;
    *oh = dh;
    return out;
}

TEST_F(PngBind, MipmapChainHalvesDownToOneByOneByBoxAveraging) {
    struct Size {
        int w, h;
    };
    // Powers of two, odd and non-power-of-two sizes, and single rows and columns.
    const Size sizes[] = {{8, 4}, {2, 2}, {5, 3}, {7, 7}, {12, 5}, {1, 6}, {9, 1}};
    for (const Size& size : sizes) {
        SCOPED_TRACE(std::to_string(size.w) + "x" + std::to_string(size.h));
        TestPng png;
        png.color_type = PNG_COLOR_TYPE_RGB_ALPHA;
        png.width = size.w;
        png.height = size.h;
        png.samples = ramp(static_cast<size_t>(size.w) * size.h * 4, 53, 256);
        GLuint texture = load(png, nullptr, PNG_BUILDMIPMAPS);
        ASSERT_NE(texture, 0u);

        std::vector<uint8_t> expected(png.samples.begin(), png.samples.end());
        int w = size.w, h = size.h, level = 0;
        EXPECT_EQ(texels(0), expected);
        while (w > 1 || h > 1) {
            expected = reference_half(expected, w, h, &w, &h);
            ++level;
            EXPECT_EQ(level_param(level, GL_TEXTURE_WIDTH), w) << "level " << level;
            EXPECT_EQ(level_param(level, GL_TEXTURE_HEIGHT), h) << "level " << level;
            EXPECT_EQ(texels(level), expected) << "level " << level;
        }
        EXPECT_EQ(level_param(level + 1, GL_TEXTURE_WIDTH), 0) << "the chain ends at 1x1";
        delete_texture(texture);
    }

    // The plain 2x2 case, by hand: each channel (a + b + c + d + 2) / 4.
    TestPng png;
    png.width = 2;
    png.height = 2;
    png.samples = {0, 255, 10, 1, 255, 11, 0, 255, 11, 0, 254, 11};
    GLuint texture = load(png, nullptr, PNG_BUILDMIPMAPS);
    ASSERT_NE(texture, 0u);
    std::vector<uint8_t> top = texels(1);
    ASSERT_EQ(top.size(), 4u);
    EXPECT_EQ(top[0], 0);    // 1 / 4 rounds down
    EXPECT_EQ(top[1], 255);  // 1019 / 4 = 254.75
    EXPECT_EQ(top[2], 11);   // 43 / 4 = 10.75
    EXPECT_EQ(top[3], 255);
    delete_texture(texture);
}

TEST_F(PngBind, ViewingGammaCorrectsColourButNotAlpha) {
    TestPng png;
    png.color_type = PNG_COLOR_TYPE_GRAY_ALPHA;
    png.width = 3;
    png.height = 1;
    png.samples = {64, 64, 128, 128, 255, 200};

    auto load_grey = [&](double file_gamma) {
        png.gamma = file_gamma;
        GLuint texture = load(png, nullptr);
        EXPECT_NE(texture, 0u);
        std::vector<uint8_t> t = texels();
        delete_texture(texture);
        return t;
    };
    auto expect_near = [](int actual, double expected, const char* what) {
        EXPECT_NEAR(actual, expected, 1.0) << what;
    };
    auto curve = [](double v, double exponent) { return std::pow(v / 255.0, exponent) * 255.0; };

    // Unset, empty or nonsense: the samples pass unchanged.
    for (const char* value : {static_cast<const char*>(nullptr), "", "abc", "-2", "0", "1e9"}) {
        if (value)
            setenv("VIEWING_GAMMA", value, 1);
        else
            unsetenv("VIEWING_GAMMA");
        std::vector<uint8_t> t = load_grey(0.0);
        EXPECT_EQ(t[0], 64) << (value ? value : "(unset)");
        EXPECT_EQ(t[4], 128) << (value ? value : "(unset)");
    }

    // A file without gAMA counts as encoded for a 2.2 display: shown on a 2.2 display it
    // stays as it is, on a linear one (1.0) every colour sample goes to the power 2.2.
    setenv("VIEWING_GAMMA", "2.2", 1);
    std::vector<uint8_t> t = load_grey(0.0);
    EXPECT_EQ(t[0], 64);
    EXPECT_EQ(t[4], 128);
    setenv("VIEWING_GAMMA", "1.0", 1);
    t = load_grey(0.0);
    expect_near(t[0], curve(64, 2.2), "64 for a linear display");
    expect_near(t[4], curve(128, 2.2), "128 for a linear display");
    EXPECT_EQ(t[8], 255);
    EXPECT_EQ(t[3], 64) << "alpha is not gamma corrected";
    EXPECT_EQ(t[7], 128) << "alpha is not gamma corrected";

    // A file's own gAMA wins over the default: linear samples (gAMA 1.0) on a 2.2 display.
    setenv("VIEWING_GAMMA", "2.2", 1);
    t = load_grey(1.0);
    expect_near(t[0], curve(64, 1 / 2.2), "linear 64 on a 2.2 display");
    expect_near(t[4], curve(128, 1 / 2.2), "linear 128 on a 2.2 display");
    EXPECT_EQ(t[3], 64);
}

TEST_F(PngBind, DimensionsBeyondTheLimitAreRefused) {
    // 1-bit grey keeps the files small; the widest accepted row and one pixel more.
    TestPng png;
    png.color_type = PNG_COLOR_TYPE_GRAY;
    png.bit_depth = 1;
    png.height = 1;
    png.width = 16384;
    png.samples.assign(16384, 1);
    pngInfo info;
    GLuint texture = load(png, &info);
    ASSERT_NE(texture, 0u);
    EXPECT_EQ(info.Width, 16384u);
    delete_texture(texture);

    png.width = 16385;
    png.samples.assign(16385, 1);
    EXPECT_EQ(load(png, &info), 0u);
    EXPECT_EQ(info.Width, 0u) << "info is cleared on failure";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Bytes of a small valid RGB file of noise (so its pixel data does not compress away), for
// cutting and corrupting.
std::vector<char> valid_file_bytes(const std::string& file) {
    TestPng png;
    png.width = 16;
    png.height = 16;
    uint32_t state = 12345;
    for (int i = 0; i < 16 * 16 * 3; ++i) {
        state = state * 1664525u + 1013904223u;
        png.samples.push_back(static_cast<uint16_t>(state >> 24));
    }
    EXPECT_TRUE(write_test_png(file, png));
    std::ifstream in(file, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void write_bytes(const std::string& file, const std::vector<char>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST_F(PngBind, UnreadableFilesGiveZeroAndLeaveNothingBehind) {
    const std::vector<char> good = valid_file_bytes(path("good.png"));
    // The IDAT chunk's data starts after the signature (8), IHDR (25) and IDAT's length and
    // type (8).
    const size_t idat_data = 8 + 25 + 8;
    ASSERT_GT(good.size(), idat_data + 700) << "the pixel data should be large";
    ASSERT_EQ(std::string(good.data() + idat_data - 4, 4), "IDAT");

    std::vector<std::pair<std::string, std::vector<char>>> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"half a signature", std::vector<char>(good.begin(), good.begin() + 4)});
    cases.push_back({"signature only", std::vector<char>(good.begin(), good.begin() + 8)});
    cases.push_back({"cut in the header", std::vector<char>(good.begin(), good.begin() + 20)});
    cases.push_back({"cut before the pixels",
                     std::vector<char>(good.begin(), good.begin() + idat_data)});
    cases.push_back({"cut in the pixels",
                     std::vector<char>(good.begin(), good.begin() + idat_data + 400)});
    cases.push_back({"cut before the last pixel bytes",
                     std::vector<char>(good.begin(), good.end() - 12 - 4 - 10)});
    std::vector<char> bad = good;
    bad[16 + 3] ^= 0x01;  // IHDR width, so the chunk's CRC no longer matches
    cases.push_back({"corrupt header", bad});
    bad = good;
    bad[idat_data + 300] ^= 0x55;
    cases.push_back({"corrupt pixels", bad});
    bad = good;
    bad[1] = 'J';
    cases.push_back({"wrong signature", bad});
    cases.push_back({"text", {'h', 'e', 'l', 'l', 'o', '\n'}});

    GLuint previous = 0;
    glGenTextures(1, &previous);
    glBindTexture(GL_TEXTURE_2D, previous);
    const int live_before = live_textures();
    for (const auto& [name, bytes] : cases) {
        const std::string file = path("bad.png");
        write_bytes(file, bytes);
        pngInfo info{1, 2, 3, 4};
        EXPECT_EQ(pngBind(file.c_str(), PNG_BUILDMIPMAPS, PNG_ALPHA, &info, GL_REPEAT,
                          GL_NEAREST, GL_NEAREST),
                  0u)
            << name;
        EXPECT_EQ(info.Width + info.Height + info.Depth + info.Alpha, 0u) << name;
    }
    for (const std::string& file : {path("missing.png"), dir_, std::string()}) {
        EXPECT_EQ(pngBind(file.c_str(), PNG_BUILDMIPMAPS, PNG_ALPHA, nullptr, GL_REPEAT,
                          GL_NEAREST, GL_NEAREST),
                  0u)
            << "'" << file << "'";
    }
    EXPECT_EQ(pngBind(nullptr, PNG_BUILDMIPMAPS, PNG_ALPHA, nullptr, GL_REPEAT, GL_NEAREST,
                      GL_NEAREST),
              0u);

    EXPECT_EQ(live_textures(), live_before) << "a failed load left a texture behind";
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), previous) << "a failed load changed the binding";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // The uncut file itself loads, so the cases above fail for their faults alone.
    GLuint texture = pngBind(path("good.png").c_str(), PNG_BUILDMIPMAPS, PNG_ALPHA, nullptr,
                             GL_REPEAT, GL_NEAREST, GL_NEAREST);
    EXPECT_NE(texture, 0u);
    delete_texture(texture);
    delete_texture(previous);
}

}  // namespace
