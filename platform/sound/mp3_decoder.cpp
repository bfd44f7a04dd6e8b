// One MP3 stream decoded with libmpg123 from the caller's memory: the reader callbacks that
// serve libmpg123 from the block, format set-up, exact length, reading and seeking.
#include "platform/sound/mp3_decoder.h"

#include <mpg123.h>

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

}  // namespace

Mp3Decoder::~Mp3Decoder() {
    if (mh_) mpg123_delete(mh_);
}

bool Mp3Decoder::open(const unsigned char* data, size_t size, int rate, bool accurate) {
    static std::once_flag library_ready;
    std::call_once(library_ready, [] { mpg123_init(); });
    if (mh_ || !data || size == 0 || rate <= 0) return false;

    int err = MPG123_OK;
    mh_ = mpg123_new(nullptr, &err);
    if (!mh_) return false;
    source_ = Source{data, size, 0};
    // Only 16-bit stereo at the mix rate is allowed, so libmpg123 itself spreads mono to both
    // sides and resamples files of another rate; the mix never converts anything.
    bool ok = mpg123_param(mh_, MPG123_ADD_FLAGS,
                           MPG123_GAPLESS | MPG123_QUIET | MPG123_FORCE_STEREO, 0) == MPG123_OK &&
              mpg123_format_none(mh_) == MPG123_OK &&
              mpg123_format(mh_, rate, MPG123_STEREO, MPG123_ENC_SIGNED_16) == MPG123_OK &&
              mpg123_replace_reader_handle(mh_, source_read, source_seek, nullptr) == MPG123_OK &&
              mpg123_open_handle(mh_, &source_) == MPG123_OK;
    long got_rate = 0;
    int channels = 0, encoding = 0;
    // Reading the format parses the first frame: data without MPEG audio fails here.
    ok = ok && mpg123_getformat(mh_, &got_rate, &channels, &encoding) == MPG123_OK &&
         got_rate == rate && channels == MPG123_STEREO && encoding == MPG123_ENC_SIGNED_16;
    if (ok && accurate) ok = mpg123_scan(mh_) == MPG123_OK;
    if (!ok) {
        mpg123_delete(mh_);
        mh_ = nullptr;
        return false;
    }
    off_t len = mpg123_length(mh_);
    length_ = len >= 0 ? static_cast<int64_t>(len) : -1;
    done_ = false;
    return true;
}

int Mp3Decoder::read(int16_t* out, int frames) {
    if (!mh_ || done_ || frames <= 0) return 0;
    const size_t frame_bytes = 2 * sizeof(int16_t);
    size_t want = static_cast<size_t>(frames) * frame_bytes;
    size_t have = 0;
    int idle_rounds = 0;
    while (have < want) {
        size_t got = 0;
        int ret = mpg123_read(mh_, reinterpret_cast<unsigned char*>(out) + have, want - have, &got);
        have += got;
        if (ret == MPG123_DONE || ret == MPG123_ERR) {
            done_ = true;
            break;
        }
        // A new format can only be one the format table allows, so decoding just goes on;
        // a run of empty answers without an end would otherwise spin the audio thread.
        if (got == 0 && ++idle_rounds > 64) {
            done_ = true;
            break;
        }
    }
    return static_cast<int>(have / frame_bytes);
}

int64_t Mp3Decoder::seek(int64_t frame) {
    if (!mh_) return -1;
    if (frame < 0) frame = 0;
    if (length_ >= 0 && frame > length_) frame = length_;
    off_t at = mpg123_seek(mh_, static_cast<off_t>(frame), SEEK_SET);
    if (at < 0) return -1;
    // In a damaged stream (free-format frames, for one) libmpg123 can land beyond the length
    // its scan found; the stream is at its end then, and says so.
    if (length_ >= 0 && at > length_) at = static_cast<off_t>(length_);
    done_ = length_ >= 0 && at >= length_;
    return static_cast<int64_t>(at);
}
