// What mesh/ shares between its own files and its tests, beyond the public obj.h: releasing a
// record's memory and the checks on the numbers a file may hold.
#pragma once

#include <cstdint>

#include "mesh/obj.h"

// Frees every array and group a record owns and sets it back to all zero. A zero record
// (never loaded) holds nothing to free.
void obj_release(ObjModel* model);

// Whether a 1-based number read from a file names one of count slots.
inline bool obj_index_valid(int32_t number, uint32_t count) {
    return number >= 1 && static_cast<uint32_t>(number) <= count;
}

// Whether a triangle's three vertex numbers all name vertices of the model.
inline bool obj_triangle_valid(const ObjModel* model, const ObjTriangle& triangle) {
    return obj_index_valid(triangle.vertex_indices[0], model->vertex_count) &&
           obj_index_valid(triangle.vertex_indices[1], model->vertex_count) &&
           obj_index_valid(triangle.vertex_indices[2], model->vertex_count);
}
