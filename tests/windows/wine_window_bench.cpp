// The real shell on Windows (run under Wine by tools/wine-measure.sh): the time from the start
// box's answer to the first swapped frame, and frames per second of the whole demo frame + swap,
// measured as bench/shell's window benchmark measures the Linux build.
#include <cstdio>

#include <direct.h>

#include "bench/shell/window_timing.h"

int main() {
    if (_chdir(GLOW_SOURCE_DIR) != 0) return 1;
    double first_frame = first_frame_ms();
    if (first_frame < 0 || !open_gl_window("bench", 640, 480, 32, false)) return 1;
    double whole = frame_rate([] { demo_frame(); }, 5, 60);
    close_gl_window();
    printf("glow.exe's shell under Wine (llvmpipe, 640x480, no swap interval), medians:\n");
    printf("  whole demo frame + swap:  %7.1f frames/s (%.1f ms)\n", whole, 1000.0 / whole);
    printf("start box answered -> first swapped frame: %.1f ms (median of 5)\n", first_frame);
    return 0;
}
