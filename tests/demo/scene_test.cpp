// The camera and the meshes' transform: the modelview the scene leaves is the look-at from the
// clock's eye position, the base scale, the spin, the turn-over and the torus scale.
#include "audio/music.h"
#include "demo/demo.h"
#include "demo/scene.h"
#include "platform/gl.h"
#include "tests/demo/demo_fixture.h"

namespace {

void expect_matrix_near(const GLdouble* actual, const GLdouble* expected, double tolerance) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << "element " << i;
}

// The modelview the scene should leave, built from the eye position and spin given.
void expected_modelview(double ex, double ey, double ez, float spin, GLdouble* out) {
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    gluLookAt(ex, ey, ez, 0.0, -1.0, 0.0, 0.0, -1.0, 0.0);
    glScalef(0.1f, 0.15f, 0.1f);
    glRotatef(spin, 0.0f, 1.0f, 0.0f);
    glRotatef(180.0f, 1.0f, 0.0f, 0.0f);
    glScalef(28.0f, 28.0f, 28.0f);
    glGetDoublev(GL_MODELVIEW_MATRIX, out);
    glPopMatrix();
}

TEST_F(DemoGL, TheCameraFollowsTheClock) {
    demo_init();
    GLdouble actual[16], expected[16];

    music_clock = 0.0f;  // eye (0, -3, 7), no spin
    draw_model_scene();
    glGetDoublev(GL_MODELVIEW_MATRIX, actual);
    expected_modelview(0.0, -3.0, 7.0, 0.0f, expected);
    expect_matrix_near(actual, expected, 1e-6);

    // 1800 ms: a quarter of the x path, eye x and z both far from 0, a 30 degree spin.
    music_clock = 1800.0f;
    draw_model_scene();
    glGetDoublev(GL_MODELVIEW_MATRIX, actual);
    expected_modelview(17.99999999, -4.8660148, -3.4998409, 30.0f, expected);
    expect_matrix_near(actual, expected, 1e-4);

    // The scene leaves the torus's texture bound and generation off again.
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<unsigned>(bound), metal_texture);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(DemoGL, TheSceneDependsOnlyOnTheClock) {
    demo_init();
    auto draw_at = [&](float clock) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        music_clock = clock;
        draw_model_scene();
        return pixels();
    };
    auto first = draw_at(5000.0f);
    auto other = draw_at(9000.0f);
    auto again = draw_at(5000.0f);
    EXPECT_EQ(first, again);
    EXPECT_NE(first, other);
    // Something of the meshes is on screen.
    size_t lit = 0;
    for (size_t i = 0; i < first.size(); i += 4) lit += first[i] + first[i + 1] + first[i + 2] > 0;
    EXPECT_GT(lit, 640u * 480u / 50u);
}

}  // namespace
