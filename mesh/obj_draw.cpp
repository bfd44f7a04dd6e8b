// Normals and drawing (not filled in yet).
#include "mesh/obj.h"

void obj_compute_normals(ObjModel*) {}
void obj_draw(const ObjModel*) {}
