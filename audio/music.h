// The music: a fixed playlist of MP3 files, one stream at a time, and the music clock that
// drives every animation of the demo.
#pragma once

struct SoundStream;

#define PLAYLIST_SLOTS 32

extern const char* const Playlist[PLAYLIST_SLOTS];
extern int track_index;
extern SoundStream* music_stream;
extern int music_channel;
extern float music_clock;

void start_music();
void play_track(const char* path);
void next_track();
void previous_track();
void seek_music(float delta);
void update_music_clock();
