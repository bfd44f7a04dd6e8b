// One MP3 stream decoded with libmpg123 from the caller's memory: the reader callbacks that
// serve libmpg123 from the block, format set-up, exact length, frame-by-frame decoding with
// damage muting, resampling and seeking.
#include "platform/sound/mp3_decoder.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

mpg123_ssize_t source_read(void* handle, void* buf, size_t count) {
    auto* src = static_cast<Mp3Decoder::Source*>(handle);
    size_t left = src->size - src->at;
    if (count > left) count = left;
    std::memcpy(buf, src->data + src->at, count);
    src->at += count;
    return static_cast<mpg123_ssize_t>(count);
}

off_t source_seek(void* handle, off_t offset, int whence) {
    auto* src = static_cast<Mp3Decoder::Source*>(handle);
    long long base = 0;
    if (whence == SEEK_CUR) base = static_cast<long long>(src->at);
    else if (whence == SEEK_END) base = static_cast<long long>(src->size);
    else if (whence != SEEK_SET) return -1;
    long long to = base + static_cast<long long>(offset);
    if (to < 0 || to > static_cast<long long>(src->size)) return -1;
    src->at = static_cast<size_t>(to);
    return static_cast<off_t>(to);
}

// Input frames fed to the resampler before a seek target, so that its filters hold what they
// would hold in continuous playback: after 128 the two differ by under 0.03 LSB from every MPEG
// rate to 44.1 or 48 kHz; four times that for margin.
constexpr int64_t kResamplerPreroll = 512;

// More than any frame can reach back, and more clean frames in a row than any frame needs.
constexpr int64_t kFullReservoir = 4096;
constexpr int kCleanRun = 8;

bool is_mpeg1(int version) { return version == MPG123_1_0; }

// How many frames libmpg123 must decode before a seek target so that the target's first sample
// equals continuous playback. A Layer III frame's main data begins up to 511 (MPEG-1) or 255
// (MPEG-2/2.5) bytes back in earlier frames, and its first samples also depend on the previous
// granule through the overlap-add and the synthesis filter history: the frame before the target
// (MPEG-1, two granules a frame), or the two before it (one granule a frame), must decode from
// complete data too. The fewest main-data bytes a frame can carry is its size at the lowest
// bitrate (32 kbit/s MPEG-1, 8 kbit/s otherwise) less header, CRC and stereo side information.
// So it takes granule frames + ceil(reservoir / fewest bytes): 10 at 48 kHz, 9 at 44.1 kHz,
// 6 at 32 kHz; 257, 87, 22 at 24, 22.05, 16 kHz; 13, 11, 8 at 12, 11.025, 8 kHz.
long preframes_for(int version, long rate) {
    if (rate <= 0) return 2;
    const bool mpeg1 = is_mpeg1(version);
    const long frame_bytes = (mpeg1 ? 144L * 32000 : 72L * 8000) / rate;
    const long side_info = mpeg1 ? 32 : 17;
    const long main_bytes = std::max(1L, frame_bytes - 4 - 2 - side_info);
    const long reservoir = mpeg1 ? 511 : 255;
    const long earlier_frames = mpeg1 ? 1 : 2;
    return earlier_frames + (reservoir + main_bytes - 1) / main_bytes;
}

// Full scale is 1.0, as in libmpg123's float output; rounded to nearest and clipped (fmax
// also turns a NaN into a number).
int16_t to_s16(float v) {
    return static_cast<int16_t>(std::fmin(std::fmax(std::nearbyint(v * 32768.0f), -32768.0f), 32767.0f));
}

}  // namespace

Mp3Decoder::~Mp3Decoder() {
    if (mh_) mpg123_delete(mh_);
}

// More samples per byte than any MPEG audio frame can hold: none is shorter than its 4-byte
// header, and none holds more than 1152 samples.
constexpr int64_t kMaxSamplesPerByte = 1152 / 4;

bool Mp3Decoder::open(const unsigned char* data, size_t size, int rate, bool accurate) {
    static std::once_flag library_ready;
    std::call_once(library_ready, [] { mpg123_init(); });
    if (mh_ || !data || size == 0 || rate <= 0) return false;

    int err = MPG123_OK;
    mh_ = mpg123_new(nullptr, &err);
    if (!mh_) return false;
    source_ = Source{data, size, 0};
    if (!probe_format() || !open_for_output(rate, accurate)) return give_up();
    measure_length(size, accurate);
    if (seek(0) < 0) return give_up();
    return true;
}

