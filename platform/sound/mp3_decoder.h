// One MP3 stream decoded with libmpg123 from a block of memory that the caller keeps alive:
// 16-bit interleaved stereo at a fixed output rate, gapless, with sample-exact positions.
// Files at another rate are decoded at their own rate and converted by a real resampler.
#pragma once

#include "platform/sound/resampler.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct mpg123_handle_struct;

class Mp3Decoder {
public:
    Mp3Decoder() = default;
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    // Opens size bytes at data for decoding at rate Hz (resampled when the file's rate differs;
    // mono is spread to both sides). With accurate, the whole stream is scanned now so that
    // length() and seek() are exact to the sample, and read() then delivers exactly length()
    // frames in all, padding with silence where damaged data ends early. False when the data
    // holds no MPEG audio.
    bool open(const unsigned char* data, size_t size, int rate, bool accurate);

    // Length in frames at the output rate, or -1 while unknown.
    int64_t length() const { return length_; }
    // Decodes up to frames frames into out (2 * frames samples); fewer only at the end of the
    // stream, after which at_end() is true.
    int read(int16_t* out, int frames);
    // Moves to frame (clamped to 0..length); returns the new position, or -1 on failure. What
    // follows equals continuous playback from that frame.
    int64_t seek(int64_t frame);
    bool at_end() const { return done_; }

    // The bytes libmpg123 reads through our reader callbacks.
    struct Source {
        const unsigned char* data = nullptr;
        size_t size = 0;
        size_t at = 0;
    };

private:
    // The steps of open: the first look at the data, the decoder set up for the output, the
    // length; give_up undoes them and returns false.
    bool probe_format();
    bool open_for_output(int rate, bool accurate);
    void measure_length(size_t size, bool accurate);
    bool give_up();
    bool decode_frame();
    bool frame_is_sound();
    void forget_frames();
    int16_t* make_room(size_t frames);

    mpg123_handle_struct* mh_ = nullptr;
    Source source_;
    std::unique_ptr<Resampler> resampler_;  // null when the file has the output rate
    int channels_ = 2;                      // decoded channels (always 2 without resampler)
    int version_ = 0, layer_ = 0;           // MPEG version and layer of the first frame
    long native_rate_ = 0;                  // the file's sample rate
    bool exact_ = false;
    int64_t length_ = -1;
    int64_t max_frames_ = 0;    // the most output frames the data could hold
    int64_t pos_ = 0;           // output frames delivered since the last seek target
    int64_t begin_trim_ = 0;    // leading decoder frames we drop ourselves (see open)
    int64_t skip_ = 0;          // output frames still to drop after a seek
    bool decoder_done_ = false;
    bool done_ = false;
    int format_changes_ = 0;

    // Decoded output not yet handed out: interleaved stereo.
    std::vector<int16_t> pending_;
    size_t pending_fill_ = 0;  // frames in pending_
    size_t pending_at_ = 0;    // frames of them already used
    std::vector<float> resampled_;

    // Layer III damage tracking: a frame's data may start up to 511 bytes back in earlier
    // frames; after skipped junk those bytes are missing and the frame decodes to noise.
    int64_t next_frame_at_ = -1;  // where the next frame starts if nothing is skipped
    int64_t reservoir_ = 0;       // bytes of main data read since the last gap
    int clean_run_ = 0;           // frames in a row whose data was all present
};
