// The shipped textures, loaded as the demo loads them: their formats, the sphere maps'
// brightness and orientation, and the glyph sheet's layout as the font code reads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "platform/png/png_bind.h"
#include "platform/offscreen/offscreen_gl.h"

namespace {

const std::string kTextures = std::string(GLOW_SOURCE_DIR) + "/data/textures/";

class ShippedTextures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gl_ = new OffscreenGL(128, 128, OffscreenRenderer::Llvmpipe);
    }
    static void TearDownTestSuite() {
        delete gl_;
        gl_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(gl_->ok()) << gl_->error(); }

    // Loads a file with the demo's arguments and reads level 0 back as RGBA, t = 0 row first.
    GLuint load(const std::string& name, pngInfo* info, std::vector<uint8_t>* rgba) {
        const GLuint texture = pngBind((kTextures + name).c_str(), PNG_BUILDMIPMAPS, PNG_ALPHA,
                                       info, GL_REPEAT, GL_NEAREST, GL_NEAREST);
        if (texture && rgba) {
            rgba->assign(static_cast<size_t>(info->Width) * info->Height * 4, 0);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba->data());
        }
        return texture;
    }

    static OffscreenGL* gl_;
};

OffscreenGL* ShippedTextures::gl_ = nullptr;

GLint alpha_bits() {
    GLint bits = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &bits);
    return bits;
}

// ---- the sphere maps -------------------------------------------------------------------

struct Brightness {
    double mean = 0;          // of each texel's brightest channel, inside the ball
    double above_055 = 0;     // share of texels whose brightest channel exceeds 0.55
    double highlights = 0;    // share at 0.95 or more
};

Brightness measure_ball(const std::vector<uint8_t>& rgba, int size) {
    Brightness b;
    int count = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double u = (x + 0.5) / size * 2 - 1, v = (y + 0.5) / size * 2 - 1;
            if (u * u + v * v >= 1) continue;
            const uint8_t* p = rgba.data() + (static_cast<size_t>(y) * size + x) * 4;
            const double m = std::max({p[0], p[1], p[2]}) / 255.0;
            b.mean += m;
            b.above_055 += m > 0.55;
            b.highlights += m >= 0.95;
            ++count;
        }
    b.mean /= count;
    b.above_055 /= count;
    b.highlights /= count;
    return b;
}

// Draws a sphere with sphere-mapped texture coordinates, as the demo draws its meshes, and
// returns the pixels on its vertical centre line at `rise` pixels above and below its centre.
void draw_mirror_ball(GLuint texture, int rise, Rgba* top, Rgba* bottom, const OffscreenGL& gl) {
    glViewport(0, 0, 128, 128);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, 1, 100);
    glMatrixMode(GL_MODELVIEW);
    // Far from the eye, as the demo's meshes are: sphere mapping reflects the direction from
    // the eye to each vertex, which must point into the screen.
    glLoadIdentity();
    glTranslatef(0, 0, -50);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glColor3f(1, 1, 1);
    GLUquadric* quadric = gluNewQuadric();
    gluSphere(quadric, 0.9, 48, 48);
    gluDeleteQuadric(quadric);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    const std::vector<uint8_t> pixels = gl.read_rgba(0, 0, 128, 128);
    *top = pixel_at(pixels, 128, 64, 64 + rise);  // rows are bottom first
    *bottom = pixel_at(pixels, 128, 64, 64 - rise);
}

TEST_F(ShippedTextures, SphereMapsAreRgbDimWithSmallBrightSpots) {
    for (const char* name : {"objtex.png", "metal.png"}) {
        SCOPED_TRACE(name);
        pngInfo info;
        std::vector<uint8_t> rgba;
        const GLuint texture = load(name, &info, &rgba);
        ASSERT_NE(texture, 0u);
        EXPECT_EQ(info.Width, info.Height);
        EXPECT_TRUE(info.Width == 256 || info.Width == 512) << info.Width;
        EXPECT_EQ(info.Depth, 24u);
        EXPECT_EQ(info.Alpha, 0u);
        EXPECT_EQ(alpha_bits(), 0);

        // The glow raises each pixel to the fourth power and sums nine taps: broad bright
        // areas would wash out the picture, while some near-white spots must be there to bloom.
        const Brightness b = measure_ball(rgba, static_cast<int>(info.Width));
        EXPECT_GT(b.mean, 0.18);
        EXPECT_LT(b.mean, 0.45);
        EXPECT_LT(b.above_055, 0.06);
        EXPECT_GT(b.highlights, 0.001);
        glDeleteTextures(1, &texture);
    }
}

TEST_F(ShippedTextures, MirrorBallsShowTheSkyAboveAndTheGroundBelow) {
    pngInfo info;
    GLuint sky = load("objtex.png", &info, nullptr);
    ASSERT_NE(sky, 0u);
    Rgba top, bottom;
    // Near the top and bottom of the ball: the reflections point steeply up and down.
    draw_mirror_ball(sky, 46, &top, &bottom, *gl_);
    EXPECT_GT(top.b, top.r + 40) << "the night sky is deep blue";
    EXPECT_LT(top.r, 70);
    EXPECT_GT(bottom.r, 80) << "the snow is light";
    EXPECT_LT(bottom.b, bottom.r + 40) << "the snow is nearly grey";

    GLuint metal = load("metal.png", &info, nullptr);
    ASSERT_NE(metal, 0u);
    // Just above and below the horizon, which crosses the middle of the ball.
    draw_mirror_ball(metal, 8, &top, &bottom, *gl_);
    EXPECT_GT(top.g, bottom.g + 40) << "the studio's walls are lighter than its floor";
    glDeleteTextures(1, &sky);
    glDeleteTextures(1, &metal);
}

