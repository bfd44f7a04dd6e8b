// Smooth vertex normals for a loaded ObjModel (area-weighted sums of face normals) and drawing
// it in immediate mode, one GL_TRIANGLES batch per group.
#include <cmath>
#include <cstring>

#include "mesh/obj.h"
#include "mesh/obj_internal.h"
#include "platform/gl.h"

// The triangle a group entry names, or null when the entry or one of the triangle's vertex
// numbers lies outside the model; such triangles get no normal and are not drawn.
static const ObjTriangle* usable_triangle(const ObjModel* model, int32_t index) {
    if (index < 0 || static_cast<uint32_t>(index) >= model->triangle_count) return nullptr;
    const ObjTriangle* triangle = &model->triangles[index];
    return obj_triangle_valid(model, *triangle) ? triangle : nullptr;
}

void obj_compute_normals(ObjModel* model) {
    if (!model->normals) return;
    float(*normals)[3] = model->normals;
    const float(*vertices)[3] = model->vertices;
    memset(normals, 0, (static_cast<size_t>(model->vertex_count) + 1) * sizeof *normals);

    for (const ObjGroup* group = model->groups; group; group = group->next) {
        for (uint32_t i = 0; i < group->triangle_count; ++i) {
            const ObjTriangle* triangle = usable_triangle(model, group->triangle_indices[i]);
            if (!triangle) continue;
            const int32_t* v = triangle->vertex_indices;
            const float* p0 = vertices[v[0]];
            const float* p1 = vertices[v[1]];
            const float* p2 = vertices[v[2]];
            float e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
            float e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
            // Not normalised: its length is twice the triangle's area, which is the weight.
            float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                          e1[0] * e2[1] - e1[1] * e2[0]};
            for (int k = 0; k < 3; ++k) {
                normals[v[k]][0] += n[0];
                normals[v[k]][1] += n[1];
                normals[v[k]][2] += n[2];
            }
        }
    }

    // A sum of length zero (slot 0, unused vertices, cancelling faces) stays (0, 0, 0).
    for (uint32_t i = 0; i <= model->vertex_count; ++i) {
        double x = normals[i][0], y = normals[i][1], z = normals[i][2];
        double length = std::sqrt(x * x + y * y + z * z);
        if (!(length > 0)) continue;
        double scale = 1 / length;
        normals[i][0] = static_cast<float>(x * scale);
        normals[i][1] = static_cast<float>(y * scale);
        normals[i][2] = static_cast<float>(z * scale);
    }
}

void obj_draw(const ObjModel* model) {
    bool textured = model->texcoord_count > 0;
    for (const ObjGroup* group = model->groups; group; group = group->next) {
        glBegin(GL_TRIANGLES);
        for (uint32_t i = 0; i < group->triangle_count; ++i) {
            const ObjTriangle* triangle = usable_triangle(model, group->triangle_indices[i]);
            if (!triangle) continue;
            for (int k = 0; k < 3; ++k) {
                if (textured) {
                    // Corners without a usable number take slot 0, which holds (0, 0).
                    int32_t t = triangle->texcoord_indices[k];
                    glTexCoord2fv(model->texcoords[obj_index_valid(t, model->texcoord_count) ? t : 0]);
                }
                int32_t v = triangle->vertex_indices[k];
                glNormal3fv(model->normals[v]);
                glVertex3fv(model->vertices[v]);
            }
        }
        glEnd();
    }
}
