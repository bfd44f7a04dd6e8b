// OBJ loader: reads a mesh file into an ObjModel with a counting pass that sizes every array
// and a filling pass that stores into them, both over one in-memory copy of the file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__unix__)
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "mesh/obj.h"
#include "mesh/obj_internal.h"
#include "mesh/obj_scan.h"

// A group and how many triangle numbers its index array holds; the record only shows the group.
struct GroupBlock {
    ObjGroup group;
    uint32_t capacity;
};

static GroupBlock* block_of(ObjGroup* group) {
    return reinterpret_cast<GroupBlock*>(group);
}

// Counts stop here: triangle numbers are stored as 32-bit signed integers, and a count plus the
// reserved slot must still fit its 32-bit field.
static const uint32_t count_limit = 0x7FFFFFFF;

// The loader's lookup of groups by name, so that files with many groups load in linear time.
// The group list itself keeps the order and the linear search that obj_find_group promises.
struct GroupIndex {
    ObjGroup** slots;
    size_t capacity;  // a power of two, or 0
    size_t used;
};

struct Loader {
    ObjModel* model;
    ObjStream stream;
    GroupIndex index;
    ObjGroup* current;
    bool out_of_memory;
    // Counting pass: the triangles seen so far.
    uint32_t triangles_counted;
    // Filling pass: the next slot of each array and the next triangle number.
    uint64_t next_vertex, next_normal, next_texcoord, next_triangle;
};

static ObjGroup* add_group(ObjModel* model, const char* name) {
    size_t length = strlen(name);
    GroupBlock* block = static_cast<GroupBlock*>(malloc(sizeof(GroupBlock) + length + 1));
    if (!block) return nullptr;
    char* copy = reinterpret_cast<char*>(block + 1);
    memcpy(copy, name, length + 1);
    block->capacity = 0;
    block->group.name = copy;
    block->group.triangle_count = 0;
    block->group.triangle_indices = nullptr;
    block->group.next = model->groups;
    model->groups = &block->group;
    ++model->group_count;
    return &block->group;
}

ObjGroup* obj_find_group(ObjModel* model, const char* name) {
    for (ObjGroup* group = model->groups; group; group = group->next)
        if (strcmp(group->name, name) == 0) return group;
    return nullptr;
}

// Returns null only when memory runs out.
ObjGroup* obj_find_or_add_group(ObjModel* model, const char* name) {
    ObjGroup* group = obj_find_group(model, name);
    return group ? group : add_group(model, name);
}

void obj_release(ObjModel* model) {
    free(model->vertices);
    free(model->normals);
    free(model->texcoords);
    free(model->triangles);
    for (ObjGroup* group = model->groups; group;) {
        ObjGroup* next = group->next;
        free(group->triangle_indices);
        free(block_of(group));
        group = next;
    }
    *model = ObjModel{};
}

static size_t hash_name(const char* name) {
    uint64_t hash = 14695981039346656037ull;
    for (; *name; ++name) hash = (hash ^ static_cast<unsigned char>(*name)) * 1099511628211ull;
    return static_cast<size_t>(hash ^ (hash >> 32));
}

static ObjGroup** index_slot(GroupIndex* index, const char* name) {
    size_t i = hash_name(name) & (index->capacity - 1);
    while (index->slots[i] && strcmp(index->slots[i]->name, name) != 0) i = (i + 1) & (index->capacity - 1);
    return &index->slots[i];
}

static bool index_grow(GroupIndex* index) {
    GroupIndex bigger = {nullptr, index->capacity ? index->capacity * 2 : 16, index->used};
    bigger.slots = static_cast<ObjGroup**>(calloc(bigger.capacity, sizeof(ObjGroup*)));
    if (!bigger.slots) return false;
    for (size_t i = 0; i < index->capacity; ++i)
        if (index->slots[i]) *index_slot(&bigger, index->slots[i]->name) = index->slots[i];
    free(index->slots);
    *index = bigger;
    return true;
}

static ObjGroup* index_find(GroupIndex* index, const char* name) {
    return index->capacity ? *index_slot(index, name) : nullptr;
}

