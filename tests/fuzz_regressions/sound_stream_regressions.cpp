// What fuzzing the sound layer found: a stream of free-format frames, on which libmpg123 lands a
// seek to the end far beyond the length its scan reported, so the clock read past the end; and
// a stream whose encoder tag trims more samples than its frames hold; a header that claims
// trillions of frames, which an unscanned seek took a minute to chase. Every committed input
// is replayed too.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sound/mp3_decoder.h"
#include "platform/sound/sound.h"
#include "tests/fuzz_regressions/replay.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

constexpr unsigned kDemoMode = 0x28130;

TEST(SoundStreamRegressions, EveryCommittedInputKeepsTheLayerInvariants) {
    LLVMFuzzerInitialize(nullptr, nullptr);
    EXPECT_GE(replay_all("sound_stream"), 8u);
    sound_shutdown();
}

TEST(SoundStreamRegressions, ASeekPastTheEndOfADamagedStreamStopsAtItsEnd) {
    const std::string bytes = read_bytes(regression_input("sound_stream", "free_format_seek_past_length.mp3"));
    ASSERT_FALSE(bytes.empty());
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());

    Mp3Decoder decoder;
    ASSERT_TRUE(decoder.open(data, bytes.size(), 44100, true));
    const int64_t length = decoder.length();
    ASSERT_GT(length, 0);
    EXPECT_EQ(decoder.seek(length + 5000), length);
    EXPECT_TRUE(decoder.at_end());
    int16_t frames[2 * 64];
    EXPECT_EQ(decoder.read(frames, 64), 0);
    EXPECT_EQ(decoder.seek(0), 0);  // and it plays again from the start
    EXPECT_FALSE(decoder.at_end());
    EXPECT_GT(decoder.read(frames, 64), 0);

    // Through the layer, as the demo opens and seeks its tracks.
    ASSERT_EQ(sound_set_output(SOUND_OUTPUT_NOSOUND), 1);
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    SoundStream* stream = sound_stream_open(bytes.data(), kDemoMode, 0, static_cast<int>(bytes.size()));
    ASSERT_NE(stream, nullptr);
    ASSERT_GE(sound_stream_play_ex(SOUND_FREE, stream, nullptr, 1), 0);
    const int length_ms = sound_stream_get_length_ms(stream);
    ASSERT_GT(length_ms, 0);
    ASSERT_EQ(sound_stream_set_time(stream, length_ms + 400), 1);
    EXPECT_EQ(sound_stream_get_time(stream), length_ms);
    EXPECT_EQ(sound_stream_close(stream), 1);
    sound_shutdown();
}

TEST(SoundStreamRegressions, TrimsBeyondTheDataLeaveAnEmptyStream) {
    const std::string bytes = read_bytes(regression_input("sound_stream", "gapless_trims_exceed_data.mp3"));
    ASSERT_FALSE(bytes.empty());
    Mp3Decoder decoder;
    ASSERT_TRUE(decoder.open(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 44100, true));
    EXPECT_EQ(decoder.length(), 0);
    EXPECT_EQ(decoder.seek(5000), 0);
    EXPECT_TRUE(decoder.at_end());
}

TEST(SoundStreamRegressions, AnUnscannedEstimateStaysWithinWhatTheDataCanHold) {
    const std::string bytes =
        read_bytes(regression_input("sound_stream", "unscanned_length_claims_billions.mp3"));
    ASSERT_FALSE(bytes.empty());
    Mp3Decoder decoder;
    ASSERT_TRUE(decoder.open(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                             44100, false));
    // At most 1152 samples for each 4-byte header the data could hold, at the output rate.
    const int64_t most = static_cast<int64_t>(bytes.size()) / 4 * 1152 * 44100 / 8000;
    ASSERT_LE(decoder.length(), most);
    EXPECT_LE(decoder.seek(INT64_MAX / 4), most);
}

}  // namespace
