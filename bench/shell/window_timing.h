// What the window benchmarks share, on Linux (bench_window) and under Wine (wine_window_bench):
// milliseconds since a moment, the median of some runs, and emptying the window's message queue.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

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
