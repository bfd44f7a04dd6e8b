// The loader's rules on small files: groups and their order, faces and their forms, lines it
// reads or skips, empty and missing files, and hostile files that once read or wrote outside
// the arrays. Also that loading again into the same record releases what it held.
#include <gtest/gtest.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <string>
#include <vector>

#include "tests/mesh/mesh_test_util.h"

namespace {

// A triangle as "v1 v2 v3 / t1 t2 t3".
std::string triangle(const ObjModel& m, uint32_t i) {
    const ObjTriangle& t = m.triangles[i];
    return std::to_string(t.vertex_indices[0]) + ' ' + std::to_string(t.vertex_indices[1]) + ' ' +
           std::to_string(t.vertex_indices[2]) + " / " + std::to_string(t.texcoord_indices[0]) + ' ' +
           std::to_string(t.texcoord_indices[1]) + ' ' + std::to_string(t.texcoord_indices[2]);
}

std::vector<std::string> triangles(const ObjModel& m) {
    std::vector<std::string> all;
    for (uint32_t i = 0; i < m.triangle_count; ++i) all.push_back(triangle(m, i));
    return all;
}

// The group list from its head, as "name:t,t,..".
std::vector<std::string> groups(const ObjModel& m) {
    std::vector<std::string> all;
    for (const ObjGroup* g = m.groups; g; g = g->next) {
        std::string text = std::string(g->name) + ":";
        for (uint32_t i = 0; i < g->triangle_count; ++i) text += (i ? "," : "") + std::to_string(g->triangle_indices[i]);
        all.push_back(text);
    }
    return all;
}

using Strings = std::vector<std::string>;

TEST(ObjLoad, EmptyAndMissingFiles) {
    Model model;
    ASSERT_EQ(load_text(&model, ""), 1);
    EXPECT_EQ(model.vertex_count + model.normal_count + model.texcoord_count + model.triangle_count, 0u);
    EXPECT_EQ(model.texcoords, nullptr);
    EXPECT_EQ(groups(model), Strings({"default:"}));
    EXPECT_EQ(model.group_count, 1u);

    // A failed open leaves a loaded record exactly as it was.
    ASSERT_EQ(load_text(&model, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"), 1);
    ObjModel before = model;
    EXPECT_EQ(obj_load(&model, "/nonexistent/dir/model.obj"), 0);
    EXPECT_EQ(memcmp(&before, &model, sizeof model), 0);

    Model never_loaded;
    EXPECT_EQ(obj_load(&never_loaded, "/nonexistent/dir/model.obj"), 0);
    EXPECT_EQ(never_loaded.groups, nullptr);
}

TEST(ObjLoad, GroupListOrderAndMembership) {
    Model model;
    ASSERT_EQ(load_text(&model, "f 1 2 3\ng a\nf 4 5 6\ng b\nf 7 8 9\ng a\nf 1 5 9\n"), 1);
    EXPECT_EQ(groups(model), Strings({"b:2", "a:1,3", "default:0"}));
    EXPECT_EQ(model.group_count, 3u);
    EXPECT_EQ(obj_find_group(&model, "a"), model.groups->next);
    EXPECT_EQ(obj_find_group(&model, "A"), nullptr);

    // "default" named again, the second word ignored, a name that is only a line end, and a
    // group line at the very end of the file.
    ASSERT_EQ(load_text(&model, "g x y\nf 1 2 3\ng default\nf 1 2 3\ng\nf 1 2 3\ng \t\nf 1 2 3\ng x\nf 1 2 3\ng"),
              1);
    EXPECT_EQ(groups(model), Strings({":", " \t\n:3", "\n:2", "x:0,4", "default:1"}));

    // A file without group lines puts everything in "default".
    ASSERT_EQ(load_text(&model, "f 1 2 3 4\n"), 1);
    EXPECT_EQ(groups(model), Strings({"default:0,1"}));

    // obj_find_or_add_group puts a new group at the head and counts it.
    ObjGroup* added = obj_find_or_add_group(&model, "new");
    EXPECT_EQ(added, model.groups);
    EXPECT_EQ(obj_find_or_add_group(&model, "new"), added);
    EXPECT_EQ(model.group_count, 2u);
}

TEST(ObjLoad, FacesFansAndForms) {
    Model model;
    ASSERT_EQ(load_text(&model, "f 1 2 3 4\nf 1 2 3 4 5\n"), 1);
    EXPECT_EQ(triangles(model), Strings({"1 2 3 / 0 0 0", "1 3 4 / 0 0 0", "1 2 3 / 0 0 0", "1 3 4 / 0 0 0",
                                         "1 4 5 / 0 0 0"}));

    ASSERT_EQ(load_text(&model, "f 1/4 2/5 3/6\nf 1/4/7 2/5/8 3/6/9\nf 1//7 2//8 3//9\n"), 1);
    EXPECT_EQ(triangles(model), Strings({"1 2 3 / 4 5 6", "1 2 3 / 4 5 6", "1 2 3 / 0 0 0"}));

    // Two corners: the third repeats the second. A face goes on across the line end while the
    // next token is a number.
    ASSERT_EQ(load_text(&model, "f 1 2\nf 3 4 5\nf 1 2 3\n4\n"), 1);
    EXPECT_EQ(triangles(model), Strings({"1 2 2 / 0 0 0", "3 4 5 / 0 0 0", "1 2 3 / 0 0 0", "1 3 4 / 0 0 0"}));

    // The first corner decides the form; a later corner the form cannot take ends the face, and
    // one it can partly take keeps the numbers of the corner before it.
    ASSERT_EQ(load_text(&model, "f 1/1 2/2 3/3 4 5/5\nf 6/6/6 7/7 8/8/8\n"), 1);
    EXPECT_EQ(triangles(model), Strings({"1 2 3 / 1 2 3", "1 3 4 / 1 3 3", "1 4 5 / 1 3 5", "6 7 8 / 6 7 8"}));
}

TEST(ObjLoad, LinesReadAndLinesSkipped) {
    Model model;
    std::string comment = "# " + std::string(126, 'c') + " f 1 2 3 g tail\n";
    ASSERT_EQ(load_text(&model, "v 1 2 3 4\nv 5 6 7\nvp 0.5 0.5\nvt 0.25 0.75\n" + comment), 1);
    EXPECT_EQ(model.vertex_count, 2u);
    EXPECT_EQ(model.texcoord_count, 1u);
    EXPECT_EQ(model.vertices[1][2], 3.0f);
    EXPECT_EQ(model.vertices[2][0], 5.0f);
    EXPECT_EQ(model.texcoords[1][1], 0.75f);
    EXPECT_EQ(model.texcoords[0][0], 0.0f);
    // The comment's rest beyond 127 characters is read as tokens: a face and a group line.
    EXPECT_EQ(triangles(model), Strings({"1 2 3 / 0 0 0"}));
    EXPECT_EQ(groups(model), Strings({"tail:", "default:0"}));

    // "vn" lines are counted, but the normals are the computed ones.
    const std::string quad = "v 0 0 0\nv 2 0 0\nv 2 2 0\nv 0 2 0\nf 1 2 3 4\n";
    Model with_vn;
    ASSERT_EQ(load_text(&with_vn, "vn 1 0 0\nvn 0 1 0\nvn 5 5 5\nvn 1 1 1\n" + quad), 1);
    ASSERT_EQ(load_text(&model, quad), 1);
    EXPECT_EQ(with_vn.normal_count, 4u);
    EXPECT_EQ(memcmp(with_vn.normals, model.normals, 5 * sizeof *model.normals), 0);
    EXPECT_EQ(with_vn.normals[4][2], 1.0f);
}

// Files that reach outside the arrays if read naively.
TEST(ObjLoad, HostileFilesStayInsideTheArrays) {
    Model model;
    // Tokens and lines longer than 127 characters are read in pieces of 127: a comment token,
    // then the rest of its line as far as 127 characters reach, then a vertex line.
    ASSERT_EQ(load_text(&model, std::string(127, '#') + "f" + std::string(126, 'x') + "v 1 2 3\n"), 1);
    EXPECT_EQ(model.vertex_count, 1u);
    EXPECT_EQ(model.triangle_count, 0u);
    EXPECT_EQ(model.vertices[1][2], 3.0f);
    // 10000 "f"s: faces of 127 whose first corner is the next 127, with vertex number 0.
    ASSERT_EQ(load_text(&model, std::string(10000, 'f')), 1);
    EXPECT_EQ(model.triangle_count, 40u);
    EXPECT_EQ(triangle(model, 39), "0 0 0 / 0 0 0");

    // Vertex numbers out of range are kept as read; texture-coordinate numbers too.
    ASSERT_EQ(load_text(&model, "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 1 1\nf 1/1 2/9 3/-4\nf 0 1 2\nf -1 2 3\nf 1 2 4\n"
                                "f 2147483647 1 2\n"),
              1);
    EXPECT_EQ(triangles(model), Strings({"1 2 3 / 1 9 -4", "0 1 2 / 0 0 0", "-1 2 3 / 0 0 0", "1 2 4 / 0 0 0",
                                         "2147483647 1 2 / 0 0 0"}));
    EXPECT_EQ(model.normals[1][2], 1.0f);  // only the valid triangle counts

    // More "vn" lines than vertex slots; and "v"/"vt" data and faces that only the filling
    // pass sees, after the numbers of a line the counting pass skipped whole.
    ASSERT_EQ(load_text(&model, "v 0 0 0\nvn 1 1 1\nvn 2 2 2\nvn 3 3 3\nvn 4 4 4\n"
                                "v 1 0 0 v 9 9 9 vt 1 1 f 1 2 3 f 1 2 3 4\nv 0 1 0\nvt 0.5 0.5 vt 2 2\nf 1 2 3\n"),
              1);
    EXPECT_EQ(model.vertex_count, 3u);
    EXPECT_EQ(model.texcoord_count, 1u);
    EXPECT_EQ(model.triangle_count, 1u);
    EXPECT_EQ(triangles(model), Strings({"1 2 3 / 0 0 0"}));  // the first face met; the rest dropped
    EXPECT_EQ(groups(model), Strings({"default:0"}));
    EXPECT_EQ(model.vertices[3][0], 9.0f);  // the fourth "v" met was dropped
    EXPECT_EQ(model.texcoords[1][0], 1.0f);

    // A group only the filling pass meets leaves the current group as it was.
    ASSERT_EQ(load_text(&model, "v 1 2 3 g hidden\ng a\nf 1 1 1\n"), 1);
    EXPECT_EQ(groups(model), Strings({"a:0", "default:"}));

    // NULs, carriage returns and a missing last line end.
    const char with_nuls[] = "v\0 1 2 3\r\nf\0x 1 2 3\r\ng a\0b\r\nf 1 1 1";
    ASSERT_EQ(load_text(&model, std::string(with_nuls, sizeof with_nuls - 1)), 1);
    EXPECT_EQ(model.vertex_count, 1u);
    EXPECT_EQ(groups(model), Strings({"a:1", "default:0"}));
}

#if defined(__GLIBC__)  // counts the heap with glibc's allocator statistics
TEST(ObjLoad, LoadingAgainReleasesTheEarlierLoad) {
    std::string text = "g a\ng b\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\n";
    for (int i = 0; i < 200; ++i) text += "f 1/1 2/1 3/1\n";
    TempFile file(text);
    Model model;
    // The allocator's per-thread caches settle after a few rounds; a leak grows without end.
    for (int i = 0; i < 50; ++i) ASSERT_EQ(obj_load(&model, file.path()), 1);
    size_t in_use = mallinfo2().uordblks;
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(obj_load(&model, file.path()), 1);
    EXPECT_LT(mallinfo2().uordblks, in_use + 4096);
    EXPECT_EQ(model.group_count, 3u);
    EXPECT_EQ(model.groups->triangle_count, 200u);
}
#endif

}  // namespace
