// The page's test hook: holds the music at a given position, so that the demo draws the frame
// for that clock and goes on drawing it unchanged (a paused stream's clock stands still; the
// keys still act on it). Releasing it plays on from there. The music's position can be read.
#include "audio/music.h"
#include "platform/sound/sound.h"

extern "C" void glow_hold_clock(int ms) {
    sound_stream_set_time(music_stream, ms);
    sound_set_paused(music_channel, 1);
}

extern "C" void glow_release_clock() { sound_set_paused(music_channel, 0); }

extern "C" int glow_music_time() { return sound_stream_get_time(music_stream); }
