// Stand-ins for the demo and the music that the shell drives: each call is logged.
#include <functional>
#include <string>

#include "tests/shell/fake_win32.h"

int demo_frame_result = 1;
std::function<void()> frame_hook;  // runs inside every demo_frame, with the context current

int demo_init() {
    fake::log.push_back("demo_init");
    return 1;
}

int demo_frame() {
    fake::log.push_back("demo_frame");
    if (frame_hook) frame_hook();
    return demo_frame_result;
}

void next_track() { fake::log.push_back("next_track"); }
void previous_track() { fake::log.push_back("previous_track"); }
void seek_music(float delta) { fake::log.push_back("seek_music " + std::to_string(static_cast<int>(delta))); }
