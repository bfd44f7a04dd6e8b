// Loading speed and memory: obj_load against tinyobjloader on one generated OBJ file of over
// 100 MB (v, vt, vn, faces v/t/n, several groups), both in the same run. Prints MB/s for both,
// their ratio, and obj_load's peak memory against the file's size plus the record's arrays.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <tiny_obj_loader.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "mesh/obj.h"
#include "mesh/obj_internal.h"

namespace {

const int kGrid = 800;        // vertices per side of the generated surface
const int kGroups = 8;        // bands of rows, one "g" line each

std::string g_path;
size_t g_file_size = 0;
// Best run of each loader (obj_load, tinyobjloader), in wall-clock and in CPU seconds; the CPU
// time is steadier on a machine that other work shares.
double g_best_seconds[2] = {1e30, 1e30};
double g_best_cpu_seconds[2] = {1e30, 1e30};

// A wavy sheet as an exporter would write it: six decimals, normals, texture coordinates and
// quads in v/t/n form, in kGroups groups.
bool write_test_file(const std::string& path) {
    FILE* out = fopen(path.c_str(), "w");
    if (!out) return false;
    static char buffer[1 << 16];
    setvbuf(out, buffer, _IOFBF, sizeof buffer);
    fprintf(out, "# benchmark surface, %d x %d vertices\n", kGrid, kGrid);
    for (int j = 0; j < kGrid; ++j)
        for (int i = 0; i < kGrid; ++i) {
            double x = (i - kGrid / 2) * 0.125, z = (j - kGrid / 2) * 0.125;
            fprintf(out, "v %.6f %.6f %.6f\n", x, 3 * std::sin(x * 0.37) * std::cos(z * 0.23), z);
        }
    for (int j = 0; j < kGrid; ++j)
        for (int i = 0; i < kGrid; ++i)
            fprintf(out, "vt %.6f %.6f\n", double(i) / (kGrid - 1), double(j) / (kGrid - 1));
    for (int j = 0; j < kGrid; ++j)
        for (int i = 0; i < kGrid; ++i) {
            double a = i * 0.01, b = j * 0.02;
            fprintf(out, "vn %.6f %.6f %.6f\n", std::sin(a) * 0.3, std::cos(b) * 0.9, 0.3);
        }
    for (int j = 0; j + 1 < kGrid; ++j) {
        if (j % ((kGrid - 1 + kGroups - 1) / kGroups) == 0) fprintf(out, "g band%d\n", j);
        for (int i = 0; i + 1 < kGrid; ++i) {
            int a = j * kGrid + i + 1, b = a + 1, c = b + kGrid, d = a + kGrid;
            fprintf(out, "f %d/%d/%d %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, c, c, c, d, d, d);
        }
    }
    return fclose(out) == 0;
}

struct Stopwatch {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    std::clock_t cpu = std::clock();
    void note(int which) const {
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
        g_best_seconds[which] = std::min(g_best_seconds[which], seconds);
        g_best_cpu_seconds[which] = std::min(g_best_cpu_seconds[which], double(std::clock() - cpu) / CLOCKS_PER_SEC);
    }
};

void BM_obj_load(benchmark::State& state) {
    for (auto _ : state) {
        static ObjModel model;
        Stopwatch watch;
        int result = obj_load(&model, g_path.c_str());
        watch.note(0);
        if (result != 1) state.SkipWithError("obj_load failed");
        state.counters["triangles"] = model.triangle_count;
        obj_release(&model);
    }
    state.SetBytesProcessed(static_cast<int64_t>(g_file_size) * state.iterations());
}

void BM_tinyobjloader(benchmark::State& state) {
    for (auto _ : state) {
        tinyobj::attrib_t attrib;
        std::vector<tinyobj::shape_t> shapes;
        std::vector<tinyobj::material_t> materials;
        std::string warn, err;
        Stopwatch watch;
        bool ok = tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, g_path.c_str(), nullptr, true);
        watch.note(1);
        if (!ok) state.SkipWithError("tinyobjloader failed");
        size_t triangles = 0;
        for (const auto& shape : shapes) triangles += shape.mesh.indices.size() / 3;
        state.counters["triangles"] = static_cast<double>(triangles);
    }
    state.SetBytesProcessed(static_cast<int64_t>(g_file_size) * state.iterations());
}

// A "VmXXX:   N kB" line of /proc/self/status, in bytes; 0 when it cannot be read.
size_t status_bytes(const char* key) {
    FILE* f = fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    size_t kb = 0;
    while (fgets(line, sizeof line, f))
        if (strncmp(line, key, strlen(key)) == 0) kb = strtoul(line + strlen(key) + 1, nullptr, 10);
    fclose(f);
    return kb * 1024;
}

// Loads once and compares the peak resident memory the load added with the file's size plus
// the arrays of the record it made, plus 10%.
void report_peak_memory() {
    size_t before = status_bytes("VmRSS");
    FILE* reset = fopen("/proc/self/clear_refs", "w");  // "5" resets the peak to the current size
    bool peak_reset = reset && fputs("5", reset) >= 0 && fclose(reset) == 0;
    if (reset && !peak_reset) reset = nullptr;
    static ObjModel model;
    obj_load(&model, g_path.c_str());
    size_t peak = status_bytes("VmHWM");
    if (!peak_reset) {
        struct rusage usage;
        getrusage(RUSAGE_SELF, &usage);
        peak = static_cast<size_t>(usage.ru_maxrss) * 1024;
    }
    size_t arrays = (size_t(model.vertex_count) + 1) * 2 * sizeof(float[3]) +
                    (model.texcoord_count ? (size_t(model.texcoord_count) + 1) * sizeof(float[2]) : 0) +
                    size_t(model.triangle_count) * sizeof(ObjTriangle);
    for (const ObjGroup* g = model.groups; g; g = g->next)
        arrays += g->triangle_count * sizeof(int32_t) + sizeof(ObjGroup) + strlen(g->name) + 1;
    size_t added = peak > before ? peak - before : 0;
    double budget = (g_file_size + arrays) * 1.1;
    printf("obj_load peak memory: %.1f MB added (file %.1f MB + arrays %.1f MB = %.1f MB, +10%% = %.1f MB): %s\n",
           added / 1e6, g_file_size / 1e6, arrays / 1e6, (g_file_size + arrays) / 1e6, budget / 1e6,
           added <= budget ? "within" : "OVER");
    obj_release(&model);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const char* dir = getenv("TMPDIR");
    g_path = std::string(dir && *dir ? dir : "/tmp") + "/bench_obj_" + std::to_string(getpid()) + ".obj";
    if (!write_test_file(g_path)) {
        fprintf(stderr, "bench_obj: cannot write %s\n", g_path.c_str());
        return 1;
    }
    FILE* f = fopen(g_path.c_str(), "rb");
    fseek(f, 0, SEEK_END);
    g_file_size = static_cast<size_t>(ftell(f));
    fclose(f);
    printf("bench_obj: %s, %.1f MB\n", g_path.c_str(), g_file_size / 1e6);
    report_peak_memory();

    benchmark::RegisterBenchmark("obj_load", BM_obj_load)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("tinyobjloader", BM_tinyobjloader)
        ->Iterations(2)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    unlink(g_path.c_str());

    double mb = g_file_size / 1e6;
    printf("obj_load:      %8.1f MB/s wall, %8.1f MB/s CPU (best runs %.3f s, %.3f s)\n", mb / g_best_seconds[0],
           mb / g_best_cpu_seconds[0], g_best_seconds[0], g_best_cpu_seconds[0]);
    printf("tinyobjloader: %8.1f MB/s wall, %8.1f MB/s CPU (best runs %.3f s, %.3f s)\n", mb / g_best_seconds[1],
           mb / g_best_cpu_seconds[1], g_best_seconds[1], g_best_cpu_seconds[1]);
    printf("obj_load / tinyobjloader: %.2fx wall, %.2fx CPU (target 3x or more)\n",
           g_best_seconds[1] / g_best_seconds[0], g_best_cpu_seconds[1] / g_best_cpu_seconds[0]);
    return 0;
}