// ---- the glyph sheet -------------------------------------------------------------------

constexpr int kSheet = 768, kCell = 48;

// One cell of the sheet as the font code addresses it: glyph g, cell row g / 16 spanning
// t = 1 - (row + 1) / 16 .. 1 - row / 16. u runs right, v up from the cell's bottom edge.
struct Cell {
    const std::vector<uint8_t>* rgba;
    int glyph;
    int alpha(int u, int v) const {
        const int x = (glyph % 16) * kCell + u;
        const int row = kSheet - (glyph / 16 + 1) * kCell + v;  // texture row, t = 0 first
        return (*rgba)[(static_cast<size_t>(row) * kSheet + x) * 4 + 3];
    }
    // The ink's extent; lowest_v > highest_v when the cell is empty.
    int lowest_v() const {
        for (int v = 0; v < kCell; ++v)
            for (int u = 0; u < kCell; ++u)
                if (alpha(u, v) > 0) return v;
        return kCell;
    }
    int highest_v() const {
        for (int v = kCell - 1; v >= 0; --v)
            for (int u = 0; u < kCell; ++u)
                if (alpha(u, v) > 0) return v;
        return -1;
    }
    int rightmost_u() const {
        for (int u = kCell - 1; u >= 0; --u)
            for (int v = 0; v < kCell; ++v)
                if (alpha(u, v) > 0) return u;
        return -1;
    }
    int leftmost_u() const {
        for (int u = 0; u < kCell; ++u)
            for (int v = 0; v < kCell; ++v)
                if (alpha(u, v) > 0) return u;
        return kCell;
    }
    long ink() const {
        long sum = 0;
        for (int v = 0; v < kCell; ++v)
            for (int u = 0; u < kCell; ++u) sum += alpha(u, v);
        return sum;
    }
};

TEST_F(ShippedTextures, FontSheetHoldsBothCharacterSetsWhereTheFontCodeLooks) {
    pngInfo info;
    std::vector<uint8_t> rgba;
    const GLuint texture = load("font.png", &info, &rgba);
    ASSERT_NE(texture, 0u);
    ASSERT_EQ(info.Width, 768u);
    ASSERT_EQ(info.Height, 768u);
    EXPECT_EQ(info.Depth, 32u);
    EXPECT_EQ(info.Alpha, 8u);
    EXPECT_EQ(alpha_bits(), 8);
    for (size_t i = 0; i < rgba.size(); i += 4)
        ASSERT_TRUE(rgba[i] == 255 && rgba[i + 1] == 255 && rgba[i + 2] == 255)
            << "white everywhere, texel " << i / 4;

    long ink[2] = {0, 0};
    for (int set = 0; set < 2; ++set) {
        for (int byte = 32; byte < 160; ++byte) {
            const Cell cell{&rgba, byte - 32 + 128 * set};
            SCOPED_TRACE("set " + std::to_string(set) + " byte " + std::to_string(byte));
            const bool printable = byte > 32 && byte < 127;
            if (!printable) {
                EXPECT_EQ(cell.ink(), 0) << "blank cell";
                continue;
            }
            ink[set] += cell.ink();
            // Inside the pen's 30-pixel step, clear of the next glyph's overlapping quad.
            EXPECT_GE(cell.leftmost_u(), 1);
            EXPECT_LT(cell.rightmost_u(), 30);
        }
        // Stored upside down, the cells still read upright through the font's mapping: a
        // full stop and an x sit on the baseline (3 to 4 of the 16 units up), a g hangs
        // below it and an apostrophe floats high.
        const int base = 128 * set - 32;
        const Cell stop{&rgba, base + '.'}, x{&rgba, base + 'x'}, g{&rgba, base + 'g'},
            quote{&rgba, base + '\''}, h{&rgba, base + 'H'};
        EXPECT_GE(stop.lowest_v(), 9);
        EXPECT_LE(stop.lowest_v(), 13);
        EXPECT_LE(stop.highest_v(), 22);
        EXPECT_EQ(x.lowest_v(), stop.lowest_v());
        EXPECT_LT(g.lowest_v(), stop.lowest_v() - 5);
        EXPECT_GT(quote.lowest_v(), 28);
        // Big enough to read at the 30-pixel advance.
        const int x_height = x.highest_v() - x.lowest_v() + 1;
        const int cap_height = h.highest_v() - h.lowest_v() + 1;
        EXPECT_GE(x_height, 16);
        EXPECT_LE(x_height, 26);
        EXPECT_GE(cap_height, 22);
        EXPECT_LE(cap_height, 34);
    }
    EXPECT_GT(ink[1], ink[0] * 6 / 5) << "set 1 is the bold one";
    glDeleteTextures(1, &texture);
}

}  // namespace
