// Sample-rate conversion of interleaved float audio with libsyn123, in whole blocks of the
// rate ratio, so that a stream restarted at a block boundary lines up with one that ran from
// the start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct syn123_struct;

class Resampler {
public:
    Resampler() = default;
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // Converts channels-channel audio from in_rate to out_rate Hz. False for rates or channel
    // counts the library refuses.
    bool setup(long in_rate, long out_rate, int channels);
    // Forgets all history: the next input is treated as the start of a stream.
    void restart();
    // Resamples frames interleaved input frames into out from its start (grown when too small);
    // returns the output frames. The input buffer is handed to the library, which does not
    // promise to leave it alone.
    size_t process(float* in, size_t frames, std::vector<float>& out);

    // Output frames a stream of in_frames input frames yields from the start, or -1.
    int64_t output_frames(int64_t in_frames) const;
    // The smallest input block that maps to a whole number of output frames, and that number:
    // input frame k * block_in() comes out as output frame k * block_out().
    int64_t block_in() const { return block_in_; }
    int64_t block_out() const { return block_out_; }

private:
    syn123_struct* sh_ = nullptr;
    long in_rate_ = 0, out_rate_ = 0;
    int channels_ = 0;
    int64_t block_in_ = 1, block_out_ = 1;
    size_t max_in_ = 0;
};
