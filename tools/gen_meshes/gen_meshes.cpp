// Writes the demo's two meshes as OBJ files: the tomte (a Christmas gnome built from solids of
// revolution: boots, body, hands, beard, face, nose, pointed hat and bobble) and the torus ring.
// Deterministic: the same files on every run. Usage: gen_meshes OUTPUT_DIR
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Sizes in model units, +Y up, before the tomte's placement below. The scene draws a model
// unit as 0.1 across and 0.15 high, and the torus 28 times larger again, so the tomte stands
// about 3.1 high and 2 wide, and the ring's centre line runs about 3.9 from the axis.
const double kTomteSlices = 32;        // segments around a large part
const double kSmallSlices = 16;        // around the nose, hands, boots and bobble
const int kProfileSteps = 6;           // curve points per profile segment

const double kBodyProfile[][2] = {     // (radius, height) from the hem's centre up to the neck
    {0, 0}, {4.2, 0}, {4.6, 0.5}, {4.3, 2.2}, {3.6, 4.5}, {2.8, 6.6}, {2.1, 7.9}, {0, 8.4}};
const double kHeadCentreY = 10.2, kHeadRadius = 2.3;
const double kNoseRadius = 0.85, kNoseY = 9.9, kNoseForward = 2.3;
const double kBeardProfile[][2] = {    // drawn around its own axis, then flattened front to back
    {0, 4.2}, {1.2, 5.0}, {2.1, 6.5}, {2.6, 8.2}, {2.6, 9.4}, {1.9, 10.2}, {0, 10.4}};
const double kBeardForward = 1.7, kBeardDepth = 0.55;
const double kHatProfile[][2] = {      // brim, then up to the point
    {0, 10.3}, {2.75, 10.3}, {2.9, 10.7}, {2.55, 11.1}, {1.95, 12.8}, {1.2, 14.9}, {0.5, 16.8}, {0, 18.0}};
const double kBobbleRadius = 0.65;
const double kHandRadius = 0.85, kHandX = 3.55, kHandY = 5.2, kHandForward = 0.9;
const double kBootRadius = 1.2, kBootX = 1.6, kBootForward = 3.4, kBootY = 0.5;
const double kBootStretch[3] = {0.9, 0.55, 1.4};

// The whole tomte is then widened, stretched and lowered: the scene draws everything 1.5 times
// taller than wide, so a gnome modelled round would look like a pencil; and lowering it puts
// its middle near the point the camera looks at.
const double kTomteWidth = 2.0, kTomteHeight = 1.15, kTomteLift = -3.5;

// The tomte faces -Z: the scene turns models over about X, which brings its face towards the
// camera's starting place at +Z.
const double kFront = -1;

const double kTorusMajor = 1.4, kTorusMinor = 0.24;
const int kTorusAround = 64, kTorusTube = 24;

const double kPi = 3.14159265358979323846;

struct Vec3 {
    double x, y, z;
};

struct Face {
    std::vector<int> vertices, texcoords;  // 1-based
};

struct Group {
    std::string name;
    std::vector<Face> faces;
};

struct Mesh {
    std::vector<Vec3> vertices;
    std::vector<std::pair<double, double>> texcoords;
    std::vector<Group> groups;

    int vertex(Vec3 p) {
        vertices.push_back(p);
        return static_cast<int>(vertices.size());
    }
    int texcoord(double s, double t) {
        texcoords.emplace_back(s, t);
        return static_cast<int>(texcoords.size());
    }
    Group& group(const std::string& name) {
        for (Group& g : groups)
            if (g.name == name) return g;
        groups.push_back(Group{name, {}});
        return groups.back();
    }
};

