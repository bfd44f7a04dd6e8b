// What fuzzing obj_load found: files on which the filling pass meets a different set of faces
// than the counting pass left triangles in no group. Every committed input is replayed too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fuzz_regressions/replay.h"
#include "tests/mesh/mesh_test_util.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

// The group list from its head, as "name:t,t,..".
std::vector<std::string> groups(const ObjModel& m) {
    std::vector<std::string> all;
    for (const ObjGroup* g = m.groups; g; g = g->next) {
        std::string text = std::string(g->name).substr(0, 8) + ":";
        for (uint32_t i = 0; i < g->triangle_count; ++i)
            text += (i ? "," : "") + std::to_string(g->triangle_indices[i]);
        all.push_back(text);
    }
    return all;
}

using Strings = std::vector<std::string>;

TEST(ObjLoadRegressions, EveryCommittedInputKeepsTheLoaderInvariants) {
    LLVMFuzzerInitialize(nullptr, nullptr);
    EXPECT_GE(replay_all("obj_load"), 6u);
}

// "v 1 0 0 v 9 9 9 f 1 2 3" is one vertex line to the counting pass and a vertex plus a face to
// the filling pass. That face fell into the full group "default" and took triangle number 0,
// so the file's last face, in group a, found no number left: triangle 0 stood in no group and
// group a stayed empty.
TEST(ObjLoadRegressions, AFaceOnlyTheFillingPassSeesTakesNoTriangleNumber) {
    Model model;
    ASSERT_EQ(obj_load(&model, regression_input("obj_load", "group_full_before_counted_faces.obj").c_str()), 1);
    ASSERT_EQ(model.triangle_count, 4u);
    EXPECT_EQ(groups(model), Strings({"a:3", "nnnnnnnn:0,1,2", "default:"}));
    const ObjTriangle& last = model.triangles[3];
    EXPECT_EQ(last.vertex_indices[0], 1);
    EXPECT_EQ(last.vertex_indices[1], 1);
    EXPECT_EQ(last.vertex_indices[2], 1);
}

// The counting pass skips 127 characters after "v" and meets "f 1 2 3" as tokens; the filling
// pass skips 127 characters after the "#" that follows the numbers, which covers the face. The
// counted triangle was never filled, and stood as (0, 0, 0) in no group.
TEST(ObjLoadRegressions, AFaceOnlyTheCountingPassSeesLeavesNoEmptyTriangle) {
    Model model;
    ASSERT_EQ(obj_load(&model, regression_input("obj_load", "face_only_counting_pass_sees.obj").c_str()), 1);
    EXPECT_EQ(model.vertex_count, 1u);
    EXPECT_EQ(model.triangle_count, 0u);
    EXPECT_EQ(groups(model), Strings({"default:"}));
}

}  // namespace
