// The glow against a CPU model of the same steps: downscale by 2x2 averaging, raise to the
// fourth power by three multiplies, smear over three taps each way with clamped edges, stretch
// back with linear filtering and add the frame. Also the state the effect leaves.
#include <algorithm>
#include <cmath>
#include <vector>

#include "demo/glow.h"
#include "platform/gl.h"
#include "tests/demo/demo_fixture.h"

namespace {

const int W = 640, H = 480, w = 320, h = 240;

struct Plane {  // one colour channel, bottom row first as GL reads it
    int width, height;
    std::vector<int> v;
    Plane(int width_, int height_) : width(width_), height(height_), v(width_ * height_) {}
    int& at(int x, int y) { return v[y * width + x]; }
    int clamped(int x, int y) const {
        x = std::clamp(x, 0, width - 1);
        y = std::clamp(y, 0, height - 1);
        return v[y * width + x];
    }
};

// The multiply blend of 8-bit values as the renderer rounds it.
int multiply(int a, int b) {
    int t = a * b;
    return (t + (t >> 8) + 128) >> 8;
}

Plane model_glow(const Plane& frame) {
    Plane scratch(w, h), isolated(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int bottom = (frame.clamped(2 * x, 2 * y) + frame.clamped(2 * x + 1, 2 * y) + 1) >> 1;
            int top = (frame.clamped(2 * x, 2 * y + 1) + frame.clamped(2 * x + 1, 2 * y + 1) + 1) >> 1;
            scratch.at(x, y) = (bottom + top + 1) >> 1;
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int s = scratch.at(x, y), p = s;
            for (int i = 0; i < 3; ++i) p = multiply(s, p);
            isolated.at(x, y) = p;
        }
    Plane across(w, h), down(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            across.at(x, y) = std::min(255, isolated.clamped(x - 1, y) + isolated.at(x, y) +
                                                isolated.clamped(x + 1, y));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            down.at(x, y) = std::min(255, across.clamped(x, y - 1) + across.at(x, y) +
                                              across.clamped(x, y + 1));
    Plane out(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            // The pixel's centre in the half-size texture, linearly filtered.
            double u = (x + 0.5) / 2.0 - 0.5, t = (y + 0.5) / 2.0 - 0.5;
            int x0 = static_cast<int>(std::floor(u)), y0 = static_cast<int>(std::floor(t));
            double fu = u - x0, ft = t - y0;
            double stretched =
                (1 - ft) * ((1 - fu) * down.clamped(x0, y0) + fu * down.clamped(x0 + 1, y0)) +
                ft * ((1 - fu) * down.clamped(x0, y0 + 1) + fu * down.clamped(x0 + 1, y0 + 1));
            out.at(x, y) = std::min(255, static_cast<int>(std::lround(stretched)) + frame.v[y * W + x]);
        }
    return out;
}

// Puts a picture into the back buffer as it is, pixel for pixel.
void draw_picture(const std::vector<uint8_t>& rgb) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, W, 0, H, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glRasterPos2i(0, 0);
    glDrawPixels(W, H, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

// Runs the effect on a picture and compares every channel with the model.
int worst_difference(const std::vector<uint8_t>& rgb, std::vector<uint8_t>* result = nullptr) {
    draw_picture(rgb);
    apply_glow(1, 3, 1, 0.3f);
    std::vector<uint8_t> actual(W * H * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, actual.data());
    if (result) *result = actual;
    int worst = 0;
    for (int c = 0; c < 3; ++c) {
        Plane frame(W, H);
        for (int i = 0; i < W * H; ++i) frame.v[i] = rgb[i * 3 + c];
        Plane expected = model_glow(frame);
        for (int i = 0; i < W * H; ++i)
            worst = std::max(worst, std::abs(expected.v[i] - actual[i * 3 + c]));
    }
    return worst;
}

class Glow : public DemoGL {
protected:
    void SetUp() override {
        DemoGL::SetUp();
        create_glow_textures();
        glEnable(GL_TEXTURE_2D);
        glEnable(GL_DEPTH_TEST);
    }
    static void fill(std::vector<uint8_t>& rgb, int x0, int y0, int x1, int y1, uint8_t r,
                     uint8_t g, uint8_t b) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                uint8_t* p = &rgb[(y * W + x) * 3];
                p[0] = r, p[1] = g, p[2] = b;
            }
    }
};

TEST_F(Glow, AWhiteBlockStaysWhiteAndBloomsIntoItsNeighbours) {
    std::vector<uint8_t> rgb(W * H * 3, 0), out;
    fill(rgb, 200, 200, 240, 240, 255, 255, 255);
    EXPECT_LE(worst_difference(rgb, &out), 2);
    auto at = [&](int x, int y) { return out[(y * W + x) * 3]; };
    EXPECT_EQ(at(220, 220), 255);
    EXPECT_GT(at(241, 220), 100);  // glow just outside the block
    EXPECT_GT(at(220, 198), 100);
    EXPECT_EQ(at(250, 220), 0);    // and nothing far away
    EXPECT_EQ(at(100, 100), 0);
}

TEST_F(Glow, DimPartsHardlyGlowAndEdgesReadClampedTexels) {
    std::vector<uint8_t> rgb(W * H * 3, 0), out;
    fill(rgb, 0, 0, W, 100, 128, 64, 32);         // mid grey-ish band at the bottom edge
    fill(rgb, 0, 300, 16, 340, 255, 255, 255);    // a bright block on the left edge
    fill(rgb, 600, 460, 640, 480, 250, 0, 255);   // and one in the top-right corner
    EXPECT_LE(worst_difference(rgb, &out), 2);
    // A 0.5 grey gives 1/16 per tap: nine taps (144) over the frame's own 128 saturate; a
    // quarter gives about 1/256 per tap, an eighth nothing at all.
    auto px = [&](int x, int y, int c) { return out[(y * W + x) * 3 + c]; };
    EXPECT_EQ(px(320, 50, 0), 255);
    EXPECT_NEAR(px(320, 50, 1), 64 + 9 * 1, 2);
    EXPECT_EQ(px(320, 50, 2), 32);
}

TEST_F(Glow, TheEffectRestoresMatricesAndLeavesTheFrameState) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(33.0f, 1.0f, 2.0f, 3.0f);
    GLdouble modelview[16], projection[16], after[16];
    GLint modelview_depth, projection_depth, value;
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelview_depth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projection_depth);
    glViewport(10, 20, 300, 200);  // as if the window had been resized

    apply_glow(1, 3, 1, 0.3f);

    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_RECTANGLE_ARB));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    glGetIntegerv(GL_MATRIX_MODE, &value);
    EXPECT_EQ(value, GL_MODELVIEW);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &value);
    EXPECT_EQ(value, modelview_depth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &value);
    EXPECT_EQ(value, projection_depth);
    glGetDoublev(GL_MODELVIEW_MATRIX, after);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(after[i], modelview[i]);
    glGetDoublev(GL_PROJECTION_MATRIX, after);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(after[i], projection[i]);
    glGetIntegerv(GL_BLEND_SRC, &value);
    EXPECT_EQ(value, GL_ONE);
    glGetIntegerv(GL_BLEND_DST, &value);
    EXPECT_EQ(value, GL_ONE);
    glGetIntegerv(GL_TEXTURE_BINDING_RECTANGLE_ARB, &value);
    EXPECT_EQ(static_cast<unsigned>(value), glow_textures[0]);
}

}  // namespace
