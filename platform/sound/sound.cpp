// The sound library: streams and channels, the mix that an output pulls (the audio device, a
// silent real-time thread when there is none, or the caller in the non-real-time mode), and
// the stream clock.
#include "platform/sound/sound.h"

#include "platform/sound/mixer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

using Clock = SoundClock;
using Stream = MixStream;
using Channel = MixChannel;

// Never destroyed: the output may still be mixing while static destructors run at exit.
Mixer& mixer() {
    static Mixer* m = new Mixer;
    return *m;
}

Stream* find_stream(Mixer& m, SoundStream* handle) {
    auto it = m.streams.find(reinterpret_cast<uintptr_t>(handle));
    return it == m.streams.end() ? nullptr : it->second.get();
}

int64_t frames_to_ms(int64_t frames, int rate) { return frames * 1000 / rate; }

// The smallest frame count holding ms, so that frames_to_ms gives ms back exactly.
int64_t ms_to_frames(int64_t ms, int rate) { return (ms * rate + 999) / 1000; }

// A power of two near 23 ms: 1024 frames at 44.1 and 48 kHz.
int buffer_frames_for(int rate) {
    int n = 256;
    while (n * 2 <= rate / 40) n *= 2;
    return n;
}

// A device that has taken no buffer for this long (beyond its own queue) is stalled: a sound
// server under load or a suspended sink. It is not lost; the clock thread mixes in its place
// until it calls back again, so the clock follows the time that passes and the music goes on
// from there. Shorter than the silent output's catch-up limit, so the hand-over loses no time.
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

std::chrono::nanoseconds frames_to_duration(int64_t frames, int rate) {
    return std::chrono::nanoseconds(frames * 1000000000 / rate);
}

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
            Clock::time_point stalled_at = m.last_device_mix + m.device_delay + kStallAfter;
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
                m.last_device_mix = Clock::now();  // a slow open does not count as a stall
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

// Ends the current init's output (the caller holds `lifecycle`, not the lock). The clock
// thread stops at once. The keeper is given kCloseWait to close the device; one that is still
// inside a device call after that (a server that does not answer) is left to finish on its
// own: it serves an init that has ended, so it opens nothing and closes what it holds.
void stop_output(Mixer& m) {
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

void release_all(Mixer& m) {
    stop_output(m);
    std::lock_guard<std::mutex> lock(m.mutex);
    m.streams.clear();
    m.channels.clear();
    m.ready = false;
}

bool read_file(const char* name, int offset, int length, std::vector<unsigned char>& bytes) {
    if (!name || offset < 0 || length < 0) return false;
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(name, "rb"), std::fclose);
    if (!f || std::fseek(f.get(), 0, SEEK_END) != 0) return false;
    long size = std::ftell(f.get());
    if (size < 0 || offset >= size) return false;
    long count = size - offset;
    if (length > 0 && length < count) count = length;
    if (std::fseek(f.get(), offset, SEEK_SET) != 0) return false;
    bytes.resize(static_cast<size_t>(count));
    return std::fread(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
}

}  // namespace

void mix_locked(Mixer& m, int16_t* out, int frames, SoundClock::duration delay) {
    m.sum.assign(static_cast<size_t>(frames) * 2, 0);
    if (m.decoded.size() < m.sum.size()) m.decoded.resize(m.sum.size());
    for (MixChannel& ch : m.channels) {
        if (!ch.stream) continue;
        MixStream& s = *m.streams.at(ch.stream);
        s.heard_base = s.pos;
        s.heard_frames = 0;
        if (ch.paused) continue;
        int n = s.decoder.read(m.decoded.data(), frames);
        for (int i = 0; i < n * 2; ++i) m.sum[i] += m.decoded[i];
        s.pos += n;
        s.heard_frames = n;
    }
    for (size_t i = 0; i < m.sum.size(); ++i)
        out[i] = static_cast<int16_t>(std::clamp<int32_t>(m.sum[i], -32768, 32767));
    m.last_mix = SoundClock::now();
    m.last_mix_frames = frames;
    m.output_delay = delay;
}

