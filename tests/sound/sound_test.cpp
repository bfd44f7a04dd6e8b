// The real sound layer on SDL's disk and dummy audio drivers: exact output against a reference
// decode, exact seeks, the real-time clock, pause, close and re-initialisation, other formats,
// and data or handles that are not what they should be.
#include "platform/sound/sound.h"

#include "tests/sound/sound_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using Ms = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
const unsigned kMode = 0x28130;  // 16-bit, mono, signed, from memory, accurate
const int kBuffer = 1024;        // frames per device buffer at 44.1 kHz
const long kQueue = 2 * kBuffer;  // what SDL's disk device may hold beyond the clock
const double kStallMs = 100;     // how long the layer waits for a late device before it mixes in its place

// Sleeps about ms; how much longer than that it took (a loaded machine wakes threads late).
double sleep_ms(int ms) {
    auto asked = Clock::now();
    std::this_thread::sleep_for(Ms(ms));
    return std::chrono::duration<double, std::milli>(Clock::now() - asked).count() - ms;
}

// Polls done every 2 ms until it holds or the timeout passes.
template <typename Done>
bool wait_until(Done done, Ms timeout) {
    auto until = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(Ms(2));
    }
    return true;
}

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path.empty());
        mp3 = dir.path + "/tone.mp3";
        ASSERT_TRUE(make_tone_mp3(mp3, Tone{})) << "lame could not make the test file";
        bytes = read_bytes(mp3);
        ref = reference_decode(mp3, 44100);
        ASSERT_GT(frames(ref), 3u * 44100u - 2000u);
    }
    void TearDown() override { sound_shutdown(); }

    // Opens the tone from memory and starts it paused.
    SoundStream* open_tone(int* channel = nullptr) {
        SoundStream* s = sound_stream_open(reinterpret_cast<const char*>(bytes.data()), kMode, 0,
                                           static_cast<int>(bytes.size()));
        int ch = sound_stream_play_ex(SOUND_FREE, s, nullptr, 1);
        if (channel) *channel = ch;
        return s;
    }

    // Waits until SDL's disk device has written its first buffer to path. The music started
    // before a device's first callback plays from the clock's position, later in the track,
    // as it should when the device is late; the tests that look for the track's opening in
    // what the device wrote start it once the device runs.
    static bool device_runs(const std::string& path) {
        return wait_until([&] { return read_pcm(path).size() >= 2u * kBuffer; }, Ms(60000));
    }

    // Waits until the stream's clock reaches its end (true) or the timeout passes.
    static bool wait_for_end(SoundStream* s, int timeout_ms) {
        int length = sound_stream_get_length_ms(s);
        auto until = Clock::now() + Ms(timeout_ms);
        while (Clock::now() < until) {
            if (sound_stream_get_time(s) >= length) return true;
            std::this_thread::sleep_for(Ms(2));
        }
        return false;
    }

    TempDir dir;
    std::string mp3;
    std::vector<unsigned char> bytes;
    Pcm ref;
};

TEST_F(SoundTest, PlaysExactlyTheReferenceDecodeFromSampleZero) {
    std::string out = dir.path + "/out.raw";
    use_disk_driver(out, 0);
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    int channel = -1;
    SoundStream* s = open_tone(&channel);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(channel, 0);
    EXPECT_EQ(sound_stream_get_length_ms(s), static_cast<int>(frames(ref) * 1000 / 44100));
    EXPECT_EQ(sound_stream_get_time(s), 0);
    ASSERT_TRUE(device_runs(out));
    ASSERT_EQ(sound_set_paused(channel, 0), 1);
    ASSERT_TRUE(wait_for_end(s, 20000));
    EXPECT_EQ(sound_stream_get_time(s), sound_stream_get_length_ms(s));  // holds at the end
    sound_shutdown();

    Pcm played = read_pcm(out);
    long start = find_frames(played, ref, 0, 4096);
    ASSERT_GE(start, 0) << "the start of the track never came out";
    EXPECT_EQ(start % kBuffer, 0);
    EXPECT_TRUE(silent(played, 0, start));
    EXPECT_EQ(matching_frames(played, start, ref, 0), frames(ref));
    EXPECT_TRUE(silent(played, start + frames(ref), frames(played)));
    // The mode's mono bit describes raw data: the stereo MP3 keeps two different sides.
    size_t differ = 0;
    for (size_t i = 0; i < frames(ref); ++i) differ += played[2 * (start + i)] != played[2 * (start + i) + 1];
    EXPECT_GT(differ, frames(ref) / 2);
}