// A profile of (radius, height) points, bottom to top, as a smooth curve through them
// (Catmull-Rom), kProfileSteps points per segment.
std::vector<std::pair<double, double>> smooth_profile(const double (*points)[2], int count) {
    std::vector<std::pair<double, double>> curve;
    for (int i = 0; i + 1 < count; ++i) {
        const double* p0 = points[i > 0 ? i - 1 : i];
        const double* p1 = points[i];
        const double* p2 = points[i + 1];
        const double* p3 = points[i + 2 < count ? i + 2 : i + 1];
        for (int step = 0; step < kProfileSteps; ++step) {
            double t = static_cast<double>(step) / kProfileSteps, t2 = t * t, t3 = t2 * t;
            double c[2];
            for (int k = 0; k < 2; ++k)
                c[k] = 0.5 * (2 * p1[k] + (p2[k] - p0[k]) * t + (2 * p0[k] - 5 * p1[k] + 4 * p2[k] - p3[k]) * t2 +
                              (3 * p1[k] - p0[k] - 3 * p2[k] + p3[k]) * t3);
            if (step == 0) c[0] = p1[0];  // keep poles on the axis
            curve.emplace_back(std::max(c[0], 0.0), c[1]);
        }
    }
    curve.emplace_back(points[count - 1][0], points[count - 1][1]);
    return curve;
}

// A solid of revolution about a vertical axis through centre, stretched by scale. The profile
// runs from bottom to top; a point of radius 0 is a pole. With closed set, the profile is a
// loop (its last point joins its first). Faces wind counter-clockwise seen from outside.
void revolve(Mesh& mesh, const std::string& group_name, const std::vector<std::pair<double, double>>& profile,
             bool closed, int slices, Vec3 centre, const double scale[3]) {
    const int rows = static_cast<int>(profile.size());
    // vertex numbers per row; a pole row has one vertex
    std::vector<std::vector<int>> ring(rows);
    for (int j = 0; j < rows; ++j) {
        double r = profile[j].first, y = profile[j].second;
        int count = r > 0 ? slices : 1;
        for (int i = 0; i < count; ++i) {
            double a = 2 * kPi * i / slices;
            ring[j].push_back(mesh.vertex({centre.x + scale[0] * r * std::sin(a), centre.y + scale[1] * y,
                                           centre.z + scale[2] * r * std::cos(a)}));
        }
    }
    // texture coordinates: around the axis, and along the profile
    int texture_rows = closed ? rows + 1 : rows;
    std::vector<std::vector<int>> tex(texture_rows);
    for (int j = 0; j < texture_rows; ++j)
        for (int i = 0; i <= slices; ++i)
            tex[j].push_back(mesh.texcoord(static_cast<double>(i) / slices, static_cast<double>(j) / (texture_rows - 1)));

    Group& group = mesh.group(group_name);
    int bands = closed ? rows : rows - 1;
    for (int j = 0; j < bands; ++j) {
        int next = (j + 1) % rows;
        for (int i = 0; i < slices; ++i) {
            int i1 = (i + 1) % slices;
            const std::vector<int>& low = ring[j];
            const std::vector<int>& high = ring[next];
            Face face;
            auto corner = [&](const std::vector<int>& row, int column, int tex_row, int tex_column) {
                face.vertices.push_back(row.size() == 1 ? row[0] : row[column]);
                face.texcoords.push_back(tex[tex_row][tex_column]);
            };
            if (low.size() == 1) {  // bottom pole
                corner(low, 0, j, i);
                corner(high, i1, j + 1, i + 1);
                corner(high, i, j + 1, i);
            } else if (high.size() == 1) {  // top pole
                corner(low, i, j, i);
                corner(low, i1, j, i + 1);
                corner(high, 0, j + 1, i);
            } else {
                corner(low, i, j, i);
                corner(low, i1, j, i + 1);
                corner(high, i1, j + 1, i + 1);
                corner(high, i, j + 1, i);
            }
            group.faces.push_back(face);
        }
    }
}

std::vector<std::pair<double, double>> sphere_profile(double radius, int rows) {
    std::vector<std::pair<double, double>> profile;
    for (int j = 0; j <= rows; ++j) {
        double a = -kPi / 2 + kPi * j / rows;
        profile.emplace_back(j == 0 || j == rows ? 0.0 : radius * std::cos(a), radius * std::sin(a));
    }
    return profile;
}

void sphere(Mesh& mesh, const std::string& group, double radius, int slices, Vec3 centre,
            const double scale[3] = nullptr) {
    const double one[3] = {1, 1, 1};
    revolve(mesh, group, sphere_profile(radius, slices / 2), false, slices, centre, scale ? scale : one);
}

