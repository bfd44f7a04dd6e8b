// The demo's start-up: the GL state every frame relies on, the three textures, the meshes, the
// font lists, the glow textures and the first track; and a start-up without any data.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "audio/music.h"
#include "demo/demo.h"
#include "demo/font.h"
#include "demo/glow.h"
#include "platform/gl.h"
#include "tests/audio/fake_sound.h"
#include "tests/demo/demo_fixture.h"

namespace {

GLint get_int(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

TEST_F(DemoGL, StartUpSetsTheFrameStateAndLoadsEverything) {
    EXPECT_EQ(demo_init(), 1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(get_int(GL_SHADE_MODEL), GL_SMOOTH);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0], 0.0f);
    EXPECT_EQ(clear[1], 0.0f);
    EXPECT_EQ(clear[2], 0.0f);
    EXPECT_EQ(clear[3], 0.5f);
    GLfloat depth_clear;
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &depth_clear);
    EXPECT_EQ(depth_clear, 1.0f);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(get_int(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_EQ(get_int(GL_PERSPECTIVE_CORRECTION_HINT), GL_NICEST);
    for (GLenum coord : {GL_S, GL_T}) {
        GLint mode = 0;
        glGetTexGeniv(coord, GL_TEXTURE_GEN_MODE, &mode);
        EXPECT_EQ(mode, GL_SPHERE_MAP);
    }
    // Generation stays off until the scene turns it on; nothing else is switched on.
    for (GLenum cap : {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_CULL_FACE, GL_NORMALIZE,
                       GL_COLOR_MATERIAL, GL_LIGHTING, GL_BLEND})
        EXPECT_FALSE(glIsEnabled(cap)) << std::hex << cap;

    // Three textures, in order, each with its wrap and filters.
    EXPECT_NE(objtex_texture, 0u);
    EXPECT_NE(font_texture, 0u);
    EXPECT_NE(metal_texture, 0u);
    EXPECT_LT(objtex_texture, font_texture);
    EXPECT_LT(font_texture, metal_texture);
    for (unsigned int texture : {objtex_texture, font_texture, metal_texture}) {
        glBindTexture(GL_TEXTURE_2D, texture);
        GLint value;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
        EXPECT_EQ(value, GL_REPEAT);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
        EXPECT_EQ(value, GL_REPEAT);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
        EXPECT_EQ(value, GL_NEAREST);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
        EXPECT_EQ(value, GL_NEAREST);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &value);
        EXPECT_GT(value, 0) << "mipmap chain";
    }
    // The font sheet keeps its alpha; the last load's size is in the info record.
    glBindTexture(GL_TEXTURE_2D, font_texture);
    GLint alpha_bits = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alpha_bits);
    EXPECT_GT(alpha_bits, 0);
    GLint metal_width = 0;
    glBindTexture(GL_TEXTURE_2D, metal_texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &metal_width);
    EXPECT_EQ(texture_info.Width, static_cast<unsigned>(metal_width));

    EXPECT_GT(torus_model.triangle_count, 0u);
    EXPECT_GT(tomte_model.triangle_count, 0u);
    EXPECT_TRUE(glIsList(font_list_base));
    EXPECT_TRUE(glIsList(font_list_base + 255));
    for (unsigned int texture : glow_textures) {
        EXPECT_TRUE(glIsTexture(texture));
        glBindTexture(GL_TEXTURE_RECTANGLE_ARB, texture);
        GLint filter;
        glGetTexParameteriv(GL_TEXTURE_RECTANGLE_ARB, GL_TEXTURE_MIN_FILTER, &filter);
        EXPECT_EQ(filter, GL_LINEAR);
        glGetTexParameteriv(GL_TEXTURE_RECTANGLE_ARB, GL_TEXTURE_MAG_FILTER, &filter);
        EXPECT_EQ(filter, GL_LINEAR);
    }

    // The music starts last: the first track, from memory, unpaused.
    ASSERT_EQ(fake_sound_calls("stream_open").size(), 1u);
    EXPECT_EQ(fake_sound_calls("set_paused").size(), 1u);
    EXPECT_NE(music_stream, nullptr);
    EXPECT_EQ(fake_sound_calls().front().op, "set_output");
}

TEST_F(DemoGL, StartUpWithoutDataRunsUntexturedAndSilent) {
    char dir[] = "/tmp/glow-empty-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    ASSERT_EQ(chdir(dir), 0);
    EXPECT_EQ(demo_init(), 1);
    EXPECT_EQ(objtex_texture, 0u);
    EXPECT_EQ(font_texture, 0u);
    EXPECT_EQ(metal_texture, 0u);
    EXPECT_EQ(music_stream, nullptr);
    EXPECT_TRUE(glIsList(font_list_base));
    // Frames still run: the clock reads 0 and the picture is drawn untextured.
    EXPECT_EQ(demo_frame(), 1);
    EXPECT_EQ(music_clock, 0.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    rmdir(dir);
}

}  // namespace