TEST_F(SoundTest, SeekContinuesExactlyAtTheSample) {
    std::string out = dir.path + "/out.raw";
    use_disk_driver(out, 0);
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    int channel = -1;
    SoundStream* s = open_tone(&channel);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(sound_stream_set_time(s, 1230), 1);
    EXPECT_EQ(sound_stream_get_time(s), 1230);
    ASSERT_TRUE(device_runs(out));
    sound_set_paused(channel, 0);
    ASSERT_TRUE(wait_for_end(s, 20000));
    sound_shutdown();

    Pcm played = read_pcm(out);
    const size_t at = 1230 * 441 / 10;  // 54243
    long start = find_frames(played, ref, at, 4096);
    ASSERT_GE(start, 0);
    EXPECT_TRUE(silent(played, 0, start));
    EXPECT_EQ(matching_frames(played, start, ref, at), frames(ref) - at);

    // Times that fall between two samples continue at the next one and read back unchanged;
    // before the start goes to 0, past the end to the end.
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    s = open_tone();
    ASSERT_EQ(sound_stream_set_time(s, 1234), 1);
    EXPECT_EQ(sound_stream_get_time(s), 1234);
    ASSERT_EQ(sound_stream_set_time(s, -150), 1);
    EXPECT_EQ(sound_stream_get_time(s), 0);
    ASSERT_EQ(sound_stream_set_time(s, 1000000000), 1);
    EXPECT_EQ(sound_stream_get_time(s), sound_stream_get_length_ms(s));
}

// A device that falls behind on a loaded machine goes on at the clock, so what a real-time
// device writes is checked buffer by buffer: each one exact and later in the track than the
// last, the seek's target starting a buffer of its own.
TEST_F(SoundTest, SeekWhilePlayingJumpsBetweenTwoBuffers) {
    std::string out = dir.path + "/out.raw";
    use_disk_driver(out, -1);  // real time, so the seek lands mid-track
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    int channel = -1;
    SoundStream* s = open_tone(&channel);
    ASSERT_TRUE(device_runs(out));
    sound_set_paused(channel, 0);
    std::this_thread::sleep_for(Ms(300));
    int at_seek = sound_stream_get_time(s);
    ASSERT_LT(at_seek, 2000) << "the machine was too slow to seek mid-track";
    ASSERT_EQ(sound_stream_set_time(s, 2000), 1);
    EXPECT_GE(sound_stream_get_time(s), 2000);
    ASSERT_TRUE(wait_for_end(s, 60000));
    sound_shutdown();

    Pcm played = read_pcm(out);
    EXPECT_EQ(buffers_in_order(played, ref, kBuffer), static_cast<long>(frames(ref)));
    long seek_lands = -1;
    for (size_t at = 0; at + kBuffer <= frames(played) && seek_lands < 0; at += kBuffer)
        if (matching_frames(played, at, ref, 88200) >= static_cast<size_t>(kBuffer))
            seek_lands = static_cast<long>(at);
    EXPECT_GE(seek_lands, 0) << "no device buffer starts at the seek's target";
}

TEST_F(SoundTest, ClockFollowsRealTimeAndPauseHoldsIt) {
    use_dummy_driver();
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    int channel = -1;
    SoundStream* s = open_tone(&channel);
    ASSERT_NE(s, nullptr);
    std::this_thread::sleep_for(Ms(100));
    EXPECT_EQ(sound_stream_get_time(s), 0);  // paused from the start

    const double buffer_ms = kBuffer * 1000.0 / 44100.0;
    auto started = Clock::now();
    sound_set_paused(channel, 0);
    int last = 0;
    double late = 0;  // the most this thread woke late: how long the machine keeps threads waiting
    for (int i = 0; i < 30; ++i) {
        late = std::max(late, sleep_ms(40));
        auto before = Clock::now();
        int t = sound_stream_get_time(s);
        auto after = Clock::now();
        double lo = std::chrono::duration<double, std::milli>(before - started).count();
        double hi = std::chrono::duration<double, std::milli>(after - started).count();
        // Never ahead of the wall clock by more than the buffer a returning device starts
        // with; behind it by at most the time a late device is waited for and a buffer, and
        // however late the machine is waking threads just now.
        EXPECT_GE(t, lo - kStallMs - buffer_ms - 12 - late) << "at " << lo << " ms";
        EXPECT_LE(t, hi + buffer_ms + 12) << "at " << hi << " ms";
        EXPECT_GE(t, last);
        last = t;
    }

    // Between two device buffers the clock moves on in small steps, so pictures driven by it
    // move smoothly instead of a buffer (23 ms) at a time: no step is longer than the time
    // that passed by more than half a buffer.
    last = sound_stream_get_time(s);
    auto last_at = Clock::now();
    for (int i = 0; i < 100; ++i) {
        sleep_ms(2);
        int t = sound_stream_get_time(s);
        auto now = Clock::now();
        double passed = std::chrono::duration<double, std::milli>(now - last_at).count();
        EXPECT_LE(t - last, passed + 12);
        last = t;
        last_at = now;
    }

    ASSERT_EQ(sound_set_paused(channel, 1), 1);
    int held = sound_stream_get_time(s);
    std::this_thread::sleep_for(Ms(150));
    EXPECT_EQ(sound_stream_get_time(s), held);
    sound_set_paused(channel, 0);
    EXPECT_TRUE(wait_until([&] { return sound_stream_get_time(s) > held + 100; }, Ms(60000)));
}

