// libFuzzer target for obj_load: each input is loaded from a regular file (the mapped path) and
// from a pipe (the buffered path); both records must agree, keep the loader's invariants, and
// give drawing only memory they own.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "mesh/obj.h"
#include "mesh/obj_internal.h"

namespace {

// An unlinked regular file, reached through /proc so that the loader opens it by path: nothing
// is left behind, even when a run ends in a crash.
int temp_fd = -1;
std::string temp_path;

bool write_all(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The input as a regular file, which the loader maps.
bool write_temp_file(const uint8_t* data, size_t size) {
    return temp_fd >= 0 && ftruncate(temp_fd, 0) == 0 && lseek(temp_fd, 0, SEEK_SET) == 0 &&
           write_all(temp_fd, data, size);
}

// Loads the input through a pipe, which the loader cannot map and reads into a buffer. Returns
// -1 when the input does not fit the pipe.
int load_through_pipe(ObjModel* model, const uint8_t* data, size_t size) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    int capacity = fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
    int result = -1;
    if (capacity > 0 && size < static_cast<size_t>(capacity) && write_all(fds[1], data, size)) {
        close(fds[1]);
        fds[1] = -1;
        std::string path = "/proc/self/fd/" + std::to_string(fds[0]);
        result = obj_load(model, path.c_str());
    }
    if (fds[1] >= 0) close(fds[1]);
    close(fds[0]);
    return result;
}

volatile float sink;

// Every invariant a loaded record promises, and every read that obj_draw and
// obj_compute_normals make, so that the sanitizers see them.
void check_model(ObjModel* model) {
    FUZZ_CHECK(model->vertices && model->normals);
    FUZZ_CHECK((model->texcoords != nullptr) == (model->texcoord_count > 0));
    FUZZ_CHECK(model->triangle_count == 0 || model->triangles);

    std::vector<uint8_t> owner_count(model->triangle_count, 0);
    uint32_t groups = 0;
    const ObjGroup* last = nullptr;
    float sum = 0;
    for (ObjGroup* group = model->groups; group; group = group->next) {
        ++groups;
        last = group;
        FUZZ_CHECK(group->name);
        FUZZ_CHECK(obj_find_group(model, group->name) == group);  // one group per name
        FUZZ_CHECK(group->triangle_count == 0 || group->triangle_indices);
        int32_t previous = -1;
        for (uint32_t i = 0; i < group->triangle_count; ++i) {
            int32_t number = group->triangle_indices[i];
            FUZZ_CHECK(number > previous);  // file order
            FUZZ_CHECK(static_cast<uint32_t>(number) < model->triangle_count);
            previous = number;
            ++owner_count[number];
            const ObjTriangle& triangle = model->triangles[number];
            if (!obj_triangle_valid(model, triangle)) continue;
            for (int k = 0; k < 3; ++k) {
                int32_t v = triangle.vertex_indices[k];
                sum += model->vertices[v][0] + model->normals[v][2];
                if (model->texcoord_count > 0) {
                    int32_t t = triangle.texcoord_indices[k];
                    sum += model->texcoords[obj_index_valid(t, model->texcoord_count) ? t : 0][1];
                }
            }
        }
    }
    sink = sum;
    FUZZ_CHECK(groups == model->group_count);
    FUZZ_CHECK(last && std::strcmp(last->name, "default") == 0);
    for (uint32_t i = 0; i < model->triangle_count; ++i) FUZZ_CHECK(owner_count[i] == 1);
}

// Two loads of the same text give the same record, bit for bit.
void check_same(const ObjModel& a, const ObjModel& b) {
    FUZZ_CHECK(a.vertex_count == b.vertex_count && a.normal_count == b.normal_count);
    FUZZ_CHECK(a.texcoord_count == b.texcoord_count && a.triangle_count == b.triangle_count);
    FUZZ_CHECK(a.group_count == b.group_count);
    size_t vertex_bytes = (static_cast<size_t>(a.vertex_count) + 1) * sizeof *a.vertices;
    FUZZ_CHECK(std::memcmp(a.vertices, b.vertices, vertex_bytes) == 0);
    FUZZ_CHECK(std::memcmp(a.normals, b.normals, vertex_bytes) == 0);
    if (a.texcoord_count > 0)
        FUZZ_CHECK(std::memcmp(a.texcoords, b.texcoords,
                               (static_cast<size_t>(a.texcoord_count) + 1) * sizeof *a.texcoords) == 0);
    if (a.triangle_count > 0)
        FUZZ_CHECK(std::memcmp(a.triangles, b.triangles, a.triangle_count * sizeof *a.triangles) == 0);
    for (const ObjGroup *x = a.groups, *y = b.groups; x || y; x = x->next, y = y->next) {
        FUZZ_CHECK(x && y && std::strcmp(x->name, y->name) == 0);
        FUZZ_CHECK(x->triangle_count == y->triangle_count);
        if (x->triangle_count > 0)
            FUZZ_CHECK(std::memcmp(x->triangle_indices, y->triangle_indices,
                                   x->triangle_count * sizeof *x->triangle_indices) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* dir = std::getenv("TMPDIR");
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (dir && *dir ? dir : "/tmp");
    std::string name = base + "/obj_load_fuzz_XXXXXX";
    temp_fd = mkstemp(&name[0]);
    if (temp_fd >= 0) unlink(name.c_str());
    temp_path = "/proc/self/fd/" + std::to_string(temp_fd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!write_temp_file(data, size)) return 0;

    ObjModel mapped = {};
    FUZZ_CHECK(obj_load(&mapped, temp_path.c_str()) == 1);
    check_model(&mapped);

    ObjModel buffered = {};
    int result = load_through_pipe(&buffered, data, size);
    if (result >= 0) {
        FUZZ_CHECK(result == 1);
        check_model(&buffered);
        check_same(mapped, buffered);
    }

    // Loading again into a loaded record replaces what it held.
    FUZZ_CHECK(obj_load(&buffered, temp_path.c_str()) == 1);
    check_same(mapped, buffered);

    obj_release(&mapped);
    obj_release(&buffered);
    return 0;
}
