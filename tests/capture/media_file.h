// Reading back what glow-capture wrote, through libavformat and libavcodec: the video's size,
// rate and frame count, one chosen frame as RGB, and the whole sound track.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MediaFile {
    bool ok = false;
    int width = 0, height = 0;
    double fps = 0;
    int frames = 0;
    std::vector<uint8_t> kept_frame;  // RGB, top row first: the frame asked for
    int sample_rate = 0, channels = 0;
    std::vector<int16_t> samples;  // interleaved, as decoded (AAC's padding included)
    long audio_frames = -1;        // the sound's length as the container gives it
};

// Decodes every frame and sample of a file; keeps frame `keep` (counted from 0) as RGB.
MediaFile read_media(const std::string& path, int keep = -1);

// Peak signal-to-noise ratio of two equally sized 8-bit pictures, in dB.
double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// The lag in stereo frames, within +-max_lag, at which `b` lines up best with `a` (left
// channels, over `frames` frames from frame `start` of a), and the correlation coefficient there.
int best_lag(const std::vector<int16_t>& a, const std::vector<int16_t>& b, long start, long frames,
             int max_lag, double* correlation);
