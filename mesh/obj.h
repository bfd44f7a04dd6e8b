// Meshes: a two-pass reader for a subset of the Wavefront OBJ format, smooth vertex normals
// and immediate-mode drawing.
#pragma once

#include <cstdint>

struct ObjTriangle {
    int32_t vertex_indices[3];    // 1-based vertex numbers, as read
    int32_t texcoord_indices[3];  // 1-based texture-coordinate numbers, as read
};

struct ObjGroup {
    char* name;
    uint32_t triangle_count;
    int32_t* triangle_indices;  // into ObjModel::triangles, in file order
    ObjGroup* next;
};

struct ObjModel {
    uint32_t vertex_count;
    float (*vertices)[3];   // vertex_count + 1 slots; slot 0 reserved
    uint32_t normal_count;
    float (*normals)[3];    // vertex_count + 1 slots, by vertex number
    uint32_t texcoord_count;
    float (*texcoords)[2];  // texcoord_count + 1 slots, or null when there are none
    uint32_t triangle_count;
    ObjTriangle* triangles;
    uint32_t group_count;
    ObjGroup* groups;       // newest group first; "default" is always last
};

int obj_load(ObjModel* model, const char* path);
ObjGroup* obj_find_group(ObjModel* model, const char* name);
ObjGroup* obj_find_or_add_group(ObjModel* model, const char* name);
void obj_compute_normals(ObjModel* model);
void obj_draw(const ObjModel* model);
