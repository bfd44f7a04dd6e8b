// libsyn123's resampler in its normal (not "dirty") mode: IIR low-pass and high-order
// interpolation, over 100 dB of dynamic range at a small fraction of a core.
#include "platform/sound/resampler.h"

#include <syn123.h>

#include <algorithm>
#include <numeric>

Resampler::~Resampler() {
    if (sh_) syn123_del(sh_);
}

bool Resampler::setup(long in_rate, long out_rate, int channels) {
    if (in_rate <= 0 || out_rate <= 0 || channels < 1 || channels > 2) return false;
    if (in_rate > syn123_resample_maxrate() || out_rate > syn123_resample_maxrate()) return false;
    if (!sh_) {
        int err = SYN123_OK;
        sh_ = syn123_new(out_rate, channels, MPG123_ENC_FLOAT_32, 0, &err);
        if (!sh_) return false;
    }
    in_rate_ = in_rate;
    out_rate_ = out_rate;
    channels_ = channels;
    const long g = std::gcd(in_rate, out_rate);
    block_in_ = in_rate / g;
    block_out_ = out_rate / g;
    // Feeding at most this many frames per call keeps every call within the library's limits.
    max_in_ = std::min<size_t>(syn123_resample_maxincount(in_rate, out_rate), 4096);
    if (max_in_ == 0) return false;
    restart();
    return syn123_resample_count(in_rate, out_rate, max_in_) > 0;
}

void Resampler::restart() {
    if (!sh_) return;
    // The library keeps its filter history when only the rates are set again; clearing the
    // set-up first (all zeros, which it answers with an error by design) drops it.
    syn123_setup_resample(sh_, 0, 0, 0, 0, 0);
    syn123_setup_resample(sh_, in_rate_, out_rate_, channels_, 0, 0);
}

size_t Resampler::process(float* in, size_t frames, std::vector<float>& out) {
    if (!sh_) return 0;
    const size_t channels = static_cast<size_t>(channels_);
    size_t produced = 0;
    while (frames > 0) {
        const size_t n = std::min(frames, max_in_);
        const size_t room = syn123_resample_count(in_rate_, out_rate_, n);
        if (out.size() < (produced + room) * channels) out.resize((produced + room) * channels);
        const size_t got = syn123_resample(sh_, out.data() + produced * channels, in, n);
        produced += std::min(got, room);
        in += n * channels;
        frames -= n;
    }
    return produced;
}

int64_t Resampler::output_frames(int64_t in_frames) const {
    if (in_frames < 0 || block_in_ <= 0) return -1;
    // Whole blocks map exactly; the library gives the rest.
    const int64_t blocks = in_frames / block_in_;
    const off_t rest = syn123_resample_total(in_rate_, out_rate_, static_cast<off_t>(in_frames % block_in_));
    if (rest < 0) return -1;
    return blocks * block_out_ + static_cast<int64_t>(rest);
}
