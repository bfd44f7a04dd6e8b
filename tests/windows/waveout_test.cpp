// The sound layer on Windows, under Wine: with a device (ALSA's null device behind waveOut) the
// music's clock follows real time; when the device goes away, or when none opens at all, the
// silent output carries it on, and a lost device is opened again a second later.
// GLOW_WAVEOUT_EXPECT says which case this run sets up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/sound/sound.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kTrack = std::string(GLOW_SOURCE_DIR) + "/data/music/track.mp3";

// How far the stream's clock moves while `wait` passes on the wall clock, and how far the wall
// clock really moved: past `wait` by however late this loaded machine woke the thread.
void clock_over(SoundStream* stream, std::chrono::milliseconds wait, long* moved, long* real) {
    int before = sound_stream_get_time(stream);
    auto t = Clock::now();
    std::this_thread::sleep_for(wait);
    *moved = sound_stream_get_time(stream) - before;
    *real = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

TEST(WaveOut, TheClockFollowsRealTimeOnTheDeviceAndAfterItIsGone) {
    const char* expect = std::getenv("GLOW_WAVEOUT_EXPECT");
    ASSERT_NE(expect, nullptr) << "set GLOW_WAVEOUT_EXPECT to device or none";
    const bool device = std::string(expect) == "device";

    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    EXPECT_EQ(sound_get_output(), device ? SOUND_OUTPUT_DEFAULT : SOUND_OUTPUT_NOSOUND);
    SoundStream* stream = sound_stream_open(kTrack.c_str(), SOUND_MPEGACCURATE, 0, 0);
    ASSERT_NE(stream, nullptr);
    ASSERT_GE(sound_stream_play_ex(SOUND_FREE, stream, nullptr, 0), 0);

    // The clock may fall behind the wall clock by the stall time (100 ms), the three buffers
    // waveOut holds, and however late the machine wakes threads just now (the sleep's own
    // overrun stands for that); it never runs ahead by more than a buffer.
    auto lag_allowed = [](long real, long waited) { return 100 + 3 * 23 + 12 + (real - waited); };
    long moved, real;
    clock_over(stream, 1000ms, &moved, &real);
    if (device) {
        // The clock counts what the device has played. ALSA's null device takes buffers as
        // fast as Wine hands them over (about twice real time here), so only a stall shows.
        EXPECT_GE(moved, real - lag_allowed(real, 1000));
    } else {
        // The silent output keeps real time.
        EXPECT_GE(moved, real - lag_allowed(real, 1000));
        EXPECT_LE(moved, real + 23 + 12);
    }

    if (device) {
        // A lost device hands the streams to the silent output, which goes on from there; a
        // second after the loss the default device is opened again, with no new init, and
        // the clock goes on with it.
        int at_loss = sound_stream_get_time(stream);
        auto lost = Clock::now();
        sound_simulate_device_loss();
        while (sound_get_output() != SOUND_OUTPUT_NOSOUND && Clock::now() - lost < 20s)
            std::this_thread::sleep_for(1ms);
        EXPECT_EQ(sound_get_output(), SOUND_OUTPUT_NOSOUND);
        EXPECT_GE(sound_stream_get_time(stream), at_loss);
        clock_over(stream, 500ms, &moved, &real);
        EXPECT_GE(moved, real - lag_allowed(real, 500));
        while (sound_get_output() != SOUND_OUTPUT_DEFAULT && Clock::now() - lost < 20s)
            std::this_thread::sleep_for(10ms);
        ASSERT_EQ(sound_get_output(), SOUND_OUTPUT_DEFAULT) << "the device never came back";
        EXPECT_GE(Clock::now() - lost, 1s) << "tried again sooner than a second after the loss";
        clock_over(stream, 500ms, &moved, &real);
        EXPECT_GE(moved, real - lag_allowed(real, 500));
    }

    // Paused, the clock stands; closing and a second init leave nothing behind.
    ASSERT_EQ(sound_set_paused(0, 1), 1);
    std::this_thread::sleep_for(100ms);
    clock_over(stream, 300ms, &moved, &real);
    EXPECT_EQ(moved, 0);
    EXPECT_EQ(sound_stream_close(stream), 1);
    ASSERT_EQ(sound_init(44100, 32, 0), 1);
    EXPECT_EQ(sound_stream_get_time(stream), 0);
    sound_shutdown();
}

}  // namespace
