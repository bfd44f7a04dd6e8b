// Each track is read whole into one malloc'd block that the sound library streams from; the
// block lives exactly as long as the stream that reads it.
#include "audio/music.h"

#include "platform/sound/sound.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

const char* const Playlist[PLAYLIST_SLOTS] = {
    "data/music/track.mp3",  "data/music/track2.mp3", "data/music/track2.mp3",
    "data/music/track2.mp3", "data/music/track2.mp3",
};
int track_index = 0;
SoundStream* music_stream = nullptr;
int music_channel = -1;
float music_clock = 0.0f;

// The block the current stream reads from; it is released together with that stream.
static char* music_buffer = nullptr;

static void forget_stream() {
    music_stream = nullptr;
    music_channel = -1;
    std::free(music_buffer);
    music_buffer = nullptr;
}

// Indexes outside the table read as empty slots.
static const char* playlist_entry(int index) {
    return index >= 0 && index < PLAYLIST_SLOTS ? Playlist[index] : nullptr;
}

// Reads the whole file into a new block; null when it cannot be opened or read, or is empty.
static char* read_track(const char* path, int* size) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return nullptr;
    char* block = nullptr;
    long length = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) length = std::ftell(f);
    if (length > 0 && length <= INT_MAX && std::fseek(f, 0, SEEK_SET) == 0) {
        block = static_cast<char*>(std::malloc(static_cast<size_t>(length)));
        if (block && std::fread(block, static_cast<size_t>(length), 1, f) != 1) {
            std::free(block);
            block = nullptr;
        }
    }
    std::fclose(f);
    *size = static_cast<int>(length);
    return block;
}

void start_music() {
    sound_set_output(SOUND_OUTPUT_DEFAULT);
    sound_init(MUSIC_MIX_RATE, 32, 0);
    // A second init (window re-creation) has released the stream that played until now.
    forget_stream();
    play_track(playlist_entry(track_index));
}

void play_track(const char* path) {
    if (!path) return;
    int size = 0;
    char* block = read_track(path, &size);
    if (!block) return;
    music_stream = sound_stream_open(block, SOUND_NORMAL | SOUND_LOADMEMORY | SOUND_MPEGACCURATE,
                                     0, size);
    if (!music_stream) {
        std::free(block);
        return;
    }
    music_buffer = block;
    music_channel = sound_stream_play_ex(SOUND_FREE, music_stream, nullptr, 1);
    sound_set_paused(music_channel, 0);
}

// Steps wrap around instead of overflowing, however long a key is held.
static int step_index(int index, int delta) {
    return static_cast<int>(static_cast<unsigned>(index) + static_cast<unsigned>(delta));
}

void next_track() {
    sound_stream_close(music_stream);
    forget_stream();
    const char* path = playlist_entry(track_index);
    track_index = step_index(track_index, 1);
    play_track(path);
}

void previous_track() {
    sound_stream_close(music_stream);
    forget_stream();
    const char* path = playlist_entry(track_index);
    track_index = step_index(track_index, -1);
    play_track(path);
}

// The target is truncated toward zero and not clamped at 0: Left near the start passes a
// negative time, which the sound layer takes as 0. Only values no int can hold are pinned.
void seek_music(float delta) {
    float target = music_clock + delta;
    int ms = 0;
    if (target >= 2147483648.0f) ms = INT_MAX;
    else if (target <= -2147483648.0f) ms = INT_MIN;
    else if (target == target) ms = static_cast<int>(target);
    sound_stream_set_time(music_stream, ms);
}

void update_music_clock() {
    music_clock = music_stream ? static_cast<float>(sound_stream_get_time(music_stream)) : 0.0f;
}
