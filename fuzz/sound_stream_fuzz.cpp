// libFuzzer target for the sound layer: each input is opened from memory as the demo opens its
// tracks, started paused, sought and closed on the silent output; then the MP3 decoder under
// the layer decodes it, seeks and decodes again, with and without the exact scan.
#include <climits>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/sound/mp3_decoder.h"
#include "platform/sound/sound.h"

namespace {

constexpr int kRate = 44100;
constexpr unsigned kDemoMode = SOUND_NORMAL | SOUND_LOADMEMORY | SOUND_MPEGACCURATE;
static_assert(kDemoMode == 0x28130, "the mode the demo opens its tracks with");

// Enough to reach past the first frames of a long input without decoding all of it.
constexpr int kChunkFrames = 1024;
constexpr int kMaxChunks = 48;

// The layer's calls in the order the music code makes them, with seeks to either side.
void exercise_layer(const uint8_t* data, size_t size) {
    SoundStream* stream = sound_stream_open(reinterpret_cast<const char*>(data), kDemoMode, 0,
                                            static_cast<int>(size));
    if (!stream) return;
    // Paused, so that the silent output mixes nothing and each run does the same.
    int channel = sound_stream_play_ex(SOUND_FREE, stream, nullptr, 1);
    FUZZ_CHECK(channel >= 0);
    FUZZ_CHECK(sound_stream_get_time(stream) == 0);
    const int length = sound_stream_get_length_ms(stream);
    FUZZ_CHECK(length >= 0);
    for (int ms : {length / 2, -400, length + 400, length / 3, 0}) {
        if (sound_stream_set_time(stream, ms) != 1) continue;
        const int time = sound_stream_get_time(stream);
        FUZZ_CHECK(time >= 0 && time <= length);
    }
    FUZZ_CHECK(sound_stream_close(stream) == 1);
    FUZZ_CHECK(sound_stream_get_time(stream) == 0);  // a closed handle finds nothing
}

// Decodes up to kMaxChunks chunks; returns the frames decoded.
int64_t decode_some(Mp3Decoder* decoder, std::vector<int16_t>* buffer) {
    int64_t total = 0;
    for (int i = 0; i < kMaxChunks && !decoder->at_end(); ++i) {
        const int got = decoder->read(buffer->data(), kChunkFrames);
        FUZZ_CHECK(got >= 0 && got <= kChunkFrames);
        FUZZ_CHECK(got == kChunkFrames || decoder->at_end());
        total += got;
    }
    if (decoder->at_end()) FUZZ_CHECK(decoder->read(buffer->data(), kChunkFrames) == 0);
    return total;
}

void exercise_decoder(const uint8_t* data, size_t size, bool accurate) {
    Mp3Decoder decoder;
    if (!decoder.open(data, size, kRate, accurate)) return;
    const int64_t length = decoder.length();
    if (accurate) FUZZ_CHECK(length >= 0);
    std::vector<int16_t> buffer(2 * kChunkFrames);
    decode_some(&decoder, &buffer);
    for (int64_t frame : {length / 2, int64_t{-5}, length + 5000, int64_t{0}}) {
        const int64_t at = decoder.seek(frame);
        if (at < 0) continue;
        if (length >= 0) FUZZ_CHECK(at <= length);
        decode_some(&decoder, &buffer);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The silent output: no audio device is needed, and none is touched.
    sound_set_output(SOUND_OUTPUT_NOSOUND);
    sound_init(kRate, 32, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT_MAX) return 0;
    exercise_layer(data, size);
    exercise_decoder(data, size, true);
    exercise_decoder(data, size, false);
    return 0;
}
