// Built on std::thread; runs on Linux and Windows: what plays a real-time init besides the
// device's own thread. The clock thread is the silent output, and stands in while the device is
// late or lost; the keeper thread opens, watches and reopens the device.
#include "platform/sound/mixer.h"
#include "platform/sound/sound.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = SoundClock;

// A device that has taken no buffer for this long after the audio it took ran out (beyond its
// own queue) is stalled: a sound server under load or a suspended sink. It is not lost; the
// clock thread mixes in its place until it calls back again, so the clock follows the time
// that passes and the music goes on from there. Shorter than the silent output's catch-up
// limit, so the hand-over loses no time.
constexpr auto kStallAfter = std::chrono::milliseconds(100);
// How far behind its deadlines the silent output may fall and still catch up, so that a
// loaded machine that keeps its thread waiting a while costs the clock no time; beyond it (the
// process was stopped) it starts afresh from now rather than race through the track.
constexpr auto kCatchUpLimit = std::chrono::seconds(2);
// After a loss the default device is tried again this often.
constexpr auto kRetryEvery = std::chrono::seconds(1);
// How long sound_init waits for the device to open, and a shutdown for the keeper to close
// it, before going on without: sound_init returns within 2 s, whatever the server does.
constexpr auto kOpenWait = std::chrono::milliseconds(1500);
constexpr auto kCloseWait = std::chrono::milliseconds(500);

// The clock thread of a real-time init: the silent output. It mixes whenever no device does
// (before one opens, after one is lost, and while the one that plays is stalled), one buffer
// per buffer period, and throws the mix away. Its first buffer begins where the last buffer of
// any output ends, and deadlines count from there, so the music's position moves with real
// time across every hand-over, never stepping back or skipping ahead.
void run_clock(Mixer& m) {
    std::unique_lock<std::mutex> lock(m.mutex);
    const int rate = m.rate, frames = m.buffer_frames;
    std::vector<int16_t> buffer(static_cast<size_t>(frames) * 2);
    bool mixing = false;
    Clock::time_point start;  // when the first buffer of this turn at mixing begins to play
    int64_t mixed = 0;
    while (!m.stop_clock) {
        Clock::time_point now = Clock::now();
        // A device that has just opened takes over once it has taken a buffer: until then
        // this thread goes on, so that a slow first callback does not hold the clock up.
        if (m.device && m.device_started) {
            Clock::time_point stalled_at = m.device_heard_until + m.device_delay + kStallAfter;
            if (now < stalled_at) {
                mixing = false;
                m.wake.wait_until(lock, stalled_at, [&] { return m.stop_clock || !m.device; });
                continue;
            }
        }
        if (!mixing) {
            mixing = true;
            start = m.last_mix + m.output_delay + frames_to_duration(m.last_mix_frames, rate);
            mixed = 0;
        }
        Clock::time_point begins = start + frames_to_duration(mixed, rate);
        if (now < begins) {
            m.wake.wait_until(lock, begins, [&] { return m.stop_clock; });
            continue;
        }
        if (now - begins > kCatchUpLimit) {
            start = now;
            mixed = 0;
        }
        mix_locked(m, buffer.data(), frames, {});
        mixed += frames;
    }
}

// The device keeper of a real-time init with the default output: the one thread that opens,
// watches and closes the device, so that a sound server slow to answer holds up nothing else.
// It opens the default device, then asks every buffer period whether the system says it is
// gone. After a loss it closes it and tries the default device again, at most once a second,
// until its init ends; the clock thread carries the music meanwhile, and a device that opens
// plays on from the clock's position.
void keep_device(Mixer& m, uint64_t generation, int rate, int frames) {
    const auto period = frames_to_duration(frames, rate);
    auto ended = [&] { return m.generation != generation; };
    DeviceOutput* d = nullptr;
    Clock::time_point next_try = Clock::now();
    std::unique_lock<std::mutex> lock(m.mutex);
    while (!ended()) {
        if (!d) {
            if (m.wake.wait_until(lock, next_try, ended)) break;
            next_try = Clock::now() + kRetryEvery;
            lock.unlock();
            {
                std::lock_guard<std::mutex> calls(m.device_calls);
                d = device_open(m, rate, frames);
            }
            lock.lock();
            if (ended()) break;
            m.open_tried = true;
            if (d) {
                m.device = d;
                m.device_delay = device_delay(d);
                m.device_heard_until = Clock::now();  // a slow open does not count as a stall
                m.device_started = false;
                m.device_gone = false;
            }
            m.wake.notify_all();
            continue;
        }
        if (m.wake.wait_for(lock, period, ended)) break;
        lock.unlock();
        bool lost = m.device_gone.load() || device_lost(d);
        lock.lock();
        if (!lost || ended()) continue;
        m.device = nullptr;  // from here on the device gets silence and the clock thread mixes
        m.device_gone = false;
        m.wake.notify_all();
        lock.unlock();
        {
            std::lock_guard<std::mutex> calls(m.device_calls);
            device_close(d);
        }
        d = nullptr;
        lock.lock();
        next_try = Clock::now() + kRetryEvery;
    }
    if (m.device == d) m.device = nullptr;
    lock.unlock();
    if (d) {
        std::lock_guard<std::mutex> calls(m.device_calls);
        device_close(d);
    }
}

}  // namespace

void realtime_start(Mixer& m, int output, uint64_t generation, int rate, int frames) {
    m.clock_thread = std::thread(run_clock, std::ref(m));
    if (output == SOUND_OUTPUT_DEFAULT) {
        std::packaged_task<void()> keep([&m, generation, rate, frames] {
            keep_device(m, generation, rate, frames);
        });
        m.keeper_done = keep.get_future();
        m.keeper = std::thread(std::move(keep));
        // Normally the device is open before the first stream starts; a server that takes
        // longer gets the music from where the clock has reached when it answers.
        std::unique_lock<std::mutex> lock(m.mutex);
        m.wake.wait_for(lock, kOpenWait, [&] { return m.open_tried; });
    }
}

// Ends the current init's output (the caller holds `lifecycle`, not the lock). The clock
// thread stops at once. The keeper is given kCloseWait to close the device; one that is still
// inside a device call after that (a server that does not answer) is left to finish on its
// own: it serves an init that has ended, so it opens nothing and closes what it holds.
void realtime_stop(Mixer& m) {
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        m.stop_clock = true;
        ++m.generation;
    }
    m.wake.notify_all();
    if (m.clock_thread.joinable()) m.clock_thread.join();
    if (m.keeper.joinable()) {
        if (m.keeper_done.wait_for(kCloseWait) == std::future_status::ready) m.keeper.join();
        else m.keeper.detach();
    }
    std::lock_guard<std::mutex> lock(m.mutex);
    m.stop_clock = false;
    m.device = nullptr;
    m.output_delay = {};
}