bool Mp3Decoder::give_up() {
    mpg123_delete(mh_);
    mh_ = nullptr;
    resampler_.reset();
    return false;
}

// First look: the file's own rate, channels and MPEG version, with libmpg123's usual limit on
// junk before the first frame, so that data without MPEG audio fails here quickly.
bool Mp3Decoder::probe_format() {
    bool ok = mpg123_param(mh_, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0) == MPG123_OK &&
              mpg123_replace_reader_handle(mh_, source_read, source_seek, nullptr) == MPG123_OK &&
              mpg123_open_handle(mh_, &source_) == MPG123_OK;
    long native_rate = 0;
    int channels = 0, encoding = 0;
    mpg123_frameinfo2 info{};
    ok = ok && mpg123_getformat(mh_, &native_rate, &channels, &encoding) == MPG123_OK &&
         mpg123_info2(mh_, &info) == MPG123_OK && native_rate > 0 && (channels == 1 || channels == 2);
    if (!ok) return false;
    mpg123_close(mh_);
    native_rate_ = native_rate;
    channels_ = channels;
    version_ = info.version;
    layer_ = info.layer;
    return true;
}

// The real opening. Files at the output rate come out as 16-bit stereo straight from
// libmpg123; others as float at their own rate and channel count, for the resampler. With
// accurate, the whole stream is scanned now.
bool Mp3Decoder::open_for_output(int rate, bool accurate) {
    const bool direct = native_rate_ == rate;
    if (!direct) {
        resampler_ = std::make_unique<Resampler>();
        if (!resampler_->setup(native_rate_, rate, channels_)) return false;
    }
    const long flags = direct ? MPG123_FORCE_STEREO : 0;
    const int want_encoding = direct ? MPG123_ENC_SIGNED_16 : MPG123_ENC_FLOAT_32;
    const int want_channels = direct || channels_ == 2 ? MPG123_STEREO : MPG123_MONO;
    if (direct) channels_ = 2;
    source_.at = 0;
    bool ok = (!flags || mpg123_param(mh_, MPG123_ADD_FLAGS, flags, 0) == MPG123_OK) &&
              // Damage in the middle of a file is skipped however long it is, as far as the data
              // goes.
              mpg123_param(mh_, MPG123_RESYNC_LIMIT, -1, 0) == MPG123_OK &&
              mpg123_param(mh_, MPG123_PREFRAMES, preframes_for(version_, native_rate_), 0) ==
                  MPG123_OK &&
              mpg123_format_none(mh_) == MPG123_OK &&
              mpg123_format(mh_, native_rate_, want_channels, want_encoding) == MPG123_OK &&
              mpg123_open_handle(mh_, &source_) == MPG123_OK;
    long got_rate = 0;
    int channels = 0, encoding = 0;
    ok = ok && mpg123_getformat(mh_, &got_rate, &channels, &encoding) == MPG123_OK &&
         got_rate == native_rate_ && channels == want_channels && encoding == want_encoding;
    return ok && (!accurate || mpg123_scan(mh_) == MPG123_OK);
}

// The stream's length at the output rate, and how far it may ever be read or sought.
void Mp3Decoder::measure_length(size_t size, bool accurate) {
    const off_t len = mpg123_length(mh_);
    int64_t native_length = len >= 0 ? static_cast<int64_t>(len) : -1;
    // After the scan a length below zero means an encoder tag whose trims exceed the few
    // frames there are: nothing plays.
    if (accurate && native_length < 0) native_length = 0;
    begin_trim_ = 0;
    if (accurate && native_length >= 0) {
        // When a file holds fewer frames than its encoder tag says (cut or damaged), libmpg123
        // drops the tag's gapless trims altogether, and the music would start the encoder and
        // decoder delay (25 ms at 44.1 kHz) late. The leading trim is still right: we make it.
        long enc_delay = -1, dec_delay = -1;
        mpg123_getstate(mh_, MPG123_ENC_DELAY, &enc_delay, nullptr);
        mpg123_getstate(mh_, MPG123_DEC_DELAY, &dec_delay, nullptr);
        const off_t frames = mpg123_framelength(mh_);
        const int spf = mpg123_spf(mh_);
        if (enc_delay >= 0 && dec_delay >= 0 && frames > 0 && spf > 0 &&
            native_length == static_cast<int64_t>(frames) * spf)
            begin_trim_ = std::min<int64_t>(enc_delay + dec_delay, native_length);
        native_length -= begin_trim_;
    }
    // Without the scan the length is the headers' estimate, and a damaged header can claim
    // billions of frames; libmpg123's seek then takes time in proportion to the target. No
    // stream holds more than kMaxSamplesPerByte per byte of data, so neither may go further.
    const int64_t most = static_cast<int64_t>(size) * kMaxSamplesPerByte;
    if (native_length > most) native_length = most;
    max_frames_ = resampler_ ? resampler_->output_frames(most) : most;
    length_ = native_length;
    if (resampler_ && native_length >= 0) length_ = resampler_->output_frames(native_length);
    exact_ = accurate && length_ >= 0;
}

