// Music (not filled in yet).
#include "audio/music.h"

const char* const Playlist[PLAYLIST_SLOTS] = {};
int track_index = 0;
SoundStream* music_stream = nullptr;
int music_channel = -1;
float music_clock = 0.0f;

void start_music() {}
void play_track(const char*) {}
void next_track() {}
void previous_track() {}
void seek_music(float) {}
void update_music_clock() {}
