// The demo on an offscreen context, driven frame by frame: the same start-up and frame as the
// window runs, with the music on the sound library's non-real-time output, so the music clock
// moves only by the samples the capture takes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/music.h"
#include "capture/options.h"
#include "demo/screen_size.h"

class OffscreenGL;

// Starts the music alone on the non-real-time output: options.track from options.from_ms.
// Returns 0 with the track's length in *length_ms, or the exit status for a failure (1 for a
// missing file or an unplayable track, 2 for a start past the track's end) with error set.
int start_music_track(const CaptureOptions& options, int* length_ms, std::string* error);

// Takes the next `frames` stereo samples of the mix, moving the music clock by as much.
void take_samples(int16_t* samples, int frames);

class DemoRenderer {
public:
    DemoRenderer();
    ~DemoRenderer();

    // Creates the context and starts the demo on options.track, with lighting as asked and the
    // music moved to options.from_ms. Returns false with error set when there is no context.
    bool start(const CaptureOptions& options, std::string* error);
    // Draws the frame for the music clock as it now stands.
    void render();
    // Reads the frame drawn last into pixels: 4 bytes a pixel (B, G, R, A), bottom row first.
    void read(uint8_t* pixels);

private:
    std::unique_ptr<OffscreenGL> gl_;
};

// One frame as read back.
constexpr size_t kFrameBytes = static_cast<size_t>(screen_width) * screen_height * 4;

// The first sample (at the mix rate) of frame k at fps frames a second: round(k * rate / fps),
// so that the sound of every frame is its own interval and the sum never drifts.
inline int64_t frame_start_sample(int64_t k, int fps) {
    return (2 * k * MUSIC_MIX_RATE + fps) / (2 * static_cast<int64_t>(fps));
}

// The first file that demo start-up reads and this working directory lacks, or empty.
std::string missing_data_file(int track);
