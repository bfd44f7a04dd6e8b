// The MP3 decoder under the sound layer on files as users bring them: seeks in low-bitrate VBR
// files, other sample rates, damage in the middle, cut files and encoder tags that do not match
// their data.
#include "platform/sound/mp3_decoder.h"
#include "platform/sound/sound.h"

#include "tests/sound/sound_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

const int kRate = 44100;

std::unique_ptr<Mp3Decoder> open_decoder(const std::vector<unsigned char>& bytes) {
    auto d = std::make_unique<Mp3Decoder>();
    if (!d->open(bytes.data(), bytes.size(), kRate, true)) return nullptr;
    return d;
}

// Everything from the current position to the end, in device-sized reads.
Pcm decode_rest(Mp3Decoder& d) {
    Pcm out;
    int16_t buffer[2 * 1024];
    while (!d.at_end()) {
        int n = d.read(buffer, 1024);
        out.insert(out.end(), buffer, buffer + 2 * n);
        if (n == 0) break;
    }
    return out;
}

int peak(const Pcm& pcm) {
    int p = 0;
    for (int16_t v : pcm) p = std::max(p, std::abs(static_cast<int>(v)));
    return p;
}

// Total harmonic distortion plus noise of a tone of hz Hz in x (sampled at rate), in dB: what is
// left after taking away the best-fitting sine of that frequency and offset, against that sine.
double thd_n_db(const std::vector<double>& x, double hz, double rate) {
    const double pi = 3.14159265358979323846;
    double m[3][4] = {};
    for (size_t i = 0; i < x.size(); ++i) {
        double w = 2 * pi * hz * static_cast<double>(i) / rate;
        double v[3] = {std::sin(w), std::cos(w), 1.0};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) m[r][c] += v[r] * v[c];
            m[r][3] += v[r] * x[i];
        }
    }
    for (int c = 0; c < 3; ++c)
        for (int r = c + 1; r < 3; ++r) {
            double f = m[r][c] / m[c][c];
            for (int k = c; k < 4; ++k) m[r][k] -= f * m[c][k];
        }
    double a[3];
    for (int r = 2; r >= 0; --r) {
        a[r] = m[r][3];
        for (int k = r + 1; k < 3; ++k) a[r] -= m[r][k] * a[k];
        a[r] /= m[r][r];
    }
    double signal = 0, rest = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        double w = 2 * pi * hz * static_cast<double>(i) / rate;
        double fit = a[0] * std::sin(w) + a[1] * std::cos(w) + a[2];
        signal += fit * fit;
        rest += (x[i] - fit) * (x[i] - fit);
    }
    return 10 * std::log10(rest / signal);
}

class Mp3DecoderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir.path.empty()); }
    TempDir dir;
};

// Noise at the lowest VBR quality and 8 kbit/s at 24 kHz keep the bit reservoir full, reaching
// back 7 and about 60 frames (libmpg123 decodes 4 before a seek target by default); the 24 kHz
// file also goes through the resampler. After any seek the output is continuous playback's.
TEST_F(Mp3DecoderTest, SeeksMatchContinuousPlaybackFromTheFirstSample) {
    for (const char* lame : {"-V 9 --resample 44.1", "-b 8 --resample 24"}) {
        SCOPED_TRACE(lame);
        std::string mp3 = dir.path + "/noise.mp3";
        ASSERT_TRUE(make_sox_mp3(mp3, 44100, 2,
                                 "synth 4 pinknoise synth 4 sine amod 3 tremolo 2 90 gain -8", lame));
        std::vector<unsigned char> bytes = read_bytes(mp3);
        auto d = open_decoder(bytes);
        ASSERT_TRUE(d);
        Pcm whole = decode_rest(*d);
        ASSERT_EQ(static_cast<int64_t>(frames(whole)), d->length());
        int worst = 0;
        int64_t worst_at = -1;
        for (int64_t at = 1; at + 2048 < d->length(); at += 3001) {
            ASSERT_EQ(d->seek(at), at);
            int16_t out[2 * 2048];
            ASSERT_EQ(d->read(out, 2048), 2048);
            for (size_t i = 0; i < 2 * 2048; ++i) {
                int diff = std::abs(out[i] - whole[2 * static_cast<size_t>(at) + i]);
                if (diff > worst) worst = diff, worst_at = at;
            }
        }
        EXPECT_LE(worst, 1) << "after a seek to frame " << worst_at;
    }
}

// Tones from files at other rates come out clean, and the length is the music's real length.
TEST_F(Mp3DecoderTest, OtherRatesResampleCleanlyAndKeepRealTime) {
    for (int rate : {48000, 22050}) {
        for (int hz : {1000, 3000}) {
            SCOPED_TRACE(std::to_string(rate) + " Hz file, " + std::to_string(hz) + " Hz tone");
            std::string mp3 = dir.path + "/sine.mp3";
            ASSERT_TRUE(make_sox_mp3(mp3, rate, 1, "synth 2 sine " + std::to_string(hz) + " gain -6",
                                     "-b 160"));
            std::vector<unsigned char> bytes = read_bytes(mp3);
            auto d = open_decoder(bytes);
            ASSERT_TRUE(d);
            EXPECT_EQ(d->length(), 2 * kRate);  // 2000 ms exactly
            Pcm pcm = decode_rest(*d);
            ASSERT_EQ(frames(pcm), 2u * kRate);
            std::vector<double> left;
            for (size_t i = kRate / 2; i < 3 * kRate / 2; ++i) left.push_back(pcm[2 * i]);
            EXPECT_LT(thd_n_db(left, hz, kRate), -70.0);
            EXPECT_EQ(pcm[kRate], pcm[kRate + 1]);  // mono on both sides
        }
    }
}