TEST_F(SoundTest, WithoutAnAudioDeviceTheClockStillRuns) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    for (int output : {SOUND_OUTPUT_DEFAULT, SOUND_OUTPUT_NOSOUND}) {
        ASSERT_EQ(sound_set_output(output), 1);
        ASSERT_EQ(sound_init(44100, 32, 0), 1);
        int channel = -1;
        SoundStream* s = open_tone(&channel);
        ASSERT_NE(s, nullptr);
        auto started = Clock::now();
        sound_set_paused(channel, 0);
        double late = sleep_ms(500);
        int t = sound_stream_get_time(s);
        double wall = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
        // The silent output keeps real time, a buffer at a time: behind by at most a buffer
        // and however late the machine wakes its thread just now.
        const double buffer_ms = kBuffer * 1000.0 / 44100.0;
        EXPECT_LE(t, wall + buffer_ms + 12);
        EXPECT_GE(t, wall - buffer_ms - 30 - late);
        sound_set_paused(channel, 1);
        int held = sound_stream_get_time(s);
        std::this_thread::sleep_for(Ms(100));
        EXPECT_EQ(sound_stream_get_time(s), held);
    }
    EXPECT_EQ(sound_set_output(7), 0);
}

// An unplugged device: the streams carry on over the silent output from the sample the device
// last took, so the clock keeps pace with real time and never steps back; the device's output
// holds the track up to the loss and then silence, nothing replayed. A second later, with no
// new init, the default device opens again and the music goes on there from the clock's
// position. A new init opens a fresh device.
TEST_F(SoundTest, LostDeviceCarriesOnSilentlyAndComesBackAtTheClock) {
    std::string out = dir.path + "/out.raw", back = dir.path + "/back.raw";
    use_disk_driver(out, -1);
    ASSERT_EQ(sound_set_output(SOUND_OUTPUT_DEFAULT), 1);
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    ASSERT_EQ(sound_get_output(), SOUND_OUTPUT_DEFAULT);
    int channel = -1;
    SoundStream* s = open_tone(&channel);
    ASSERT_TRUE(device_runs(out));
    sound_set_paused(channel, 0);
    std::this_thread::sleep_for(Ms(400));
    use_disk_driver(back, -1);  // for the device that opens after the loss (read at open)

    const double buffer_ms = kBuffer * 1000.0 / 44100;
    int before = sound_stream_get_time(s);
    auto lost_at = Clock::now();
    sound_simulate_device_loss();
    // Between two readings the clock moves by the time that passed, give or take a buffer:
    // no stall while the silent output takes over or the device returns, and no leap.
    auto since = [&] {
        return std::chrono::duration<double, std::milli>(Clock::now() - lost_at).count();
    };
    int last = before, at_return = -1;
    double last_wall = 0, wall = 0, returned = -1, late = 0;
    bool silent_output = false;
    while ((wall = since()) < (returned < 0 ? 10000 : returned + 300)) {
        int output = sound_get_output();
        int t = sound_stream_get_time(s);
        ASSERT_GE(t, last) << "the clock stepped back";
        EXPECT_LE(t - last, wall - last_wall + buffer_ms + 5) << "at " << wall << " ms";
        silent_output |= output == SOUND_OUTPUT_NOSOUND;
        if (returned < 0 && silent_output && output == SOUND_OUTPUT_DEFAULT) {
            returned = wall;
            at_return = last;  // the clock before the device was back
        }
        last = t;
        last_wall = wall;
        late = std::max(late, sleep_ms(1));
    }
    ASSERT_TRUE(silent_output) << "the loss was not taken as one";
    ASSERT_GE(returned, 0) << "the device never came back";
    EXPECT_GE(returned, 1000) << "tried again sooner than a second after the loss";
    // Over the whole time the clock moved as the wall clock did: never ahead by more than a
    // buffer, behind by at most a late device's wait and however late threads are woken.
    EXPECT_LE(last - before, last_wall + buffer_ms + 10);
    EXPECT_GE(last - before, last_wall - kStallMs - buffer_ms - 10 - late);
    sound_shutdown();

    // The lost device played the track in order up to the loss, and nothing after it.
    Pcm played = read_pcm(out);
    long heard = buffers_in_order(played, ref, kBuffer);
    ASSERT_GT(heard, 4096) << "the track is not in the lost device's output, in order";
    EXPECT_LE(heard, 44100L * (before + 50) / 1000);

    // The returned device starts where the clock had got to, and plays on from there.
    Pcm resumed = read_pcm(back);
    long at = -1;
    long resumed_end = buffers_in_order(resumed, ref, kBuffer, &at);
    ASSERT_GT(resumed_end, 0) << "no music from the returned device, or not the track in order";
    EXPECT_GE(at * 1000 / 44100, at_return);
    EXPECT_LE(at * 1000 / 44100, last + buffer_ms);

    use_dummy_driver();
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    EXPECT_EQ(sound_get_output(), SOUND_OUTPUT_DEFAULT);
}

