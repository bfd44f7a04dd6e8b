// Reading what the demo produced: screenshots (PNG) and audio (the SDL disk driver's raw
// output), and a reference decode of an MP3 to compare the audio with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // top row first
    bool ok() const { return width > 0; }
    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

Picture read_png(const std::string& path);

// The leftmost column of the demo's bottom bar (rows 420-479) with any red in it, or -1: where
// the scroller's message begins.
int leftmost_red(const Picture& p);

// Interleaved 16-bit stereo at 44100 Hz, decoded gaplessly from the first sample.
std::vector<int16_t> decode_mp3(const std::string& path);

// Raw interleaved 16-bit samples from a file (the disk audio driver's output).
std::vector<int16_t> read_samples(const std::string& path);

// The first stereo frame index at which `haystack` holds `frames` frames equal to `needle`
// starting at needle_frame, or -1.
long find_frames(const std::vector<int16_t>& haystack, const std::vector<int16_t>& needle,
                 long needle_frame, long frames);

// Reads out (what a device wrote) in whole device buffers of `buffer` frames and finds each
// one that holds sound in ref (the last may end with silence past ref's end): a device that
// fell behind goes on at the clock, so a buffer may start later in ref than the one before
// ended, never earlier; a silent buffer is a rest in the music. The frame of ref just after
// the last buffer with sound (first_at: where the first one starts), 0 when none has sound,
// -1 when a buffer is not in ref or goes back in it.
long buffers_in_order(const std::vector<int16_t>& out, const std::vector<int16_t>& ref,
                      size_t buffer, long* first_at = nullptr);
