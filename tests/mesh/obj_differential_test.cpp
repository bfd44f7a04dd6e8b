// The loader against a plain reading of the same rules with the C library's own fscanf and
// fgets on the file, over fuzzed files built from hostile pieces: the records must agree.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "mesh/obj_scan.h"
#include "tests/mesh/mesh_test_util.h"

namespace {

std::string bits(float f) {
    uint32_t b;
    memcpy(&b, &f, sizeof b);
    char text[16];
    snprintf(text, sizeof text, "%08x", b);
    return text;
}

// Everything the reader stores, as text; normals are left to the normal tests.
std::string describe(const ObjModel& m) {
    std::ostringstream out;
    out << "counts " << m.vertex_count << ' ' << m.normal_count << ' ' << m.texcoord_count << ' '
        << m.triangle_count << ' ' << m.group_count << '\n';
    for (const ObjGroup* g = m.groups; g; g = g->next) {
        out << "group [" << g->name << "]";
        for (uint32_t i = 0; i < g->triangle_count; ++i) out << ' ' << g->triangle_indices[i];
        out << '\n';
    }
    for (uint32_t i = 0; i < m.triangle_count; ++i) {
        const ObjTriangle& t = m.triangles[i];
        for (int k = 0; k < 3; ++k) out << t.vertex_indices[k] << '/' << t.texcoord_indices[k] << ' ';
        out << '\n';
    }
    for (uint32_t i = 0; i <= m.vertex_count; ++i)
        out << "v " << bits(m.vertices[i][0]) << ' ' << bits(m.vertices[i][1]) << ' ' << bits(m.vertices[i][2]) << '\n';
    for (uint32_t i = 0; m.texcoords && i <= m.texcoord_count; ++i)
        out << "vt " << bits(m.texcoords[i][0]) << ' ' << bits(m.texcoords[i][1]) << '\n';
    return out.str();
}

// The rules read the plain way: fscanf and fgets on the open file, twice.
struct Reference {
    FILE* f;
    ObjModel m{};
    struct Group {
        std::string name;
        std::vector<int32_t> triangles;
        size_t counted = 0;
    };
    std::vector<Group> groups;  // in order of creation; the list is the reverse
    size_t current = 0;
    bool fill = false;
    std::vector<ObjTriangle> triangles;
    std::vector<float> v, vt;
    size_t next_v = 1, next_vt = 1;

