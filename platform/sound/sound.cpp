// The sound library: streams and channels, the mix that an output pulls (the audio device, a
// silent real-time thread when there is none, or the caller in the non-real-time mode), and
// the stream clock. What plays a real-time init is the platform's (realtime_start).
#include "platform/sound/sound.h"

#include "platform/sound/mixer.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
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

void release_all(Mixer& m) {
    realtime_stop(m);
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
    m.device_heard_until =
        std::max(m.device_heard_until, m.last_mix) + frames_to_duration(frames, m.rate);
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
    realtime_start(m, output, generation, mixrate, frames);
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
