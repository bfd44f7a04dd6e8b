// Smooth normals (winding, area weighting, sharing across groups, empty sums) and what obj_draw
// sends to OpenGL, read back through feedback mode on the offscreen context.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/gl.h"
#include "tests/mesh/mesh_test_util.h"
#include "platform/offscreen/offscreen_gl.h"

namespace {

void expect_normal(const ObjModel& m, int slot, float x, float y, float z) {
    SCOPED_TRACE("normal " + std::to_string(slot));
    EXPECT_FLOAT_EQ(m.normals[slot][0], x);
    EXPECT_FLOAT_EQ(m.normals[slot][1], y);
    EXPECT_FLOAT_EQ(m.normals[slot][2], z);
}

TEST(ObjNormals, WindingAreaWeightingAndSharing) {
    Model m;
    ASSERT_EQ(load_text(&m, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"), 1);
    for (int i = 1; i <= 3; ++i) expect_normal(m, i, 0, 0, 1);
    ASSERT_EQ(load_text(&m, "v 0 0 0\nv 0 1 0\nv 1 0 0\nf 1 2 3\n"), 1);
    for (int i = 1; i <= 3; ++i) expect_normal(m, i, 0, 0, -1);

    // A unit triangle facing +z and one three times its area facing +x share the edge 1-3, in
    // two groups: the shared vertices lean 3:1 towards the larger one.
    ASSERT_EQ(load_text(&m, "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 3\nf 1 2 3\ng side\nf 1 3 4\n"), 1);
    const float a = static_cast<float>(3 / std::sqrt(10.0)), b = static_cast<float>(1 / std::sqrt(10.0));
    expect_normal(m, 1, a, 0, b);
    expect_normal(m, 3, a, 0, b);
    expect_normal(m, 2, 0, 0, 1);
    expect_normal(m, 4, 1, 0, 0);
}

TEST(ObjNormals, SumsOfZeroLengthStayZero) {
    // Slot 0, an unused vertex, a degenerate triangle's vertices, two faces that cancel.
    Model m;
    ASSERT_EQ(load_text(&m, "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 0 1 0\nv 5 5 5\nf 1 2 3\nf 1 2 4\nf 1 4 2\n"), 1);
    for (int slot : {0, 1, 2, 3, 4, 5}) expect_normal(m, slot, 0, 0, 0);
}

// What one vertex of a feedback buffer holds in GL_3D_COLOR_TEXTURE mode.
struct FedVertex {
    float x, y, z, s, t, r;
};

// Draws the model in feedback mode; each triangle is three vertices in model coordinates.
std::vector<FedVertex> feedback(const ObjModel& m) {
    std::vector<GLfloat> buffer(1 << 16);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    obj_draw(&m);
    GLint used = glRenderMode(GL_RENDER);
    std::vector<FedVertex> vertices;
    for (GLint i = 0; i < used;) {
        EXPECT_EQ(buffer[i], GL_POLYGON_TOKEN);
        EXPECT_EQ(buffer[i + 1], 3.0f);
        i += 2;
        for (int k = 0; k < 3; ++k, i += 11) {
            const GLfloat* v = &buffer[i];  // window x, y, z, colour RGBA, texture STRQ
            vertices.push_back({v[0] / 320 - 1, v[1] / 240 - 1, v[2] * 2 - 1, v[7], v[8], v[9]});
        }
    }
    return vertices;
}

TEST(ObjDraw, SendsGroupsInListOrderWithTheirAttributes) {
    OffscreenGL gl(640, 480, OffscreenRenderer::Llvmpipe);
    ASSERT_TRUE(gl.ok()) << gl.error();
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);

    Model m;
    // Triangle 0 in "default"; in group a, triangle 1 with texture numbers out of range and
    // triangle 2 with a vertex number out of range; group b empty; in group c, a face without
    // texture numbers. The list runs c, b, a, default.
    ASSERT_EQ(load_text(&m, "v 0 0 0\nv 0.5 0 0\nv 0 0.5 0\nv 0 0 0.5\nvt 0.25 0.75\nvt 0.5 0.5\n"
                            "f 1/1 2/2 3/1\ng a\nf 1/2 3/7 4/-1\nf 1/1 2/1 6/1\ng b\ng c\nf 2 3 4\n"),
              1);
    std::vector<FedVertex> sent = feedback(m);
    ASSERT_EQ(sent.size(), 9u);
    const int order[9] = {2, 3, 4, 1, 3, 4, 1, 2, 3};
    const float s[9] = {0, 0, 0, 0.5f, 0, 0, 0.25f, 0.5f, 0.25f}, t[9] = {0, 0, 0, 0.5f, 0, 0, 0.75f, 0.5f, 0.75f};
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE("corner " + std::to_string(i));
        EXPECT_NEAR(sent[i].x, m.vertices[order[i]][0], 1e-6);
        EXPECT_NEAR(sent[i].y, m.vertices[order[i]][1], 1e-6);
        EXPECT_NEAR(sent[i].z, m.vertices[order[i]][2], 1e-6);
        EXPECT_EQ(sent[i].s, s[i]);
        EXPECT_EQ(sent[i].t, t[i]);
    }

    // The normals, made visible as texture coordinates by normal-map generation (which needs
    // a complete texture on the unit).
    GLuint texture;
    const GLubyte texel[4] = {255, 255, 255, 255};
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    glEnable(GL_TEXTURE_2D);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_NORMAL_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_NORMAL_MAP);
    glTexGeni(GL_R, GL_TEXTURE_GEN_MODE, GL_NORMAL_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glEnable(GL_TEXTURE_GEN_R);
    sent = feedback(m);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_R);
    ASSERT_EQ(sent.size(), 9u);
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE("normal of corner " + std::to_string(i));
        EXPECT_NEAR(sent[i].s, m.normals[order[i]][0], 1e-6);
        EXPECT_NEAR(sent[i].t, m.normals[order[i]][1], 1e-6);
        EXPECT_NEAR(sent[i].r, m.normals[order[i]][2], 1e-6);
    }
    EXPECT_NEAR(m.normals[1][0], std::sqrt(0.5), 1e-6);

    // Without "vt" lines no texture coordinate is sent: the current one stays.
    ASSERT_EQ(load_text(&m, "v 0 0 0\nv 0.5 0 0\nv 0 0.5 0\nf 1 2 3\n"), 1);
    glTexCoord2f(0.125f, 0.375f);
    sent = feedback(m);
    ASSERT_EQ(sent.size(), 3u);
    for (const FedVertex& v : sent) EXPECT_EQ(v.s, 0.125f);

    // A record that was never loaded draws nothing.
    Model empty;
    EXPECT_TRUE(feedback(empty).empty());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
