// The music: the playlist, the one current stream, the track and seek controls, and the music
// clock that drives every animation.
#pragma once

struct SoundStream;

#define PLAYLIST_SLOTS 32
// The rate the music is mixed at, in frames a second: what the sound card plays and what the
// capture writes.
#define MUSIC_MIX_RATE 44100

extern const char* const Playlist[PLAYLIST_SLOTS];
extern int track_index;
extern SoundStream* music_stream;
extern int music_channel;
extern float music_clock;

// Starts the sound library (default output, MUSIC_MIX_RATE, 32 channels) and plays the current
// playlist slot from 0. Run again (a new window), it first forgets the stream that the new
// init released.
void start_music();
// Reads the file at path whole and plays it from 0 as the current stream; a null path, or a
// file that cannot be read or holds no MP3, leaves no current stream. Expects no current
// stream: the caller has closed and forgotten the one before.
void play_track(const char* path);
// Close the current stream and play the current slot's file, then step track_index by one
// (next) or back by one (previous); slots outside the table, or empty, play nothing.
void next_track();
void previous_track();
// Moves the current stream to music_clock + delta milliseconds (clamped by the sound library
// to the track); does nothing without a stream.
void seek_music(float delta);
// Sets music_clock to the current stream's position in milliseconds, or 0 without a stream.
void update_music_clock();