void Mp3Decoder::forget_frames() {
    pending_fill_ = pending_at_ = 0;
    // libmpg123 decodes the pre-frames before a seek target without showing them; they leave
    // the reservoir and the filters as continuous playback would (see preframes_for).
    next_frame_at_ = -1;
    reservoir_ = kFullReservoir;
    clean_run_ = kCleanRun;
    format_changes_ = 0;
}

// Tracks whether the frame just decoded had all its data. False for a Layer III frame that
// follows skipped junk and reaches back into main data that is gone, and for the frames whose
// output still carries such a frame's overlap: they would play as noise.
bool Mp3Decoder::frame_is_sound() {
    mpg123_frameinfo2 info{};
    const off_t at = mpg123_framepos(mh_);
    if (mpg123_info2(mh_, &info) != MPG123_OK) return true;
    const bool after_gap = next_frame_at_ >= 0 && static_cast<int64_t>(at) != next_frame_at_;
    next_frame_at_ = at >= 0 ? static_cast<int64_t>(at) + info.framesize : -1;
    if (after_gap) reservoir_ = 0;
    if (after_gap && (info.version != version_ || info.layer != layer_ || info.rate != native_rate_)) {
        // A frame of another MPEG version, layer or rate found after skipped bytes is almost
        // always a false sync word in damaged data, and decodes to noise up to full scale. (Where
        // it follows the previous frame directly, a second stream was joined on: it plays.)
        reservoir_ = 0;
        clean_run_ = 0;
        return false;
    }
    if (info.layer != 3 || at < 0 || static_cast<uint64_t>(at) + 8 > source_.size || info.framesize < 4)
        return true;
    const unsigned char* h = source_.data + at;
    const bool mpeg1 = is_mpeg1(info.version);
    const int crc = (h[1] & 1) ? 0 : 2;
    const bool mono = (h[3] >> 6) == 3;
    const int side_info = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const unsigned char* side = h + 4 + crc;
    const int main_begin = mpeg1 ? (side[0] << 1 | side[1] >> 7) : side[0];

    const bool complete = main_begin <= reservoir_;
    reservoir_ = std::min<int64_t>(reservoir_ + std::max(0, info.framesize - 4 - crc - side_info),
                                   kFullReservoir);
    clean_run_ = complete ? std::min(clean_run_ + 1, kCleanRun) : 0;
    // This frame and the one (MPEG-1: two granules a frame) or two before it.
    return clean_run_ >= (mpeg1 ? 2 : 3);
}

// Room for frames more frames of output after the pending ones; the buffer only ever grows.
int16_t* Mp3Decoder::make_room(size_t frames) {
    if (pending_at_ == pending_fill_) pending_fill_ = pending_at_ = 0;
    if (pending_.size() < 2 * (pending_fill_ + frames)) pending_.resize(2 * (pending_fill_ + frames));
    int16_t* room = pending_.data() + 2 * pending_fill_;
    pending_fill_ += frames;
    return room;
}

