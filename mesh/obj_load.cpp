// OBJ loader (not filled in yet).
#include "mesh/obj.h"

int obj_load(ObjModel*, const char*) { return 0; }
ObjGroup* obj_find_group(ObjModel*, const char*) { return nullptr; }
ObjGroup* obj_find_or_add_group(ObjModel*, const char*) { return nullptr; }