TEST_F(SoundTest, CloseSilencesTheStreamAndInvalidatesTheHandle) {
    std::string out = dir.path + "/out.raw";
    use_disk_driver(out, -1);
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    int channel = -1;
    SoundStream* s = open_tone(&channel);
    ASSERT_TRUE(device_runs(out));
    sound_set_paused(channel, 0);
    std::this_thread::sleep_for(Ms(300));
    int closed_at = sound_stream_get_time(s);
    ASSERT_EQ(sound_stream_close(s), 1);
    EXPECT_EQ(sound_stream_get_time(s), 0);
    EXPECT_EQ(sound_stream_set_time(s, 100), 0);
    EXPECT_EQ(sound_stream_play_ex(SOUND_FREE, s, nullptr, 0), -1);
    EXPECT_EQ(sound_stream_close(s), 0);
    EXPECT_EQ(sound_set_paused(channel, 0), 0);  // the channel is free again
    std::this_thread::sleep_for(Ms(200));
    sound_shutdown();

    // The track in order up to the close, no further than the clock had got to and the
    // device's queue beyond it, and then silence while the device went on.
    Pcm played = read_pcm(out);
    long heard = buffers_in_order(played, ref, kBuffer);
    ASSERT_GT(heard, 0);
    EXPECT_LE(heard, 441L * closed_at / 10 + kQueue);
    size_t last_sound = frames(played);
    while (last_sound > 0 && silent(played, last_sound - 1, last_sound)) --last_sound;
    EXPECT_GT(frames(played), last_sound + 4 * kBuffer);  // the device went on, silent
}

TEST_F(SoundTest, SecondInitSilencesTheFirstInitsStreams) {
    std::string first = dir.path + "/first.raw", second = dir.path + "/second.raw";
    use_disk_driver(first, -1);
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    int channel = -1;
    SoundStream* old = open_tone(&channel);
    ASSERT_TRUE(device_runs(first));
    sound_set_paused(channel, 0);
    std::this_thread::sleep_for(Ms(200));
    int replaced_at = sound_stream_get_time(old);

    use_disk_driver(second, -1);
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    EXPECT_EQ(sound_stream_get_time(old), 0);
    EXPECT_EQ(sound_stream_close(old), 0);
    EXPECT_EQ(sound_set_paused(channel, 0), 0);
    SoundStream* fresh = open_tone(&channel);
    ASSERT_NE(fresh, nullptr);
    EXPECT_NE(fresh, old);  // handles are not reused
    std::this_thread::sleep_for(Ms(200));  // the new stream waits, paused
    sound_shutdown();

    // The first device played the track in order until the second init, no further.
    Pcm before = read_pcm(first), after = read_pcm(second);
    long heard = buffers_in_order(before, ref, kBuffer);
    ASSERT_GT(heard, 0);
    EXPECT_LE(heard, 441L * replaced_at / 10 + kQueue);
    EXPECT_GT(frames(after), 4u * kBuffer);
    EXPECT_TRUE(silent(after, 0, frames(after)));
}

