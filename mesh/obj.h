// Meshes: the ObjModel record, loading it from an OBJ file, its vertex normals and drawing it.
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

// Reads the OBJ file at path into model, replacing (and freeing) what model held, and computes
// its normals. Returns 1, or 0 when the file cannot be read or memory runs out; model is then
// unchanged. model must be zeroed or hold an earlier load.
int obj_load(ObjModel* model, const char* path);
// The group of that name, or null.
ObjGroup* obj_find_group(ObjModel* model, const char* name);
// The group of that name, added in front of the list when missing; null only when memory runs
// out.
ObjGroup* obj_find_or_add_group(ObjModel* model, const char* name);
// Fills model->normals with each vertex's area-weighted average of its triangles' normals,
// unit length (zero for a vertex no usable triangle touches).
void obj_compute_normals(ObjModel* model);
// Draws every triangle with its normals, and texture coordinates when the model has any, in
// immediate mode with the current GL state; triangles with vertex numbers out of range are
// skipped.
void obj_draw(const ObjModel* model);
