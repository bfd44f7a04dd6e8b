// The demo on an offscreen context: window view, sound output fixed to the non-real-time one
// before start-up, the track and the lighting switch set as the options say.
#include "capture/renderer.h"

#include <limits.h>
#include <unistd.h>

#include "audio/music.h"
#include "demo/demo.h"
#include "demo/screen_size.h"
#include "platform/gl.h"
#include "platform/offscreen/offscreen_gl.h"
#include "platform/sound/sound.h"

DemoRenderer::DemoRenderer() = default;
DemoRenderer::~DemoRenderer() = default;

std::string missing_data_file(int track) {
    const char* const files[] = {"data/textures/objtex.png", "data/textures/font.png",
                                 "data/textures/metal.png",  "data/3d/torus.obj",
                                 "data/3d/tomte.obj",        Playlist[track]};
    for (const char* file : files)
        if (access(file, R_OK) != 0) return file;
    return "";
}

int start_music_track(const CaptureOptions& options, int* length_ms, std::string* error) {
    std::string missing = missing_data_file(options.track);
    if (!missing.empty()) {
        char here[PATH_MAX];
        *error =
            "cannot read " + std::string(getcwd(here, sizeof(here)) ? here : ".") + "/" + missing;
        return 1;
    }
    sound_fix_output(SOUND_OUTPUT_MANUAL);
    track_index = options.track;
    start_music();
    if (!music_stream || sound_get_output() != SOUND_OUTPUT_MANUAL) {
        *error = std::string("cannot play ") + Playlist[options.track];
        return 1;
    }
    *length_ms = sound_stream_get_length_ms(music_stream);
    if (options.from_ms >= *length_ms) {
        *error = "--from " + std::to_string(options.from_ms) + " is not before the end of " +
                 Playlist[options.track] + " (" + std::to_string(*length_ms) + " ms)";
        return 2;
    }
    if (options.from_ms > 0) sound_stream_set_time(music_stream, options.from_ms);
    return 0;
}

void take_samples(int16_t* samples, int frames) { sound_mix(samples, frames); }

bool DemoRenderer::start(const CaptureOptions& options, std::string* error) {
    gl_ = std::make_unique<OffscreenGL>(screen_width, screen_height);
    if (!gl_->ok()) {
        *error = "no offscreen OpenGL context: " + gl_->error();
        return false;
    }
    // The window's view of its client area, as it is set before the demo starts.
    glViewport(0, 0, screen_width, screen_height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(screen_width) / screen_height, 0.1f, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    // The music restarts with the demo, still on the output fixed before.
    sound_fix_output(SOUND_OUTPUT_MANUAL);
    track_index = options.track;
    demo_init();
    if (options.lighting) glEnable(GL_LIGHTING);
    if (options.from_ms > 0) sound_stream_set_time(music_stream, options.from_ms);
    return true;
}

void DemoRenderer::render() {
    update_music_clock();
    demo_frame();
    glFinish();
}

void DemoRenderer::read(uint8_t* pixels) {
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, screen_width, screen_height, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
}
