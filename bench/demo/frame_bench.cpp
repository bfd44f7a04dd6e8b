// One frame of the demo on the offscreen 640x480 context with the shipped data, and its parts:
// the model scene, the glow, and the bars with the scroller. Each is finished with glFinish so
// the software renderer's work is counted where it happens.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "audio/music.h"
#include "demo/demo.h"
#include "demo/font.h"
#include "demo/glow.h"
#include "demo/scene.h"
#include "platform/gl.h"
#include "tests/audio/fake_sound.h"
#include "platform/offscreen/offscreen_gl.h"

namespace {

std::unique_ptr<OffscreenGL> context;

bool set_up() {
    if (context) return true;
    context = std::make_unique<OffscreenGL>(640, 480, OffscreenRenderer::Llvmpipe);
    if (!context->ok()) {
        fprintf(stderr, "no offscreen context: %s\n", context->error().c_str());
        return false;
    }
    glViewport(0, 0, 640, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, 640.0 / 480.0, 0.1f, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    demo_init();
    return true;
}

// Clocks spread over the track, so the camera is seen from many sides.
float clock_for(int64_t i) { return static_cast<float>((i * 7919) % 180000); }

void BM_Frame(benchmark::State& state) {
    if (!set_up()) return state.SkipWithError("no GL");
    int64_t i = 0;
    for (auto _ : state) {
        fake_sound_set_time(static_cast<int>(clock_for(i++)));
        demo_frame();
        glFinish();
    }
}

void BM_Scene(benchmark::State& state) {
    if (!set_up()) return state.SkipWithError("no GL");
    int64_t i = 0;
    for (auto _ : state) {
        music_clock = clock_for(i++);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        draw_model_scene();
        glFinish();
    }
}

void BM_Glow(benchmark::State& state) {
    if (!set_up()) return state.SkipWithError("no GL");
    music_clock = 5000.0f;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    draw_model_scene();
    for (auto _ : state) {
        apply_glow(1, 3, 1, 0.3f);
        glFinish();
    }
}

void BM_BarsAndScroller(benchmark::State& state) {
    if (!set_up()) return state.SkipWithError("no GL");
    int64_t i = 0;
    for (auto _ : state) {
        music_clock = clock_for(i++);
        draw_letterbox_bars();
        draw_scroller();
        glFinish();
    }
}

}  // namespace

BENCHMARK(BM_Frame)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Scene)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Glow)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BarsAndScroller)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_MAIN();
