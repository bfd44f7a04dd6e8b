// What the window benchmarks share, on Linux (bench_window) and under Wine (wine_window_bench):
// milliseconds since a moment, the median of some runs, emptying the window's message queue,
// and the two measurements both make: the first frame after the start box, and frame rates.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

#include "app/gl_window.h"
#include "demo/demo.h"
#include "platform/gl.h"
#include "platform/win32/win32.h"

using Clock = std::chrono::steady_clock;

inline double ms_since(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline void pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

// From the start box's answer to the first frame on screen: window, context, the demo's
// start-up (textures, meshes, font, glow, music), one frame and the swap. The median of five
// runs in ms, or -1 when the window cannot be opened.
inline double first_frame_ms() {
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        auto t = Clock::now();
        if (!open_gl_window("bench", 640, 480, 32, false)) return -1;
        demo_frame();
        SwapBuffers(device_context);
        glFinish();
        runs.push_back(ms_since(t));
        close_gl_window();
    }
    return median(runs);
}

// Frames per second over batches of frames in the open window, median of the batches.
template <typename Frame>
double frame_rate(Frame frame, int batches, int frames) {
    std::vector<double> rates;
    for (int b = 0; b < batches; ++b) {
        auto t = Clock::now();
        for (int i = 0; i < frames; ++i) {
            pump();
            frame();
            SwapBuffers(device_context);
        }
        glFinish();
        rates.push_back(frames * 1000.0 / ms_since(t));
    }
    return median(rates);
}