// The 3-second tone of the shared helpers, intact and damaged.
class DamagedMp3Test : public Mp3DecoderTest {
protected:
    void SetUp() override {
        Mp3DecoderTest::SetUp();
        std::string mp3 = dir.path + "/tone.mp3";
        ASSERT_TRUE(make_tone_mp3(mp3, Tone{}));
        bytes = read_bytes(mp3);
        ref = reference_decode(mp3, kRate);
        ASSERT_GT(frames(ref), 2u * kRate);
    }
    std::vector<unsigned char> bytes;
    Pcm ref;
};

TEST_F(DamagedMp3Test, DamageInTheMiddleIsSkippedAndPlaysToTheEnd) {
    std::vector<unsigned char> zeros = bytes, garbage = bytes;
    const size_t from = bytes.size() / 3, count = 4000;
    std::fill_n(zeros.begin() + from, count, 0);
    uint32_t x = 2024;
    for (size_t i = from; i < from + count; ++i)
        garbage[i] = static_cast<unsigned char>((x = x * 1664525u + 1013904223u) >> 24);
    for (const auto* data : {&zeros, &garbage}) {
        SCOPED_TRACE(data == &zeros ? "zeros" : "garbage");
        auto d = open_decoder(*data);
        ASSERT_TRUE(d);
        Pcm pcm = decode_rest(*d);
        EXPECT_EQ(static_cast<int64_t>(frames(pcm)), d->length());
        EXPECT_GT(frames(pcm), frames(ref) * 3 / 4);
        // The music after the damage comes out exactly, up to its last second.
        EXPECT_GE(find_frames(pcm, ref, frames(ref) - kRate, 4096), 0);
        EXPECT_LE(peak(pcm), peak(ref));  // no noise burst louder than the music
    }
}

TEST_F(DamagedMp3Test, CutAndMistaggedFilesKeepClockAndLengthInStep) {
    // The Info tag's frame count, big-endian, follows its flags when bit 0 of them is set.
    auto info = std::search(bytes.begin(), bytes.begin() + 200, std::begin("Info"), std::end("Info") - 1);
    ASSERT_NE(info, bytes.begin() + 200);
    ASSERT_TRUE(info[7] & 1);
    const size_t count_at = static_cast<size_t>(info - bytes.begin()) + 8;
    auto with_frame_count = [&](int change) {
        std::vector<unsigned char> b = bytes;
        uint32_t n = (uint32_t(b[count_at]) << 24 | uint32_t(b[count_at + 1]) << 16 |
                      uint32_t(b[count_at + 2]) << 8 | b[count_at + 3]) + change;
        for (int i = 0; i < 4; ++i) b[count_at + i] = static_cast<unsigned char>(n >> (24 - 8 * i));
        return b;
    };
    std::vector<std::vector<unsigned char>> files = {
        {bytes.begin(), bytes.begin() + bytes.size() / 2 + 77},  // cut inside a frame
        with_frame_count(40), with_frame_count(-40)};
    ASSERT_EQ(sound_set_output(SOUND_OUTPUT_NOSOUND), 1);
    ASSERT_EQ(sound_init(kRate, 4, 0), 1);
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        auto d = open_decoder(files[i]);
        ASSERT_TRUE(d);
        Pcm pcm = decode_rest(*d);
        EXPECT_EQ(static_cast<int64_t>(frames(pcm)), d->length());
        // The encoder's delay is trimmed: the music starts on the clock's first sample.
        EXPECT_GE(matching_frames(pcm, 0, ref, 0), 4096u);
        // A seek near the end reads back where it landed, and exactly that much is left.
        const int64_t near_end = d->length() - 300;
        EXPECT_EQ(d->seek(near_end), near_end);
        EXPECT_EQ(frames(decode_rest(*d)), 300u);

        // The same through the layer's millisecond clock.
        SoundStream* s = sound_stream_open(reinterpret_cast<const char*>(files[i].data()),
                                           SOUND_LOADMEMORY | SOUND_MPEGACCURATE, 0,
                                           static_cast<int>(files[i].size()));
        ASSERT_NE(s, nullptr);
        ASSERT_GE(sound_stream_play_ex(SOUND_FREE, s, nullptr, 1), 0);
        const int length_ms = sound_stream_get_length_ms(s);
        EXPECT_EQ(length_ms, static_cast<int>(d->length() * 1000 / kRate));
        ASSERT_EQ(sound_stream_set_time(s, length_ms - 7), 1);
        EXPECT_EQ(sound_stream_get_time(s), length_ms - 7);
        ASSERT_EQ(sound_stream_set_time(s, length_ms + 500), 1);
        EXPECT_EQ(sound_stream_get_time(s), length_ms);
        sound_stream_close(s);
    }
    sound_shutdown();
}

}  // namespace
