// The sound library over SDL2 audio and libmpg123: streams and channels, the mix that the SDL
// audio callback (or, without a device, a silent real-time thread) pulls, and the stream clock.
#include "platform/sound/sound.h"

#include "platform/sound/mp3_decoder.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Stream {
    std::vector<unsigned char> file_bytes;  // the data when the stream was opened by file name
    Mp3Decoder decoder;
    int64_t pos = 0;         // frames decoded and handed to the output so far
    int64_t heard_base = 0;  // pos when the last device buffer began
    int heard_frames = 0;    // frames of this stream in the last device buffer
    int channel = -1;
};

struct Channel {
    uintptr_t stream = 0;  // 0: free
    bool paused = false;
};

// Handles given out are serial numbers, never addresses: a handle that was never returned, or
// one that was closed, finds nothing in the table instead of touching freed memory.
struct Mixer {
    std::mutex mutex;  // guards everything below; the mixing thread holds it while it mixes
    int output = SOUND_OUTPUT_DEFAULT;
    bool ready = false;
    int rate = 0;
    int buffer_frames = 0;
    std::vector<Channel> channels;
    std::unordered_map<uintptr_t, std::unique_ptr<Stream>> streams;
    uintptr_t next_handle = 1;
    Clock::time_point last_mix{};
    std::vector<int32_t> sum;
    std::vector<int16_t> decoded;

    // The output: an SDL device, or the silent thread.
    SDL_AudioDeviceID device = 0;
    bool sdl_audio = false;
    std::thread silent;
    std::condition_variable wake;
    bool stop_silent = false;
};

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

void mix_locked(Mixer& m, int16_t* out, int frames) {
    m.sum.assign(static_cast<size_t>(frames) * 2, 0);
    if (m.decoded.size() < m.sum.size()) m.decoded.resize(m.sum.size());
    for (Channel& ch : m.channels) {
        if (!ch.stream) continue;
        Stream& s = *m.streams.at(ch.stream);
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
    m.last_mix = Clock::now();
}

void SDLCALL device_callback(void* userdata, Uint8* bytes, int len) {
    Mixer& m = *static_cast<Mixer*>(userdata);
    std::lock_guard<std::mutex> lock(m.mutex);
    mix_locked(m, reinterpret_cast<int16_t*>(bytes), len / 4);
}

// Stands in for a device: mixes one buffer, then waits until the buffer would have played.
// Deadlines count from the start, so the clock does not drift; after a long stall it resyncs
// instead of racing through the missed buffers.
void silent_output(Mixer& m) {
    std::unique_lock<std::mutex> lock(m.mutex);
    std::vector<int16_t> buffer(static_cast<size_t>(m.buffer_frames) * 2);
    const int rate = m.rate, frames = m.buffer_frames;
    Clock::time_point start = Clock::now();
    int64_t mixed = 0;
    while (!m.stop_silent) {
        mix_locked(m, buffer.data(), frames);
        mixed += frames;
        auto due = start + std::chrono::nanoseconds(mixed * 1000000000 / rate);
        if (Clock::now() - due > std::chrono::milliseconds(250)) {
            start = Clock::now();
            mixed = 0;
            continue;
        }
        m.wake.wait_until(lock, due, [&] { return m.stop_silent; });
    }
}

bool open_device(Mixer& m) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{}, have{};
    want.freq = m.rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(m.buffer_frames);
    want.callback = device_callback;
    want.userdata = &m;
    // No changes allowed: SDL converts to whatever the hardware wants, so the callback always
    // mixes 16-bit stereo at the mix rate.
    m.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (m.device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    m.sdl_audio = true;
    SDL_PauseAudioDevice(m.device, 0);
    return true;
}

// Called without the lock held: closing the device and joining the thread both wait for a
// mix that may itself be waiting for the lock.
void stop_output(Mixer& m) {
    if (m.device) {
        SDL_CloseAudioDevice(m.device);
        m.device = 0;
    }
    if (m.sdl_audio) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m.sdl_audio = false;
    }
    if (m.silent.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m.mutex);
            m.stop_silent = true;
        }
        m.wake.notify_all();
        m.silent.join();
        m.stop_silent = false;
    }
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

int sound_set_output(int output) {
    if (output != SOUND_OUTPUT_NOSOUND && output != SOUND_OUTPUT_DEFAULT) return 0;
    Mixer& m = mixer();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.output = output;
    return 1;
}

int sound_init(int mixrate, int maxchannels, unsigned int /*flags*/) {
    Mixer& m = mixer();
    static std::once_flag exit_hook;
    std::call_once(exit_hook, [] { std::atexit(sound_shutdown); });
    release_all(m);
    if (mixrate < 4000 || mixrate > 192000 || maxchannels < 1 || maxchannels > 1024) return 0;
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        m.rate = mixrate;
        m.buffer_frames = buffer_frames_for(mixrate);
        m.channels.assign(static_cast<size_t>(maxchannels), Channel{});
        m.last_mix = Clock::now();
        m.ready = true;
    }
    if (m.output == SOUND_OUTPUT_DEFAULT && open_device(m)) return 1;
    m.silent = std::thread(silent_output, std::ref(m));
    return 1;
}

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
    s->pos = s->heard_base = 0;
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
    if (s->channel >= 0 && !m.channels[s->channel].paused && s->heard_frames > 0) {
        auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() -
                                                                             m.last_mix);
        int64_t played = elapsed.count() * m.rate / 1000000;
        frames = s->heard_base + std::min<int64_t>(played, s->heard_frames);
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
    s->pos = s->heard_base = at;
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

void sound_shutdown() { release_all(mixer()); }
