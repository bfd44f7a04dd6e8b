// The font and the scroller: where the message starts for a clock, that it is red and on the
// bottom bar only, the character sets, and empty texts.
#include <cstring>

#include "audio/music.h"
#include "demo/demo.h"
#include "demo/font.h"
#include "platform/gl.h"
#include "tests/demo/demo_fixture.h"

namespace {

class Scroller : public DemoGL {
protected:
    void SetUp() override {
        DemoGL::SetUp();
        demo_init();
    }
    // A frame's last step alone, on black: the picture it leaves.
    std::vector<uint8_t> scroll_at(float clock) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        music_clock = clock;
        draw_scroller();
        return pixels();
    }
    std::vector<uint8_t> print_at(int x, const char* text, int charset) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glColor3f(1.0f, 0.0f, 0.0f);
        print_text(3.0f, x, 10, text, charset);
        glColor3f(1.0f, 1.0f, 1.0f);
        return pixels();
    }
    static bool any_lit(const std::vector<uint8_t>& rgba) {
        for (size_t i = 0; i < rgba.size(); i += 4)
            if (rgba[i] || rgba[i + 1] || rgba[i + 2]) return true;
        return false;
    }
    // A font whose every glyph is a solid 16x16 cell, so a glyph's cell shows exactly.
    void use_solid_font() {
        GLuint texture;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        std::vector<uint8_t> white(16 * 16 * 4, 255);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 16, 16, 0, GL_RGBA, GL_UNSIGNED_BYTE, white.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        font_texture = texture;
    }
};

TEST_F(Scroller, TheMessageIsProseOfTheAllowedCharacters) {
    // The printer stops at the first NUL: all of the message must come before it.
    EXPECT_EQ(strlen(scroller_message), sizeof scroller_message - 1);
    for (const char* c = scroller_message; *c; ++c)
        EXPECT_TRUE(strchr(" !,-.abcdefghijklmnopqrstuvwxyz", *c)) << "byte " << int(*c);
}

TEST_F(Scroller, TheFirstGlyphStartsWhereTheClockSays) {
    EXPECT_FALSE(any_lit(scroll_at(0.0f)));   // x 700: beyond the right edge
    EXPECT_FALSE(any_lit(scroll_at(419.0f)));  // x 640
    use_solid_font();
    auto at_420 = scroll_at(420.0f);           // x 639: the cell's first column, rows 10-57
    for (int y = 0; y < 480; ++y) {
        bool inside = y >= 10 && y < 58;
        EXPECT_EQ(pixel_at(at_420, 640, 639, y).r, inside ? 255 : 0) << "row " << y;
        EXPECT_EQ(pixel_at(at_420, 640, 638, y).r, 0) << "row " << y;
    }
    // 3500 ms gives 199, not 200 (the factor is slightly above 1/7); the first cell's left
    // edge shows where the message starts.
    auto at_3500 = scroll_at(3500.0f);
    EXPECT_EQ(pixel_at(at_3500, 640, 198, 30).r, 0);
    EXPECT_EQ(pixel_at(at_3500, 640, 199, 30).r, 255);
}

TEST_F(Scroller, PositionsMatchTheTextPrintedThere) {
    // With the real glyphs: the whole picture equals the text printed at the expected x.
    EXPECT_EQ(scroll_at(3500.0f), print_at(199, scroller_message, 1));
    EXPECT_NE(scroll_at(3500.0f), print_at(200, scroller_message, 1));
    EXPECT_EQ(scroll_at(7000.0f), print_at(-300, scroller_message, 1));  // toward zero
    EXPECT_NE(scroll_at(7000.0f), print_at(-301, scroller_message, 1));
    EXPECT_EQ(scroll_at(1000.0f), print_at(557, scroller_message, 1));
    // Long after the end of the message the bar is empty.
    EXPECT_FALSE(any_lit(scroll_at(182000.0f)));
    EXPECT_TRUE(any_lit(scroll_at(181000.0f)));
}

TEST_F(Scroller, TheTextIsRedAndStaysInTheBottomBar) {
    for (float clock : {1000.0f, 3500.0f, 50000.0f, 120000.0f}) {
        auto picture = scroll_at(clock);
        bool lit = false;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                Rgba p = pixel_at(picture, 640, x, y);
                EXPECT_EQ(p.g | p.b, 0);
                if (p.r) {
                    lit = true;
                    EXPECT_GE(y, 10);  // rows counted from the bottom: inside the 60-row bar
                    EXPECT_LT(y, 58);
                }
            }
        EXPECT_TRUE(lit) << clock;
    }
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);  // white again for the next frame
    EXPECT_EQ(colour[0] + colour[1] + colour[2], 3.0f);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(Scroller, CharacterSetsAndEmptyTexts) {
    const char text[] = "snow, glow!";
    auto set1 = print_at(100, text, 1);
    EXPECT_TRUE(any_lit(set1));
    EXPECT_EQ(print_at(100, text, 2), set1);   // 2 and above draw as 1
    EXPECT_EQ(print_at(100, text, 77), set1);
    EXPECT_NE(print_at(100, text, 0), set1);   // the other set looks different
    EXPECT_FALSE(any_lit(print_at(100, "", 1)));
    EXPECT_FALSE(any_lit(print_at(100, "   ", 1)));  // spaces are empty cells
    // A byte with no glyph in set 1 is skipped without moving the pen.
    const char with_gap[] = {'a', static_cast<char>(200), 'b', 0};
    EXPECT_EQ(print_at(100, with_gap, 1), print_at(100, "ab", 1));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
