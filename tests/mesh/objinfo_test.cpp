// The objinfo tool's exact output on a small file, and on a file that cannot be opened.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tests/mesh/mesh_test_util.h"

namespace {

// Runs objinfo on a path; returns its standard output and sets its exit status.
std::string run_objinfo(const std::string& path, int* status) {
    std::string command = std::string(OBJINFO_PATH) + " '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while (pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int raw = pipe ? pclose(pipe) : -1;
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

TEST(ObjInfo, PrintsTheRecord) {
    TempFile file(
        "# a quad in two groups, and a face that cancels its first triangle in a group named\n"
        "# by a line end\n"
        "v 0 0 0\nv 2 0 0\nv 2 1 0\nv 0 1 1\nv 9 9 9\nvt 0 0\nvt 1 1\nvn 0 0 1\n"
        "g top\nf 1/1 2/2 3/2 4/1\ng\nf 1 3 2\ng empty extra\n");
    int status;
    EXPECT_EQ(run_objinfo(file.path(), &status),
              "obj_load 1\n"
              "vertex_count 5\n"
              "normal_count 1\n"
              "texcoord_count 2\n"
              "triangle_count 3\n"
              "group_count 4\n"
              "group empty 0:\n"
              "group \\n 1: 2\n"
              "group top 2: 0 1\n"
              "group default 0:\n"
              "triangle 0: v 1 2 3 t 1 2 2\n"
              "triangle 1: v 1 3 4 t 1 2 1\n"
              "triangle 2: v 1 3 2 t 0 0 0\n"
              "normal 1: 0.333333 -0.666667 0.666667\n"
              "normal 2: 0 0 0\n"
              "normal 3: 0.333333 -0.666667 0.666667\n"
              "normal 4: 0.333333 -0.666667 0.666667\n"
              "normal 5: 0 0 0\n");
    EXPECT_EQ(status, 0);

    EXPECT_EQ(run_objinfo("/nonexistent/model.obj", &status), "obj_load 0\n");
    EXPECT_EQ(status, 1);
}

}  // namespace
