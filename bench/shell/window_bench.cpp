// The demo in a real window under a private Xvfb: frames per second of the bare frame (clear,
// bars, swap) and of the whole demo frame, the time from the start box's answer to the first
// swapped frame, and from the process's start to the start box.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/gl_window.h"
#include "bench/shell/window_timing.h"
#include "demo/demo.h"
#include "platform/gl.h"
#include "tests/support/x11_session.h"

namespace {

// The frame before the scene existed: clear and the two bars.
void bare_frame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    draw_letterbox_bars();
    glColor3f(1.0f, 1.0f, 1.0f);
}

}  // namespace

int main() {
    if (chdir(GLOW_SOURCE_DIR) != 0) return 1;
    Xvfb xvfb(1024, 768);
    if (!xvfb.ok()) {
        fprintf(stderr, "no Xvfb\n");
        return 1;
    }
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);

    double first_frame = first_frame_ms();
    if (first_frame < 0) return 1;

    open_gl_window("bench", 640, 480, 32, false);
    double bare = frame_rate(bare_frame, 5, 200);
    double whole = frame_rate([] { demo_frame(); }, 5, 60);
    close_gl_window();

    // From the process's start to its start box, with the real binary.
    std::vector<double> to_box;
    for (int i = 0; i < 5; ++i) {
        auto t = Clock::now();
        Child glow({GLOW_BINARY}, GLOW_SOURCE_DIR, {{"DISPLAY", xvfb.display()}}, "");
        if (!x11::wait_for_window(xvfb.display(), "Start FullScreen?", std::chrono::seconds(10)))
            return 1;
        to_box.push_back(ms_since(t));
        glow.kill_group();
    }

    printf("window frames under Xvfb (llvmpipe, 640x480, no swap interval), medians:\n");
    printf("  clear, bars, swap:        %7.1f frames/s\n", bare);
    printf("  whole demo frame + swap:  %7.1f frames/s (%.1f ms)\n", whole, 1000.0 / whole);
    printf("start box answered -> first swapped frame: %.1f ms (median of 5)\n", first_frame);
    printf("process start -> start box on screen:      %.1f ms (median of 5)\n", median(to_box));
    return 0;
}