void device_mix(Mixer& m, const DeviceOutput* d, int16_t* out, int frames) {
    std::lock_guard<std::mutex> lock(m.mutex);
    if (d != m.device || m.device_gone.load()) {
        std::fill(out, out + static_cast<size_t>(frames) * 2, int16_t{0});
        return;
    }
    mix_locked(m, out, frames, m.device_delay);
    m.last_device_mix = m.last_mix;
    m.device_started = true;
}

int sound_set_output(int output) {
    if (output != SOUND_OUTPUT_NOSOUND && output != SOUND_OUTPUT_DEFAULT &&
        output != SOUND_OUTPUT_MANUAL)
        return 0;
    Mixer& m = mixer();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (m.output_fixed) return output == m.output;
    m.output = output;
    return 1;
}

int sound_fix_output(int output) {
    if (!sound_set_output(output)) return 0;
    Mixer& m = mixer();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.output_fixed = true;
    return 1;
}

int sound_init(int mixrate, int maxchannels, unsigned int /*flags*/) {
    Mixer& m = mixer();
    std::lock_guard<std::mutex> owner(m.lifecycle);
    static std::once_flag exit_hook;
    std::call_once(exit_hook, [] { std::atexit(sound_shutdown); });
    release_all(m);
    if (mixrate < 4000 || mixrate > 192000 || maxchannels < 1 || maxchannels > 1024) return 0;
    int output, frames = buffer_frames_for(mixrate);
    uint64_t generation;
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        m.rate = mixrate;
        m.buffer_frames = frames;
        m.channels.assign(static_cast<size_t>(maxchannels), Channel{});
        m.last_mix = Clock::now();
        m.last_mix_frames = 0;
        m.ready = true;
        m.open_tried = false;
        output = m.running = m.output;
        generation = m.generation;
    }
    if (output == SOUND_OUTPUT_MANUAL) return 1;
    m.clock_thread = std::thread(run_clock, std::ref(m));
    if (output == SOUND_OUTPUT_DEFAULT) {
        std::packaged_task<void()> keep([&m, generation, mixrate, frames] {
            keep_device(m, generation, mixrate, frames);
        });
        m.keeper_done = keep.get_future();
        m.keeper = std::thread(std::move(keep));
        // Normally the device is open before the first stream starts; a server that takes
        // longer gets the music from where the clock has reached when it answers.
        std::unique_lock<std::mutex> lock(m.mutex);
        m.wake.wait_for(lock, kOpenWait, [&] { return m.open_tried; });
    }
    return 1;
}

int sound_mix(short* out, int frames) {
    Mixer& m = mixer();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (!out || frames <= 0 || !m.ready || m.running != SOUND_OUTPUT_MANUAL) return 0;
    mix_locked(m, out, frames, {});
    return frames;
}

int sound_get_output() {
    Mixer& m = mixer();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (!m.ready) return -1;
    if (m.running == SOUND_OUTPUT_DEFAULT && !m.device) return SOUND_OUTPUT_NOSOUND;
    return m.running;
}

void sound_simulate_device_loss() { mixer().device_gone = true; }

SoundStream* sound_stream_open(const char* name_or_data, unsigned int mode, int offset,
                               int length) {
    Mixer& m = mixer();
    int rate;
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        if (!m.ready) return nullptr;
        rate = m.rate;
    }
    auto s = std::make_unique<Stream>();
    const unsigned char* data;
    size_t size;
    if (mode & SOUND_LOADMEMORY) {
        if (!name_or_data || offset < 0 || length <= 0) return nullptr;
        data = reinterpret_cast<const unsigned char*>(name_or_data) + offset;
        size = static_cast<size_t>(length);
    } else {
        if (!read_file(name_or_data, offset, length, s->file_bytes)) return nullptr;
        data = s->file_bytes.data();
        size = s->file_bytes.size();
    }
    // Decoding is set up (and the stream scanned) outside the lock: nothing mixes it yet.
    if (!s->decoder.open(data, size, rate, (mode & SOUND_MPEGACCURATE) != 0)) return nullptr;

    std::lock_guard<std::mutex> lock(m.mutex);
    // A sound_init on another thread in the meantime would have changed the rate.
    if (!m.ready || m.rate != rate) return nullptr;
    uintptr_t handle = m.next_handle++;
    m.streams.emplace(handle, std::move(s));
    return reinterpret_cast<SoundStream*>(handle);
}

