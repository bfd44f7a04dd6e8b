// The shipped meshes: they load, their sizes suit the scene, every group is a closed surface
// wound outwards (so the computed normals point out), and the generator still writes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/mesh/mesh_test_util.h"

namespace {

std::string data_path(const char* name) {
    return std::string(GLOW_SOURCE_DIR) + "/data/3d/" + name;
}

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Six times the volume a group's triangles enclose; positive when they wind outwards.
double signed_volume(const ObjModel& m, const ObjGroup& g) {
    double sum = 0;
    for (uint32_t i = 0; i < g.triangle_count; ++i) {
        const int32_t* v = m.triangles[g.triangle_indices[i]].vertex_indices;
        const float *a = m.vertices[v[0]], *b = m.vertices[v[1]], *c = m.vertices[v[2]];
        sum += a[0] * (double(b[1]) * c[2] - double(b[2]) * c[1]) - a[1] * (double(b[0]) * c[2] - double(b[2]) * c[0]) +
               a[2] * (double(b[0]) * c[1] - double(b[1]) * c[0]);
    }
    return sum;
}

void check_mesh(const ObjModel& m, uint32_t min_triangles, uint32_t max_triangles) {
    EXPECT_GE(m.triangle_count, min_triangles);
    EXPECT_LE(m.triangle_count, max_triangles);
    EXPECT_GT(m.texcoord_count, 0u);
    for (uint32_t i = 0; i < m.triangle_count; ++i)
        for (int k = 0; k < 3; ++k) {
            ASSERT_TRUE(obj_index_valid(m.triangles[i].vertex_indices[k], m.vertex_count));
            ASSERT_TRUE(obj_index_valid(m.triangles[i].texcoord_indices[k], m.texcoord_count));
        }
    for (const ObjGroup* g = m.groups; g; g = g->next) {
        if (g->triangle_count) {
            EXPECT_GT(signed_volume(m, *g), 0) << "group " << g->name;
        }
    }
    for (uint32_t i = 1; i <= m.vertex_count; ++i) {
        const float* n = m.normals[i];
        ASSERT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-5f) << "normal " << i;
    }
}

TEST(MeshData, TomteAndTorusSuitTheScene) {
    Model tomte, torus;
    ASSERT_EQ(obj_load(&tomte, data_path("tomte.obj").c_str()), 1);
    ASSERT_EQ(obj_load(&torus, data_path("torus.obj").c_str()), 1);
    check_mesh(tomte, 2000, 20000);
    check_mesh(torus, 2000, 10000);
    EXPECT_GE(tomte.group_count, 6u);

    // Centred on the Y axis with its middle near y = 6.7 (where the camera looks), 18 to 24
    // units tall (2.7 to 3.6 in the scene), and on screen, where a unit is 1.5 times taller
    // than wide, between 1.2 and 2 times as tall as wide.
    float low = 1e9f, high = -1e9f, reach = 0;
    for (uint32_t i = 1; i <= tomte.vertex_count; ++i) {
        low = std::min(low, tomte.vertices[i][1]);
        high = std::max(high, tomte.vertices[i][1]);
        reach = std::max(reach, std::hypot(tomte.vertices[i][0], tomte.vertices[i][2]));
    }
    EXPECT_NEAR((low + high) / 2, 6.7f, 1.0f);
    EXPECT_GT(high - low, 18.0f);
    EXPECT_LT(high - low, 24.0f);
    float screen_aspect = (high - low) * 0.15f / (2 * reach * 0.1f);
    EXPECT_GT(screen_aspect, 1.2f);
    EXPECT_LT(screen_aspect, 2.0f);
    // The ring lies in the XZ plane around the tomte, clear of it once scaled 28 times.
    for (uint32_t i = 1; i <= torus.vertex_count; ++i) {
        const float* v = torus.vertices[i];
        float r = std::hypot(v[0], v[2]);
        ASSERT_GT(r * 28, reach) << "torus vertex " << i;
        ASSERT_LT(std::fabs(v[1]), 0.3f);
    }
}

TEST(MeshData, GeneratorWritesTheCommittedFiles) {
    const char* tmp = getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/gen_meshes_XXXXXX";
    ASSERT_NE(mkdtemp(&dir[0]), nullptr);
    ASSERT_EQ(system((std::string(GEN_MESHES_PATH) + " '" + dir + "'").c_str()), 0);
    for (const char* name : {"tomte.obj", "torus.obj"}) {
        std::string fresh = read_all(dir + "/" + name);
        EXPECT_EQ(fresh, read_all(data_path(name))) << name << " differs from what gen_meshes writes";
        EXPECT_LT(fresh.size(), 2u << 20);
        unlink((dir + "/" + name).c_str());
    }
    rmdir(dir.c_str());
}

}  // namespace
