#include "tests/demo/demo_fixture.h"

#include <unistd.h>

#include "audio/music.h"
#include "platform/gl.h"
#include "tests/audio/fake_sound.h"

void DemoGL::SetUp() {
    ASSERT_EQ(chdir(GLOW_SOURCE_DIR), 0);
    gl_ = std::make_unique<OffscreenGL>(640, 480, OffscreenRenderer::Llvmpipe);
    ASSERT_TRUE(gl_->ok()) << gl_->error();
    fake_sound_reset();
    music_clock = 0.0f;
    track_index = 0;
    music_stream = nullptr;
    set_window_view();
}

void DemoGL::TearDown() { gl_.reset(); }

void DemoGL::set_window_view() {
    glViewport(0, 0, 640, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, 640.0 / 480.0, 0.1f, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void DemoGL::set_clock(int ms) { fake_sound_set_time(ms); }

std::vector<uint8_t> rgb_of(const std::vector<uint8_t>& rgba) {
    std::vector<uint8_t> rgb;
    rgb.reserve(rgba.size() / 4 * 3);
    for (size_t i = 0; i < rgba.size(); i += 4) rgb.insert(rgb.end(), &rgba[i], &rgba[i + 3]);
    return rgb;
}
