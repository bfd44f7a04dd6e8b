// Whole frames with the shipped data: the bars are black, the scene lies between them, the same
// clock gives the same pixels, and the frame leaves the state the next one starts from.
#include "audio/music.h"
#include "demo/demo.h"
#include "platform/gl.h"
#include "tests/demo/demo_fixture.h"

namespace {

class Frame : public DemoGL {
protected:
    void SetUp() override {
        DemoGL::SetUp();
        demo_init();
    }
    std::vector<uint8_t> frame_at(int clock) {
        set_clock(clock);
        EXPECT_EQ(demo_frame(), 1);
        EXPECT_EQ(music_clock, static_cast<float>(clock));
        return pixels();
    }
};

bool row_black(const std::vector<uint8_t>& rgba, int row) {  // row counted from the top
    int y = 479 - row;
    for (int x = 0; x < 640; ++x) {
        Rgba p = pixel_at(rgba, 640, x, y);
        if (p.r || p.g || p.b) return false;
    }
    return true;
}

TEST_F(Frame, BarsAreBlackAndTheSceneLiesBetweenThem) {
    for (int clock : {0, 2500, 6000, 11000}) {
        auto picture = frame_at(clock);
        for (int row = 0; row < 60; ++row) EXPECT_TRUE(row_black(picture, row)) << row;
        if (clock < 420) {  // the scroller has not reached the screen yet
            for (int row = 420; row < 480; ++row) EXPECT_TRUE(row_black(picture, row)) << row;
        }
        int lit_rows = 0;
        for (int row = 60; row < 420; ++row) lit_rows += !row_black(picture, row);
        EXPECT_GT(lit_rows, 60) << clock;
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Frame, TheSameClockGivesTheSamePixels) {
    auto first = frame_at(4321);
    auto other = frame_at(8000);
    auto again = frame_at(4321);
    EXPECT_EQ(first, again);
    EXPECT_NE(first, other);
}

TEST_F(Frame, AFrameLeavesTheStateTheNextOneStartsFrom) {
    frame_at(3000);
    GLint mode;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[1], 1.0f);
    EXPECT_EQ(colour[2], 1.0f);
    GLint depth;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
}

TEST_F(Frame, LightingDimsThePictureToTheDefaultAmbient) {
    auto unlit = frame_at(5000);
    glEnable(GL_LIGHTING);
    auto lit = frame_at(5000);
    glDisable(GL_LIGHTING);
    EXPECT_NE(unlit, lit);
    long unlit_sum = 0, lit_sum = 0;
    for (size_t i = 0; i < unlit.size(); i += 4) {
        unlit_sum += unlit[i] + unlit[i + 1] + unlit[i + 2];
        lit_sum += lit[i] + lit[i + 1] + lit[i + 2];
    }
    EXPECT_LT(lit_sum, unlit_sum / 3);
}

}  // namespace
