// Renders the demo's frame for given music clocks on the offscreen context and writes PNGs:
//   frameshot CLOCK_MS OUT.png [CLOCK_MS OUT.png ...]
// Run from the repository root (it reads data/). For looking at the picture while tuning.
#include <cstdio>
#include <cstdlib>

#include "demo/demo.h"
#include "platform/gl.h"
#include "tests/audio/fake_sound.h"
#include "platform/offscreen/offscreen_gl.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc % 2 == 0) {
        fprintf(stderr, "usage: frameshot CLOCK_MS OUT.png [CLOCK_MS OUT.png ...]\n");
        return 2;
    }
    OffscreenGL gl;
    if (!gl.ok()) {
        fprintf(stderr, "frameshot: %s\n", gl.error().c_str());
        return 1;
    }
    glViewport(0, 0, 640, 480);
    glMatrixMode(GL_PROJECTION);
    gluPerspective(45.0, 640.0 / 480.0, 0.1f, 100.0);
    glMatrixMode(GL_MODELVIEW);
    demo_init();
    for (int i = 1; i < argc; i += 2) {
        fake_sound_set_time(atoi(argv[i]));
        demo_frame();
        if (!gl.save_png(argv[i + 1])) {
            fprintf(stderr, "frameshot: cannot write %s\n", argv[i + 1]);
            return 1;
        }
    }
    return 0;
}