// Decodes the next frame into pending_; false when nothing more will come.
bool Mp3Decoder::decode_frame() {
    off_t num = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    const int ret = mpg123_decode_frame(mh_, &num, &audio, &bytes);
    if (ret == MPG123_NEW_FORMAT) {
        // The format table allows one format only, so libmpg123 converts whatever else comes;
        // a stream that keeps announcing changes without audio is given up. A real stream
        // announces one change where its format changes and then decodes; 64 in a row, with
        // no frame between them, only come from data that loops on broken headers.
        return ++format_changes_ < 64;
    }
    if (ret != MPG123_OK) return false;
    format_changes_ = 0;
    const bool sound = frame_is_sound();
    if (!audio || bytes == 0) return true;
    // The frame's output lies in libmpg123's buffer, which the next frame overwrites anyway.
    if (!sound) std::memset(audio, 0, bytes);
    if (!resampler_) {
        const size_t frames = bytes / (2 * sizeof(int16_t));
        std::memcpy(make_room(frames), audio, frames * 2 * sizeof(int16_t));
        return true;
    }
    const size_t channels = static_cast<size_t>(channels_);
    const size_t frames = bytes / (sizeof(float) * channels);
    float* in = reinterpret_cast<float*>(audio);
    // Damaged data can decode to huge values; anything not a number would stay in the
    // resampler's recursive filters for good (fmax turns it into -4).
    for (size_t i = 0; i < frames * channels; ++i) in[i] = std::fmin(std::fmax(in[i], -4.0f), 4.0f);
    const size_t out_frames = resampler_->process(in, frames, resampled_);
    int16_t* out = make_room(out_frames);
    for (size_t i = 0; i < out_frames; ++i) {
        const float left = resampled_[i * channels];
        const float right = resampled_[i * channels + channels - 1];
        out[2 * i] = to_s16(left);
        out[2 * i + 1] = to_s16(right);
    }
    return true;
}

int Mp3Decoder::read(int16_t* out, int frames) {
    if (!mh_ || done_ || frames <= 0) return 0;
    int64_t want = frames;
    if (exact_) want = std::min<int64_t>(want, length_ - pos_);
    int64_t have = 0;
    while (have < want) {
        const size_t available = pending_fill_ - pending_at_;
        if (available > 0) {
            if (skip_ > 0) {
                const size_t n = static_cast<size_t>(std::min<int64_t>(skip_, available));
                pending_at_ += n;
                skip_ -= static_cast<int64_t>(n);
                continue;
            }
            const size_t n = static_cast<size_t>(std::min<int64_t>(want - have, available));
            std::memcpy(out + 2 * have, pending_.data() + 2 * pending_at_, n * 2 * sizeof(int16_t));
            pending_at_ += n;
            have += static_cast<int64_t>(n);
            continue;
        }
        if (decoder_done_) break;
        if (!decode_frame()) decoder_done_ = true;
    }
    // Damaged data can decode to less than the scan counted: the rest of the reported length is
    // silence, so the clock and the length agree.
    if (exact_ && have < want) {
        std::memset(out + 2 * have, 0, static_cast<size_t>(want - have) * 2 * sizeof(int16_t));
        have = want;
    }
    pos_ += have;
    if (exact_ ? pos_ >= length_ : have < frames) done_ = true;
    return static_cast<int>(have);
}

int64_t Mp3Decoder::seek(int64_t frame) {
    if (!mh_) return -1;
    if (frame < 0) frame = 0;
    if (frame > max_frames_) frame = max_frames_;
    if (length_ >= 0 && frame > length_) frame = length_;
    // Decoding restarts a little before the target: at the target itself without resampling,
    // else at a block boundary of the rate ratio at least the pre-roll ahead, so the resampler
    // produces exactly the samples it produces in continuous playback.
    int64_t from = frame, from_out = frame;
    if (resampler_) {
        const int64_t block_in = resampler_->block_in(), block_out = resampler_->block_out();
        const int64_t in_at = frame * block_in / block_out;
        const int64_t blocks = std::max<int64_t>(0, in_at - kResamplerPreroll) / block_in;
        from = blocks * block_in;
        from_out = blocks * block_out;
    }
    const off_t at = mpg123_seek(mh_, static_cast<off_t>(from + begin_trim_), SEEK_SET);
    if (at < 0) return -1;
    forget_frames();
    if (resampler_) resampler_->restart();
    if (!exact_ && static_cast<int64_t>(at) != from + begin_trim_) {
        // Without the scan libmpg123 may land elsewhere than asked: the position is where it did.
        const int64_t in_at = std::max<int64_t>(0, static_cast<int64_t>(at) - begin_trim_);
        frame = from_out = resampler_ ? std::max<int64_t>(0, resampler_->output_frames(in_at)) : in_at;
        if (length_ >= 0 && frame > length_) frame = length_;
    }
    skip_ = frame - from_out;
    pos_ = frame;
    decoder_done_ = false;
    done_ = exact_ && pos_ >= length_;
    return frame;
}