// obj_find_or_add_group through the index.
static ObjGroup* find_or_add(Loader* loader, const char* name) {
    GroupIndex* index = &loader->index;
    if ((index->used + 1) * 2 > index->capacity && !index_grow(index)) {
        loader->out_of_memory = true;
        return nullptr;
    }
    ObjGroup** slot = index_slot(index, name);
    if (!*slot) {
        if (!(*slot = add_group(loader->model, name))) {
            loader->out_of_memory = true;
            return nullptr;
        }
        ++index->used;
    }
    return *slot;
}

static void skip_line(Loader* loader) {
    const char* line;
    obj_read_line(&loader->stream, &line);
}

// Counting pass: one more triangle in the current group. Filling pass: store it under the next
// triangle number and append that to the current group. A filling pass that meets more
// triangles than were counted in the group drops the extra ones before they take a number, so
// that every stored triangle stands in exactly one group.
template <bool Fill>
static void add_triangle(Loader* loader, const ObjCorner& a, const ObjCorner& b, const ObjCorner& c) {
    ObjGroup* group = loader->current;
    if (!Fill) {
        if (loader->triangles_counted < count_limit) {
            ++loader->triangles_counted;
            ++group->triangle_count;
        }
        return;
    }
    ObjModel* model = loader->model;
    if (group->triangle_count >= block_of(group)->capacity) return;
    uint64_t number = loader->next_triangle++;
    if (number >= model->triangle_count) return;
    ObjTriangle* triangle = &model->triangles[number];
    triangle->vertex_indices[0] = a.v;
    triangle->vertex_indices[1] = b.v;
    triangle->vertex_indices[2] = c.v;
    // Forms without texture-coordinate numbers leave them 0.
    triangle->texcoord_indices[0] = a.t;
    triangle->texcoord_indices[1] = b.t;
    triangle->texcoord_indices[2] = c.t;
    group->triangle_indices[group->triangle_count++] = static_cast<int32_t>(number);
}

// The first corner's token alone decides the form of every corner of the face.
static ObjCornerForm choose_form(const char* token, ObjCorner* first) {
    ObjStream text = {token, token + strlen(token)};
    if (strstr(token, "//")) {
        obj_scan_corner(&text, OBJ_FORM_VN, first);
        return OBJ_FORM_VN;
    }
    ObjCorner trial = *first;
    ObjStream copy = text;
    if (obj_scan_corner(&copy, OBJ_FORM_VTN, &trial) == 3) {
        *first = trial;
        return OBJ_FORM_VTN;
    }
    trial = *first;
    copy = text;
    if (obj_scan_corner(&copy, OBJ_FORM_VT, &trial) == 2) {
        *first = trial;
        return OBJ_FORM_VT;
    }
    obj_scan_corner(&text, OBJ_FORM_V, first);
    return OBJ_FORM_V;
}

// A face after its keyword: a fan over its corners, read across line ends for as long as the
// next read takes a number. A corner that cannot be read repeats the one before it. The
// counting pass only needs to know where each read stops, not the numbers it stores.
template <bool Fill>
static void read_face(Loader* loader) {
    ObjCorner first = {0, 0, 0};
    ObjCornerForm form;
    obj_skip_space(&loader->stream);
    if (!obj_simple_corner(&loader->stream, &form, &first)) {
        const char* start;
        size_t length = obj_read_token(&loader->stream, &start);
        char token[OBJ_TOKEN_MAX + OBJ_STREAM_PADDING] = {};
        memcpy(token, start, length);
        form = choose_form(token, &first);
    }

    ObjCorner second = first;
    obj_scan_corner<Fill, false>(&loader->stream, form, &second);
    ObjCorner third = second;
    obj_scan_corner<Fill, false>(&loader->stream, form, &third);
    add_triangle<Fill>(loader, first, second, third);
    for (;;) {
        ObjCorner next = third;
        if (obj_scan_corner<Fill, false>(&loader->stream, form, &next) < 1) break;
        add_triangle<Fill>(loader, first, third, next);
        third = next;
    }
}