TEST_F(SoundTest, ChannelsAndFileNames) {
    use_dummy_driver();
    ASSERT_EQ(sound_init(44100, 2, 0), 1);
    // Without LOADMEMORY the argument is a file name; offset and length pick part of a file.
    SoundStream* a = sound_stream_open(mp3.c_str(), SOUND_MPEGACCURATE, 0, 0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(sound_stream_get_length_ms(a), static_cast<int>(frames(ref) * 1000 / 44100));
    std::vector<unsigned char> padded(333 + bytes.size(), 0x5a);
    std::copy(bytes.begin(), bytes.end(), padded.begin() + 333);
    std::string padded_path = dir.path + "/padded.bin";
    ASSERT_TRUE(write_bytes(padded_path, padded));
    SoundStream* b = sound_stream_open(padded_path.c_str(), SOUND_MPEGACCURATE, 333, 0);
    ASSERT_NE(b, nullptr);
    SoundStream* c = sound_stream_open(reinterpret_cast<const char*>(padded.data()),
                                       SOUND_LOADMEMORY | SOUND_MPEGACCURATE, 333,
                                       static_cast<int>(bytes.size()));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(sound_stream_get_length_ms(c), sound_stream_get_length_ms(a));
    EXPECT_EQ(sound_stream_open((dir.path + "/missing.mp3").c_str(), 0, 0, 0), nullptr);

    EXPECT_EQ(sound_stream_play_ex(SOUND_FREE, a, nullptr, 1), 0);
    EXPECT_EQ(sound_stream_play_ex(SOUND_FREE, b, nullptr, 1), 1);
    EXPECT_EQ(sound_stream_play_ex(SOUND_FREE, c, nullptr, 1), -1);  // both channels busy
    EXPECT_EQ(sound_stream_play_ex(5, c, nullptr, 1), -1);
    int dsp = 0;
    EXPECT_EQ(sound_stream_play_ex(SOUND_FREE, c, &dsp, 1), -1);
    // A numbered channel takes over: the stream there stops, its clock holds.
    sound_set_paused(0, 0);
    std::this_thread::sleep_for(Ms(150));
    EXPECT_EQ(sound_stream_play_ex(0, c, nullptr, 0), 0);
    int stopped = sound_stream_get_time(a);
    EXPECT_GT(stopped, 50);
    std::this_thread::sleep_for(Ms(100));
    EXPECT_EQ(sound_stream_get_time(a), stopped);
    EXPECT_GT(sound_stream_get_time(c), 40);
    // Playing again restarts from 0 on a new channel.
    EXPECT_EQ(sound_stream_play_ex(SOUND_FREE, c, nullptr, 1), 0);
    EXPECT_EQ(sound_stream_get_time(c), 0);
}

TEST_F(SoundTest, OtherRatesAndMonoPlayAtTheRightSpeed) {
    struct Case {
        int rate, channels;
    } cases[] = {{48000, 2}, {22050, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        Tone tone;
        tone.seconds = 2.0;
        tone.rate = c.rate;
        tone.channels = c.channels;
        tone.sweep_from = tone.sweep_to = 1000;  // a steady 1 kHz on the left
        std::string path = dir.path + "/rate" + std::to_string(c.rate) + ".mp3";
        ASSERT_TRUE(make_tone_mp3(path, tone));
        long native = 0;
        reference_decode(path, 44100, &native);
        ASSERT_EQ(native, c.rate);

        std::string out = dir.path + "/out" + std::to_string(c.rate) + ".raw";
        use_disk_driver(out, 0);
        ASSERT_EQ(sound_init(44100, 32, 0), 1);
        std::vector<unsigned char> data = read_bytes(path);
        SoundStream* s = sound_stream_open(reinterpret_cast<const char*>(data.data()), kMode, 0,
                                           static_cast<int>(data.size()));
        ASSERT_NE(s, nullptr);
        EXPECT_NEAR(sound_stream_get_length_ms(s), 2000, 30);
        sound_set_paused(sound_stream_play_ex(SOUND_FREE, s, nullptr, 1), 0);
        ASSERT_TRUE(wait_for_end(s, 20000));
        sound_shutdown();

        // The left side crosses zero upwards 1000 times a second of output at 44.1 kHz.
        Pcm played = read_pcm(out);
        size_t first = 0, last = 0, rises = 0;
        for (size_t i = 1; i < frames(played); ++i) {
            if (std::abs(played[2 * i]) > 2000) {
                if (!first) first = i;
                last = i;
            }
        }
        for (size_t i = first + 4410; i + 1 < last - 4410; ++i)
            rises += played[2 * i] < 0 && played[2 * i + 2] >= 0;
        double seconds = (last - first - 8820) / 44100.0;
        EXPECT_NEAR(rises / seconds, 1000.0, 10.0);
        EXPECT_NEAR((last - first) / 44100.0, 2.0, 0.05);
        if (c.channels == 1) {  // mono plays on both sides
            EXPECT_EQ(played[2 * (first + 1000)], played[2 * (first + 1000) + 1]);
        }
    }
}

TEST_F(SoundTest, BrokenDataAndBadHandlesAreRefusedWithoutHarm) {
    // Before any init nothing opens.
    EXPECT_EQ(sound_stream_open(reinterpret_cast<const char*>(bytes.data()), kMode, 0,
                                static_cast<int>(bytes.size())),
              nullptr);
    std::string out = dir.path + "/out.raw";
    use_disk_driver(out, 0);
    ASSERT_EQ(sound_init(44100, 32, 0), 1);

    SoundStream* garbage = reinterpret_cast<SoundStream*>(static_cast<uintptr_t>(0xdeadbeef));
    for (SoundStream* bad : {static_cast<SoundStream*>(nullptr), garbage}) {
        EXPECT_EQ(sound_stream_get_time(bad), 0);
        EXPECT_EQ(sound_stream_set_time(bad, 10), 0);
        EXPECT_EQ(sound_stream_close(bad), 0);
        EXPECT_EQ(sound_stream_play_ex(SOUND_FREE, bad, nullptr, 0), -1);
        EXPECT_EQ(sound_stream_get_length_ms(bad), 0);
    }
    EXPECT_EQ(sound_set_paused(-1, 0), 0);
    EXPECT_EQ(sound_set_paused(32, 0), 0);
    EXPECT_EQ(sound_init(44100, 0, 0), 0);
    EXPECT_EQ(sound_init(0, 32, 0), 0);
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    EXPECT_EQ(sound_stream_open(nullptr, kMode, 0, 100), nullptr);
    EXPECT_EQ(sound_stream_open(reinterpret_cast<const char*>(bytes.data()), kMode, -1, 100), nullptr);
    EXPECT_EQ(sound_stream_open(reinterpret_cast<const char*>(bytes.data()), kMode, 0, 0), nullptr);

    // Not MP3 at all: noise, a WAV header with silence, text.
    std::vector<unsigned char> noise(20000);
    uint32_t x = 12345;
    for (auto& b : noise) b = static_cast<unsigned char>((x = x * 1664525u + 1013904223u) >> 24);
    std::vector<unsigned char> wav(20000, 0);
    std::copy_n("RIFF\x00\x00\x00\x00WAVEfmt ", 16, wav.begin());
    std::string text(5000, 'a');
    for (const auto* data : {&noise, &wav}) {
        EXPECT_EQ(sound_stream_open(reinterpret_cast<const char*>(data->data()), kMode, 0,
                                    static_cast<int>(data->size())),
                  nullptr);
    }
    EXPECT_EQ(sound_stream_open(text.data(), kMode, 0, static_cast<int>(text.size())), nullptr);

    // Damaged MP3s: cut anywhere, or with bytes overwritten. Whatever opens plays to its end.
    std::vector<std::vector<unsigned char>> damaged;
    for (size_t cut : {size_t(4), size_t(200), size_t(417), bytes.size() / 2, bytes.size() - 1})
        damaged.emplace_back(bytes.begin(), bytes.begin() + cut);
    std::vector<unsigned char> flipped = bytes;
    for (size_t i = 600; i < flipped.size(); i += 97) flipped[i] ^= 0xa5;
    damaged.push_back(flipped);
    std::vector<unsigned char> holed = bytes;
    std::fill(holed.begin() + holed.size() / 3, holed.begin() + holed.size() / 3 + 3000, 0xff);
    damaged.push_back(holed);
    int opened = 0;
    for (auto& data : damaged) {
        SoundStream* s = sound_stream_open(reinterpret_cast<const char*>(data.data()), kMode, 0,
                                           static_cast<int>(data.size()));
        if (!s) continue;
        ++opened;
        sound_set_paused(sound_stream_play_ex(SOUND_FREE, s, nullptr, 1), 0);
        EXPECT_TRUE(wait_for_end(s, 20000));
        sound_stream_set_time(s, 500);
        sound_stream_set_time(s, 100000);
        EXPECT_LE(sound_stream_get_time(s), sound_stream_get_length_ms(s));
        EXPECT_EQ(sound_stream_close(s), 1);
    }
    EXPECT_GE(opened, 4);  // the longer cuts and the overwritten files still hold MP3 frames

    // A cut file plays exactly what the whole one plays, up to where its data ends.
    std::vector<unsigned char> half(bytes.begin(), bytes.begin() + bytes.size() / 2);
    SoundStream* s = sound_stream_open(reinterpret_cast<const char*>(half.data()), kMode, 0,
                                       static_cast<int>(half.size()));
    ASSERT_NE(s, nullptr);
    int half_ms = sound_stream_get_length_ms(s);
    EXPECT_GT(half_ms, 1200);
    EXPECT_LT(half_ms, 1800);
}

// The shipped tracks: long enough for the scroller, small enough to ship, and never clipped.
// The non-real-time output: nothing moves until the program mixes, and then exactly by what
// it took; pause holds the stream, seeks land on the sample. A fixed output outlasts the
// default selection that start-up code makes (for the rest of the process: so this test
// comes last).
TEST_F(SoundTest, ManualOutputMovesExactlyByWhatIsMixed) {
    ASSERT_EQ(sound_fix_output(SOUND_OUTPUT_MANUAL), 1);
    EXPECT_EQ(sound_set_output(SOUND_OUTPUT_DEFAULT), 0);
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    EXPECT_EQ(sound_get_output(), SOUND_OUTPUT_MANUAL);
    int channel = -1;
    SoundStream* s = open_tone(&channel);
    sound_set_paused(channel, 0);
    std::this_thread::sleep_for(Ms(60));
    EXPECT_EQ(sound_stream_get_time(s), 0);

    Pcm out(2 * 44100);
    ASSERT_EQ(sound_mix(out.data(), 1000), 1000);
    EXPECT_EQ(sound_stream_get_time(s), 22);  // 1000 frames: 22.7 ms
    ASSERT_EQ(sound_mix(out.data() + 2000, 44100 - 1000), 44100 - 1000);
    EXPECT_EQ(sound_stream_get_time(s), 1000);
    EXPECT_EQ(matching_frames(out, 0, ref, 0), 44100u);

    sound_set_paused(channel, 1);
    ASSERT_EQ(sound_mix(out.data(), 500), 500);
    EXPECT_EQ(sound_stream_get_time(s), 1000);
    EXPECT_TRUE(silent(out, 0, 500));

    sound_set_paused(channel, 0);
    ASSERT_EQ(sound_stream_set_time(s, 1500), 1);
    ASSERT_EQ(sound_mix(out.data(), 100), 100);
    EXPECT_EQ(matching_frames(out, 0, ref, 66150), 100u);
    EXPECT_EQ(sound_stream_get_time(s), 1502);
    EXPECT_EQ(sound_mix(nullptr, 100), 0);
}

TEST(ShippedMusic, TracksAreLongEnoughSmallAndUnclipped) {
    std::string dir = std::string(GLOW_SOURCE_DIR) + "/data/music/";
    size_t total = 0;
    for (const char* name : {"track.mp3", "track2.mp3"}) {
        SCOPED_TRACE(name);
        total += read_bytes(dir + name).size();
        Pcm pcm = reference_decode(dir + name, 44100);
        ASSERT_GT(frames(pcm), 60u * 44100u);
        int peak = 0;
        for (int16_t v : pcm) peak = std::max(peak, std::abs(static_cast<int>(v)));
        EXPECT_LT(peak, 32767);
        EXPECT_GT(peak, 16000);  // and not timid either
        if (std::string(name) == "track.mp3") {
            EXPECT_GE(frames(pcm), 185u * 44100u);
        }
    }
    EXPECT_LT(total, 6u * 1000u * 1000u);
}

}  // namespace
