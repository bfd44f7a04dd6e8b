// objinfo PATH: loads an OBJ file with obj_load and prints the record it gives, field by field:
// counts, groups in list order, triangles in number order and the normal of every vertex.
#include <cstdio>

#include "mesh/obj.h"

// Group names come from a line read, so a name may be a line end; print those as \n (and \r).
static void print_name(const char* name) {
    for (; *name; ++name) {
        if (*name == '\n') fputs("\\n", stdout);
        else if (*name == '\r') fputs("\\r", stdout);
        else putchar(*name);
    }
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: objinfo PATH\n");
        return 2;
    }
    static ObjModel model;
    int result = obj_load(&model, argv[1]);
    printf("obj_load %d\n", result);
    if (!result) return 1;

    printf("vertex_count %u\n", model.vertex_count);
    printf("normal_count %u\n", model.normal_count);
    printf("texcoord_count %u\n", model.texcoord_count);
    printf("triangle_count %u\n", model.triangle_count);
    printf("group_count %u\n", model.group_count);
    for (const ObjGroup* group = model.groups; group; group = group->next) {
        fputs("group ", stdout);
        print_name(group->name);
        printf(" %u:", group->triangle_count);
        for (uint32_t i = 0; i < group->triangle_count; ++i) printf(" %d", group->triangle_indices[i]);
        putchar('\n');
    }
    for (uint32_t i = 0; i < model.triangle_count; ++i) {
        const ObjTriangle& t = model.triangles[i];
        printf("triangle %u: v %d %d %d t %d %d %d\n", i, t.vertex_indices[0], t.vertex_indices[1],
               t.vertex_indices[2], t.texcoord_indices[0], t.texcoord_indices[1], t.texcoord_indices[2]);
    }
    for (uint32_t i = 1; i <= model.vertex_count; ++i) {
        const float* n = model.normals[i];
        printf("normal %u: %.6g %.6g %.6g\n", i, n[0], n[1], n[2]);
    }
    return 0;
}