    size_t find_group(const char* name) {
        for (size_t i = groups.size(); i-- > 0;)
            if (groups[i].name == name) return i;
        return SIZE_MAX;
    }
    void triangle(const ObjCorner& a, const ObjCorner& b, const ObjCorner& c) {
        Group& g = groups[current];
        if (!fill) {
            ++m.triangle_count;
            ++g.counted;
        } else if (g.triangles.size() < g.counted) {
            // Only a triangle its group has room for takes a number.
            triangles.push_back(ObjTriangle{{a.v, b.v, c.v}, {a.t, b.t, c.t}});
            g.triangles.push_back(static_cast<int32_t>(triangles.size() - 1));
        }
    }
    int corner(ObjCornerForm form, ObjCorner* c) {
        switch (form) {
        case OBJ_FORM_V: return fscanf(f, "%d", &c->v);
        case OBJ_FORM_VT: return fscanf(f, "%d/%d", &c->v, &c->t);
        case OBJ_FORM_VN: return fscanf(f, "%d//%d", &c->v, &c->n);
        default: return fscanf(f, "%d/%d/%d", &c->v, &c->t, &c->n);
        }
    }
    void face() {
        ObjCorner c = {0, 0, 0};
        char token[128] = "";
        ObjCornerForm form;
        if (fscanf(f, "%127s", token) != 1) token[0] = '\0';
        ObjCorner t = c;
        if (strstr(token, "//")) {
            form = OBJ_FORM_VN;
            sscanf(token, "%d//%d", &c.v, &c.n);
        } else if (sscanf(token, "%d/%d/%d", &t.v, &t.t, &t.n) == 3) {
            form = OBJ_FORM_VTN;
            c = t;
        } else if (t = c, sscanf(token, "%d/%d", &t.v, &t.t) == 2) {
            form = OBJ_FORM_VT;
            c = t;
        } else {
            form = OBJ_FORM_V;
            sscanf(token, "%d", &c.v);
        }
        ObjCorner first = c;
        corner(form, &c);
        ObjCorner second = c;
        corner(form, &c);
        triangle(first, second, c);
        ObjCorner third = c;
        while (corner(form, &c) >= 1) {
            triangle(first, third, c);
            third = c;
        }
    }
    void group() {
        char line[128] = "", name[128];
        if (!fgets(line, sizeof line, f)) line[0] = '\0';
        if (sscanf(line, "%127s", name) != 1) strcpy(name, line);
        size_t found = find_group(name);
        if (!fill && found == SIZE_MAX) {
            groups.push_back(Group{name, {}, 0});
            found = groups.size() - 1;
        }
        if (found != SIZE_MAX) current = found;
    }
    void numbers(std::vector<float>* array, size_t* next, uint32_t count, int width) {
        float scratch[3] = {0, 0, 0};
        float* slot = *next <= count && array ? &(*array)[*next * width] : scratch;
        ++*next;
        if (width == 3) fscanf(f, "%f %f %f", &slot[0], &slot[1], &slot[2]);
        else fscanf(f, "%f %f", &slot[0], &slot[1]);
    }
    void pass() {
        char token[128], line[128];
        current = 0;
        std::vector<float> vn((m.vertex_count + 1) * 3);
        size_t next_vn = 1;
        while (fscanf(f, "%127s", token) == 1) {
            if (token[0] == 'v' && (!token[1] || token[1] == 'n' || token[1] == 't')) {
                if (!fill) {
                    ++(token[1] == 'n' ? m.normal_count : token[1] == 't' ? m.texcoord_count : m.vertex_count);
                    fgets(line, sizeof line, f);
                } else if (!token[1]) {
                    numbers(&v, &next_v, m.vertex_count, 3);
                } else if (token[1] == 'n') {
                    numbers(&vn, &next_vn, m.vertex_count, 3);
                } else {
                    numbers(m.texcoord_count ? &vt : nullptr, &next_vt, m.texcoord_count, 2);
                }
            } else if (token[0] == 'v') {
            } else if (token[0] == 'f') {
                face();
            } else if (token[0] == 'g') {
                group();
            } else {
                fgets(line, sizeof line, f);
            }
        }
    }
    // Loads the file and describes it as describe() does.
    std::string load(const char* path) {
        f = fopen(path, "rt");
        groups.push_back(Group{"default", {}, 0});
        pass();
        v.assign((m.vertex_count + 1) * 3, 0.0f);
        if (m.texcoord_count) vt.assign((m.texcoord_count + 1) * 2, 0.0f);
        rewind(f);
        fill = true;
        pass();
        fclose(f);
        m.triangle_count = static_cast<uint32_t>(triangles.size());  // the triangles filled
        m.group_count = static_cast<uint32_t>(groups.size());
        m.vertices = reinterpret_cast<float(*)[3]>(v.data());
        m.texcoords = m.texcoord_count ? reinterpret_cast<float(*)[2]>(vt.data()) : nullptr;
        m.triangles = triangles.data();
        std::vector<ObjGroup> list(groups.size());
        for (size_t i = 0; i < groups.size(); ++i) {
            list[i] = ObjGroup{&groups[i].name[0], static_cast<uint32_t>(groups[i].triangles.size()),
                               groups[i].triangles.data(), i ? &list[i - 1] : nullptr};
        }
        m.groups = &list.back();
        return describe(m);
    }
};

// Loads text through a pipe, which the loader reads into a buffer instead of mapping it.
std::string describe_through_pipe(const std::string& text) {
    int fds[2];
    if (pipe(fds) != 0) return "no pipe";
    std::string written;
    if (write(fds[1], text.data(), text.size()) != static_cast<ssize_t>(text.size())) written = "short write";
    close(fds[1]);
    Model model;
    int result = obj_load(&model, ("/dev/fd/" + std::to_string(fds[0])).c_str());
    close(fds[0]);
    return written + (result == 1 ? describe(model) : "obj_load 0");
}

void expect_same_as_reference(const std::string& text) {
    TempFile file(text);
    Model model;
    ASSERT_EQ(obj_load(&model, file.path()), 1);
    Reference reference;
    std::string expected = reference.load(file.path());
    ASSERT_EQ(describe(model), expected) << "file:\n" << text;
    if (text.size() < 32768) {
        ASSERT_EQ(describe_through_pipe(text), expected) << "through a pipe:\n" << text;
    }
}

TEST(ObjLoadDifferential, HandWrittenFiles) {
    expect_same_as_reference("");
    expect_same_as_reference("v 1 2 3\nv 4 5 6 7\nvt 1 2\nf 1/1 2/2 3\nf 1 2 3 4 5\ng a b\nf 1//2 2//2 3//3\n");
    expect_same_as_reference("f 1 2\nf 3 4 5\nf 1 2 3\n4\ng\ng\nf 6 7 8\ng");
    expect_same_as_reference("v 1 2\nf 1 2 3\nv 1 2 3 f 4 5 6 g late\nf 7 8 9\nvn 1 2 3 4 5 6\nvt 1 2 3 4\n");
    expect_same_as_reference("vp 1 2 3\nvx f 1 2 3\n# " + std::string(200, 'c') + " f 9 9 9\ng " +
                             std::string(150, 'n') + "\nf 1 2 3\n");
    expect_same_as_reference(std::string(300, 'f') + " 1 2 3 " + std::string(130, 'v') + " 1 2 3\n");
    expect_same_as_reference("f 1/2/3 4/5 6 7/8/9 x\nf -1 0 99999999999 +2\nf nan 1 2\nf");
    // Files that fill whole pages end right at a page boundary, in the middle of a number.
    for (const char* tail : {"v 1 2 3.25", "f 1/2/3 4/5/6 7/8/9", "vt 0.5 1e", "g last"}) {
        std::string text = "v 0 0 0\n# ";
        text += std::string(4096 - text.size() - strlen(tail) - 1, 'x') + "\n" + tail;
        expect_same_as_reference(text);
        expect_same_as_reference(text + std::string(4096, ' '));
    }
}

// Files of random lines built from pieces that probe the rules' corners: every keyword, every
// corner form, broken numbers, long tokens and lines, NULs, carriage returns and missing ends.
TEST(ObjLoadDifferential, FuzzedFiles) {
    const std::vector<std::string> keywords = {"v", "vt", "vn", "vp", "vx", "v1", "f", "fo", "g", "gx",
                                               "#", "o", "s", "usemtl", "mtllib", ""};
    const std::vector<std::string> pieces = {
        "1", "2", "3", "-1", "0", "17", "4294967297", "1.5", "-0.25e1", "1e", "1e+", ".5", "-", "+", ".", "inf",
        "-nan", "nax", "infinity", "infinx", "0x1p3", "0x", "1.2.3", "1/2", "3/4/5", "6//7", "1/", "/", "//",
        "-/3", "1/2/", "abc", "f", "g", "v", "vt", "#", "2/3 ", "3/", "\\", std::string(1, '\0'), "\r"};
    const std::vector<std::string> gaps = {" ", " ", " ", "\t", "\n", "\r\n", "  ", "\v", "\f", ""};
    std::mt19937 random(2024);
    auto pick = [&](const std::vector<std::string>& list) { return list[random() % list.size()]; };
    for (int file = 0; file < 1500; ++file) {
        std::string text;
        int lines = static_cast<int>(random() % 40);
        for (int line = 0; line < lines; ++line) {
            text += pick(keywords);
            if (random() % 25 == 0) text += std::string(100 + random() % 200, "afv#g1/"[random() % 7]);
            int words = static_cast<int>(random() % 7);
            for (int w = 0; w < words; ++w) text += pick(gaps) + pick(pieces);
            text += random() % 10 ? "\n" : pick(gaps);
        }
        expect_same_as_reference(text);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
