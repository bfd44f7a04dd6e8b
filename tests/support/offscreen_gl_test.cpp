#include "platform/offscreen/offscreen_gl.h"

#include <gtest/gtest.h>

#include "platform/gl.h"

TEST(OffscreenGL, ClearsAndCopiesTheBackBuffer) {
    OffscreenGL gl(640, 480, OffscreenRenderer::Llvmpipe);
    ASSERT_TRUE(gl.ok()) << gl.error();
    glClearColor(0.3f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    auto pixels = gl.read_rgba(10, 10, 1, 1);
    EXPECT_EQ(pixels[0], 76);  // nearbyint(0.3 * 255)
    EXPECT_EQ(pixels[1], 0);
    EXPECT_EQ(pixels[2], 255);

    // A copy of the back buffer into a rectangle texture and back out again.
    GLuint texture;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_RECTANGLE_ARB, texture);
    glCopyTexImage2D(GL_TEXTURE_RECTANGLE_ARB, 0, GL_RGB, 0, 0, 640, 480, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