// A group line after its keyword: the first word of the rest of the line names the group, or,
// when there is no word, the rest of the line as read (at the end of the file, the empty name).
template <bool Fill>
static void read_group(Loader* loader) {
    char text[OBJ_TOKEN_MAX + 1];
    const char* line;
    size_t length = obj_read_line(&loader->stream, &line);
    memcpy(text, line, length);
    text[length] = '\0';
    char* word = text;
    while (obj_is_space(static_cast<unsigned char>(*word))) ++word;
    char* word_end = word;
    while (*word_end && !obj_is_space(static_cast<unsigned char>(*word_end))) ++word_end;
    const char* name = text;
    if (word_end != word) {
        *word_end = '\0';
        name = word;
    }
    if (!Fill) {
        if (ObjGroup* group = find_or_add(loader, name)) loader->current = group;
    } else if (ObjGroup* group = index_find(&loader->index, name)) {
        // A group the counting pass never saw (the passes disagree) leaves the current one.
        loader->current = group;
    }
}

static void count_line(uint32_t* count, Loader* loader) {
    if (*count < count_limit) ++*count;
    skip_line(loader);
}

static void obj_count_pass(Loader* loader) {
    ObjModel* model = loader->model;
    loader->current = find_or_add(loader, "default");
    if (!loader->current) return;
    uint32_t vertices = 0, normals = 0, texcoords = 0;
    const char* token;
    size_t length;
    while (!loader->out_of_memory && (length = obj_read_token(&loader->stream, &token)) != 0) {
        char second = length > 1 ? token[1] : '\0';
        switch (token[0]) {
        case 'v':
            if (second == '\0') count_line(&vertices, loader);
            else if (second == 'n') count_line(&normals, loader);
            else if (second == 't') count_line(&texcoords, loader);
            break;
        case 'f':
            read_face<false>(loader);
            break;
        case 'g':
            read_group<false>(loader);
            break;
        default:
            skip_line(loader);
            break;
        }
    }
    model->vertex_count = vertices;
    model->normal_count = normals;
    model->texcoord_count = texcoords;
    model->triangle_count = loader->triangles_counted;
}

// Every array at its final size, zero-filled, so that whatever the filling pass does not reach
// (slot 0, coordinates a short line lacks) reads as 0.
static bool allocate_arrays(ObjModel* model) {
    size_t slots = static_cast<size_t>(model->vertex_count) + 1;
    model->vertices = static_cast<float(*)[3]>(calloc(slots, sizeof *model->vertices));
    model->normals = static_cast<float(*)[3]>(calloc(slots, sizeof *model->normals));
    if (!model->vertices || !model->normals) return false;
    if (model->texcoord_count > 0) {
        model->texcoords = static_cast<float(*)[2]>(
            calloc(static_cast<size_t>(model->texcoord_count) + 1, sizeof *model->texcoords));
        if (!model->texcoords) return false;
    }
    if (model->triangle_count > 0) {
        model->triangles = static_cast<ObjTriangle*>(calloc(model->triangle_count, sizeof(ObjTriangle)));
        if (!model->triangles) return false;
    }
    for (ObjGroup* group = model->groups; group; group = group->next) {
        if (group->triangle_count > 0) {
            group->triangle_indices = static_cast<int32_t*>(malloc(group->triangle_count * sizeof(int32_t)));
            if (!group->triangle_indices) return false;
        }
        block_of(group)->capacity = group->triangle_count;
        group->triangle_count = 0;
    }
    return true;
}

// The next slot of an array with count + 1 slots, or scratch once the array is full.
static float* next_slot(uint64_t* next, uint32_t count, float* array, int width, float* scratch) {
    uint64_t slot = (*next)++;
    return slot <= count && array ? array + slot * width : scratch;
}

static void obj_fill_pass(Loader* loader) {
    ObjModel* model = loader->model;
    loader->current = index_find(&loader->index, "default");
    loader->next_vertex = loader->next_normal = loader->next_texcoord = 1;
    loader->next_triangle = 0;
    float scratch[3];
    const char* token;
    size_t length;
    while ((length = obj_read_token(&loader->stream, &token)) != 0) {
        char second = length > 1 ? token[1] : '\0';
        switch (token[0]) {
        case 'v':
            if (second == '\0') {
                obj_scan_floats(&loader->stream,
                                next_slot(&loader->next_vertex, model->vertex_count, model->vertices[0], 3, scratch),
                                3);
            } else if (second == 'n') {
                // Only as many as there are vertex slots; the normals are computed afterwards.
                obj_scan_floats(&loader->stream,
                                next_slot(&loader->next_normal, model->vertex_count, model->normals[0], 3, scratch),
                                3);
            } else if (second == 't') {
                float* texcoords = model->texcoords ? model->texcoords[0] : nullptr;
                obj_scan_floats(&loader->stream,
                                next_slot(&loader->next_texcoord, model->texcoord_count, texcoords, 2, scratch), 2);
            }
            break;
        case 'f':
            read_face<true>(loader);
            break;
        case 'g':
            read_group<true>(loader);
            break;
        default:
            skip_line(loader);
            break;
        }
    }
    // A filling pass that met fewer triangles than were counted leaves the rest of the array
    // unused: they belong to no group and are no part of the model.
    if (loader->next_triangle < model->triangle_count)
        model->triangle_count = static_cast<uint32_t>(loader->next_triangle);
}

