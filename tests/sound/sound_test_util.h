// Helpers for the sound layer tests: small MP3s made with lame, a reference decode with plain
// libmpg123, and reading what SDL's disk audio driver wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/media.h"  // find_frames, buffers_in_order

// Interleaved 16-bit stereo frames.
using Pcm = std::vector<int16_t>;

// A scratch directory, removed with its contents at destruction.
struct TempDir {
    TempDir();
    ~TempDir();
    std::string path;
};

struct Tone {
    double seconds = 3.0;
    int rate = 44100;
    int channels = 2;
    // Left: a sweep from sweep_from to sweep_to Hz; right: a steady tone of right_hz whose
    // loudness swells, so the two sides differ and no stretch of either repeats.
    double sweep_from = 300, sweep_to = 1200, right_hz = 500;
};

// Writes the tone to a WAV file and encodes it with lame at 128 kbit/s into mp3_path (mono when
// channels is 1). False when lame is missing or fails.
bool make_tone_mp3(const std::string& mp3_path, const Tone& tone);

// Makes a 16-bit WAV at rate Hz with sox's effects (for instance "synth 2 sine 1000"; noise is
// the same on every run) and encodes it with `lame --quiet lame_args` into mp3_path. False when
// either tool fails.
bool make_sox_mp3(const std::string& mp3_path, int rate, int channels, const std::string& effects,
                  const std::string& lame_args);

std::vector<unsigned char> read_bytes(const std::string& path);
bool write_bytes(const std::string& path, const std::vector<unsigned char>& bytes);

// The whole file decoded by libmpg123 from sample 0, gapless, as 16-bit stereo at rate Hz.
// native_rate receives the file's own sample rate when not null.
Pcm reference_decode(const std::string& mp3_path, int rate, long* native_rate = nullptr);

// What the disk audio driver wrote: raw 16-bit stereo.
Pcm read_pcm(const std::string& path);

// Frames (not samples) in a stereo PCM buffer.
inline size_t frames(const Pcm& pcm) { return pcm.size() / 2; }


// True when frames [from, to) of pcm are all zero.
// The first frame of pcm that is not silent (frames(pcm) when none).
size_t first_sound(const Pcm& pcm);
bool silent(const Pcm& pcm, size_t from, size_t to);

// How many frames at the start of out[at..] equal ref[ref_from..].
size_t matching_frames(const Pcm& out, size_t at, const Pcm& ref, size_t ref_from);

// Sets SDL's audio driver for the next sound_init: "disk" writes to file (delay_ms between
// buffers, -1 for the driver's real-time default), "dummy" discards in real time.
void use_disk_driver(const std::string& file, int delay_ms);
void use_dummy_driver();
