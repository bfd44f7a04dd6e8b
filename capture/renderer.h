// The demo on an offscreen context, driven frame by frame: the same start-up and frame as the
// window runs, with the music on the sound library's non-real-time output, so the music clock
// moves only by the samples the capture takes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/options.h"

class OffscreenGL;

class DemoRenderer {
public:
    DemoRenderer();
    ~DemoRenderer();

    // Creates the context, starts the demo on options.track with lighting as asked and moves
    // the music to options.from_ms. Returns 0, or the exit status for a failure (1 for a missing
    // file, no GL or an unplayable track; 2 for a start past the track's end) with error set.
    int start(const CaptureOptions& options, std::string* error);
    // The track's length in milliseconds.
    int length_ms() const { return length_ms_; }
    // Draws the frame for the music clock as it now stands.
    void render();
    // Reads the frame drawn last: 4 bytes a pixel (B, G, R, A), bottom row first.
    void read(std::vector<uint8_t>* pixels);
    // Takes the next `frames` stereo samples of the mix, moving the music clock by as much.
    void mix(int16_t* samples, int frames);

private:
    std::unique_ptr<OffscreenGL> gl_;
    int length_ms_ = 0;
};

// The first sample (at 44100 Hz) of frame k at fps frames a second: round(k * 44100 / fps), so
// that the sound of every frame is its own interval and the sum never drifts.
inline int64_t frame_start_sample(int64_t k, int fps) {
    return (2 * k * 44100 + fps) / (2 * static_cast<int64_t>(fps));
}

// The first file that demo start-up reads and this working directory lacks, or empty.
std::string missing_data_file(int track);
