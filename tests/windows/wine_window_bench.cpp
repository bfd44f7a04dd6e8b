// The real shell on Windows (run under Wine by tools/wine-measure.sh): the time from the start
// box's answer to the first swapped frame, and frames per second of the whole demo frame + swap,
// measured as bench/shell's window benchmark measures the Linux build.
#include <cstdio>
#include <vector>

#include <direct.h>

#include "app/gl_window.h"
#include "bench/shell/window_timing.h"
#include "demo/demo.h"
#include "platform/gl.h"

int main() {
    if (_chdir(GLOW_SOURCE_DIR) != 0) return 1;
    std::vector<double> first_frame;
    for (int i = 0; i < 5; ++i) {
        auto t = Clock::now();
        if (!open_gl_window("bench", 640, 480, 32, false)) return 1;
        demo_frame();
        SwapBuffers(device_context);
        glFinish();
        first_frame.push_back(ms_since(t));
        close_gl_window();
    }

    if (!open_gl_window("bench", 640, 480, 32, false)) return 1;
    std::vector<double> rates;
    for (int b = 0; b < 5; ++b) {
        auto t = Clock::now();
        for (int i = 0; i < 60; ++i) {
            pump();
            demo_frame();
            SwapBuffers(device_context);
        }
        glFinish();
        rates.push_back(60 * 1000.0 / ms_since(t));
    }
    close_gl_window();
    double whole = median(rates);
    printf("glow.exe's shell under Wine (llvmpipe, 640x480, no swap interval), medians:\n");
    printf("  whole demo frame + swap:  %7.1f frames/s (%.1f ms)\n", whole, 1000.0 / whole);
    printf("start box answered -> first swapped frame: %.1f ms (median of 5)\n",
           median(first_frame));
    return 0;
}