Mesh make_tomte() {
    Mesh mesh;
    const double one[3] = {1, 1, 1};
    const int large = static_cast<int>(kTomteSlices), small = static_cast<int>(kSmallSlices);
    for (double side : {-1.0, 1.0})
        sphere(mesh, "boots", kBootRadius, small, {side * kBootX, kBootY, kFront * kBootForward}, kBootStretch);
    revolve(mesh, "body", smooth_profile(kBodyProfile, sizeof kBodyProfile / sizeof *kBodyProfile), false, large,
            {0, 0, 0}, one);
    for (double side : {-1.0, 1.0}) sphere(mesh, "hands", kHandRadius, small, {side * kHandX, kHandY, kFront * kHandForward});
    const double beard_scale[3] = {1, 1, kBeardDepth};
    revolve(mesh, "beard", smooth_profile(kBeardProfile, sizeof kBeardProfile / sizeof *kBeardProfile), false, large,
            {0, 0, kFront * kBeardForward}, beard_scale);
    sphere(mesh, "face", kHeadRadius, large, {0, kHeadCentreY, 0});
    sphere(mesh, "nose", kNoseRadius, small, {0, kNoseY, kFront * kNoseForward});
    revolve(mesh, "hat", smooth_profile(kHatProfile, sizeof kHatProfile / sizeof *kHatProfile), false, large,
            {0, 0, 0}, one);
    sphere(mesh, "bobble", kBobbleRadius, small, {0, kHatProfile[7][1], 0});
    for (Vec3& v : mesh.vertices) {
        v.x *= kTomteWidth;
        v.z *= kTomteWidth;
        v.y = v.y * kTomteHeight + kTomteLift;
    }
    return mesh;
}

Mesh make_torus() {
    Mesh mesh;
    std::vector<std::pair<double, double>> tube;
    for (int j = 0; j < kTorusTube; ++j) {
        double a = 2 * kPi * j / kTorusTube;
        tube.emplace_back(kTorusMajor + kTorusMinor * std::cos(a), kTorusMinor * std::sin(a));
    }
    const double one[3] = {1, 1, 1};
    revolve(mesh, "ring", tube, true, kTorusAround, {0, 0, 0}, one);
    return mesh;
}

// Prints a coordinate with a fixed number of decimals and no negative zero.
void number(FILE* out, double value) {
    if (std::fabs(value) < 0.00005) value = 0;
    fprintf(out, " %.4f", value);
}

bool write_obj(const Mesh& mesh, const std::string& path, const char* title) {
    FILE* out = fopen(path.c_str(), "w");
    if (!out) return false;
    size_t triangles = 0;
    for (const Group& g : mesh.groups)
        for (const Face& f : g.faces) triangles += f.vertices.size() - 2;
    fprintf(out, "# %s\n# written by tools/gen_meshes: %zu vertices, %zu triangles; +Y up\n", title,
            mesh.vertices.size(), triangles);
    for (const Vec3& v : mesh.vertices) {
        fputs("v", out);
        number(out, v.x);
        number(out, v.y);
        number(out, v.z);
        fputc('\n', out);
    }
    for (const auto& t : mesh.texcoords) {
        fputs("vt", out);
        number(out, t.first);
        number(out, t.second);
        fputc('\n', out);
    }
    for (const Group& g : mesh.groups) {
        fprintf(out, "g %s\n", g.name.c_str());
        for (const Face& f : g.faces) {
            fputs("f", out);
            for (size_t k = 0; k < f.vertices.size(); ++k) fprintf(out, " %d/%d", f.vertices[k], f.texcoords[k]);
            fputc('\n', out);
        }
    }
    return fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: gen_meshes OUTPUT_DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    if (!write_obj(make_tomte(), dir + "/tomte.obj", "tomte: a Christmas gnome") ||
        !write_obj(make_torus(), dir + "/torus.obj", "torus: the ring around the tomte")) {
        fprintf(stderr, "gen_meshes: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
