// One MP3 stream decoded with libmpg123 from a block of memory that the caller keeps alive:
// 16-bit interleaved stereo at a fixed output rate, gapless, with sample-exact positions.
#pragma once

#include <cstddef>
#include <cstdint>

struct mpg123_handle_struct;

class Mp3Decoder {
public:
    Mp3Decoder() = default;
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    // Opens size bytes at data for decoding at rate Hz (resampled when the file's rate differs;
    // mono is spread to both sides). With accurate, the whole stream is scanned now so that
    // length() and seek() are exact to the sample. False when the data holds no MPEG audio.
    bool open(const unsigned char* data, size_t size, int rate, bool accurate);

    // Length in frames at the output rate, or -1 while unknown.
    int64_t length() const { return length_; }
    // Decodes up to frames frames into out (2 * frames samples); fewer only at the end of the
    // data or on a decoding error, after which at_end() is true.
    int read(int16_t* out, int frames);
    // Moves to frame (clamped to 0..length); returns the new position, or -1 on failure.
    int64_t seek(int64_t frame);
    bool at_end() const { return done_; }

    // The bytes libmpg123 reads through our reader callbacks.
    struct Source {
        const unsigned char* data = nullptr;
        size_t size = 0;
        size_t at = 0;
    };

private:
    mpg123_handle_struct* mh_ = nullptr;
    Source source_;
    int64_t length_ = -1;
    bool done_ = false;
};