// The file's text with a NUL and padding after it, mapped where the system allows it and read
// into one buffer otherwise.
struct FileText {
    char* text;
    size_t size;
    size_t mapped;  // bytes of the mapping, 0 for a buffer from malloc
};

#if defined(__unix__)
#ifndef MAP_POPULATE
#define MAP_POPULATE 0  // Linux only: map every page up front rather than fault them in one by one
#endif

// A regular file mapped read-only, followed by one page of zeros (the NUL and padding after
// the text).
static bool map_file(FILE* file, FileText* out) {
    struct stat info;
    int fd = fileno(file);
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) return false;
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t size = static_cast<size_t>(info.st_size);
    size_t file_span = (size + page - 1) / page * page;
    void* base = mmap(nullptr, file_span + page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return false;
    if (mmap(base, file_span, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, fd, 0) == MAP_FAILED) {
        munmap(base, file_span + page);
        return false;
    }
    *out = FileText{static_cast<char*>(base), size, file_span + page};
    return true;
}
#endif

// The whole file in one buffer; false when memory runs out.
static bool read_file(FILE* file, FileText* out) {
#if defined(__unix__)
    if (map_file(file, out)) return true;
#endif
    size_t capacity = 1 << 16;
    if (fseek(file, 0, SEEK_END) == 0) {
        long end = ftell(file);
        if (end > 0) capacity = static_cast<size_t>(end);
        rewind(file);
    }
    char* text = static_cast<char*>(malloc(capacity + OBJ_STREAM_PADDING));
    size_t length = 0;
    while (text) {
        length += fread(text + length, 1, capacity - length, file);
        if (length < capacity) break;  // end of file, or a read error, which ends it as well
        int c = fgetc(file);
        if (c == EOF) break;
        char* bigger = capacity < SIZE_MAX / 4 ? static_cast<char*>(realloc(text, capacity * 2 + OBJ_STREAM_PADDING))
                                               : nullptr;
        if (!bigger) free(text);
        text = bigger;
        capacity *= 2;
        if (text) text[length++] = static_cast<char>(c);
    }
    if (!text) return false;
    memset(text + length, 0, OBJ_STREAM_PADDING);
    *out = FileText{text, length, 0};
    return true;
}

static void release_file(FileText* file) {
#if defined(__unix__)
    if (file->mapped) {
        munmap(file->text, file->mapped);
        return;
    }
#endif
    free(file->text);
}

// Loads a file into *model and gives it smooth normals. Returns 1 once the file was opened,
// whatever it held, and 0 when it could not be opened or memory ran out; on 0 the record is
// left exactly as it was. What an earlier load left in the record is released.
int obj_load(ObjModel* model, const char* path) {
    FILE* file = fopen(path, "rt");
    if (!file) return 0;
    FileText text;
    bool read = read_file(file, &text);
    fclose(file);
    if (!read) return 0;

    ObjModel loaded = {};
    Loader loader = {};
    loader.model = &loaded;
    loader.stream = {text.text, text.text + text.size};
    obj_count_pass(&loader);
    bool ok = !loader.out_of_memory && allocate_arrays(&loaded);
    if (ok) {
        loader.stream = {text.text, text.text + text.size};
        obj_fill_pass(&loader);
    }
    release_file(&text);
    free(loader.index.slots);
    if (!ok) {
        obj_release(&loaded);
        return 0;
    }
    obj_release(model);
    *model = loaded;
    obj_compute_normals(model);
    return 1;
}