int sound_stream_play_ex(int channel, SoundStream* stream, void* dsp, int paused) {
    Mixer& m = mixer();
    std::lock_guard<std::mutex> lock(m.mutex);
    Stream* s = find_stream(m, stream);
    if (!s || dsp || !m.ready) return -1;
    int count = static_cast<int>(m.channels.size());
    if (s->channel >= 0) {
        m.channels[s->channel] = Channel{};
        s->channel = -1;
    }
    int ch = channel;
    if (ch == SOUND_FREE) {
        ch = 0;
        while (ch < count && m.channels[ch].stream) ++ch;
        if (ch == count) return -1;
    } else if (ch < 0 || ch >= count) {
        return -1;
    } else if (uintptr_t other = m.channels[ch].stream) {
        m.streams.at(other)->channel = -1;
    }
    if (s->decoder.seek(0) < 0) return -1;
    s->pos = s->heard_base = s->floor = 0;
    s->heard_frames = 0;
    s->channel = ch;
    m.channels[ch] = Channel{reinterpret_cast<uintptr_t>(stream), paused != 0};
    return ch;
}

int sound_set_paused(int channel, int paused) {
    Mixer& m = mixer();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (channel < 0 || channel >= static_cast<int>(m.channels.size())) return 0;
    Channel& ch = m.channels[channel];
    if (!ch.stream) return 0;
    ch.paused = paused != 0;
    return 1;
}

int sound_stream_get_time(SoundStream* stream) {
    Mixer& m = mixer();
    std::lock_guard<std::mutex> lock(m.mutex);
    Stream* s = find_stream(m, stream);
    if (!s) return 0;
    int64_t frames = s->pos;
    // While it plays, the device is somewhere inside the last buffer it was given.
    // (In the non-real-time mode the caller took the whole buffer: the position is exact.)
    if (m.running != SOUND_OUTPUT_MANUAL && s->channel >= 0 && !m.channels[s->channel].paused &&
        s->heard_frames > 0) {
        auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
            Clock::now() - m.last_mix - m.output_delay);
        // Negative while the device still plays the buffers queued before the last one.
        int64_t played = elapsed.count() * m.rate / 1000000;
        // The floor keeps a seek's target from reading less while those buffers still play.
        frames = std::max(s->floor, s->heard_base + std::min<int64_t>(played, s->heard_frames));
    }
    return static_cast<int>(frames_to_ms(frames, m.rate));
}

int sound_stream_set_time(SoundStream* stream, int ms) {
    Mixer& m = mixer();
    std::lock_guard<std::mutex> lock(m.mutex);
    Stream* s = find_stream(m, stream);
    if (!s) return 0;
    int64_t at = s->decoder.seek(ms_to_frames(std::max(ms, 0), m.rate));
    if (at < 0) return 0;
    s->pos = s->heard_base = s->floor = at;
    s->heard_frames = 0;
    return 1;
}

int sound_stream_close(SoundStream* stream) {
    Mixer& m = mixer();
    std::lock_guard<std::mutex> lock(m.mutex);
    Stream* s = find_stream(m, stream);
    if (!s) return 0;
    if (s->channel >= 0) m.channels[s->channel] = Channel{};
    m.streams.erase(reinterpret_cast<uintptr_t>(stream));
    return 1;
}

int sound_stream_get_length_ms(SoundStream* stream) {
    Mixer& m = mixer();
    std::lock_guard<std::mutex> lock(m.mutex);
    Stream* s = find_stream(m, stream);
    if (!s || s->decoder.length() < 0) return 0;
    return static_cast<int>(frames_to_ms(s->decoder.length(), m.rate));
}

void sound_shutdown() {
    Mixer& m = mixer();
    std::lock_guard<std::mutex> owner(m.lifecycle);
    release_all(m);
}
