// Inside the sound library: the mixer state that the API (sound.cpp) and the outputs share.
// An output is whatever pulls the mix: the platform's audio device, the silent real-time
// thread that stands in when there is none, or the caller itself in the non-real-time mode.
#pragma once

#include "platform/sound/mp3_decoder.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

using SoundClock = std::chrono::steady_clock;

inline std::chrono::nanoseconds frames_to_duration(int64_t frames, int rate) {
    return std::chrono::nanoseconds(frames * 1000000000 / rate);
}

struct MixStream {
    std::vector<unsigned char> file_bytes;  // the data when the stream was opened by file name
    Mp3Decoder decoder;
    int64_t pos = 0;         // frames decoded and handed to the output so far
    int64_t heard_base = 0;  // pos when the last output buffer began
    int heard_frames = 0;    // frames of this stream in the last output buffer
    int64_t floor = 0;       // where it last started or was moved to: the clock never reads less
    int channel = -1;
};

struct MixChannel {
    uintptr_t stream = 0;  // 0: free
    bool paused = false;
};

// The platform device's own state (output_sdl.cpp, output_waveout.cpp, output_web.cpp).
struct DeviceOutput;

// Handles given out are serial numbers, never addresses: a handle that was never returned, or
// one that was closed, finds nothing in the table instead of touching freed memory.
struct Mixer {
    std::mutex mutex;  // guards everything below but the threads; an output holds it while it mixes
    int output = 1;    // SOUND_OUTPUT_* chosen for the next init
    bool output_fixed = false;  // a program fixed the output; sound_set_output leaves it
    int running = 0;   // the output the current init asked for
    bool ready = false;
    int rate = 0;
    int buffer_frames = 0;
    std::vector<MixChannel> channels;
    std::unordered_map<uintptr_t, std::unique_ptr<MixStream>> streams;
    uintptr_t next_handle = 1;
    SoundClock::time_point last_mix{};
    int last_mix_frames = 0;
    // How long after its mix the last buffer starts to play: the buffers its output keeps
    // queued ahead of the one playing (none for the silent output). The stream clock counts
    // back by it, so that it reads the sample being played rather than the last one mixed.
    SoundClock::duration output_delay{};
    std::vector<int32_t> sum;
    std::vector<int16_t> decoded;

    // The device that plays the mix, while one does: set by the device keeper once the device
    // has opened, cleared when it is lost or the init ends. A device that is not this one
    // (being opened, lost, closing) gets silence from device_mix.
    DeviceOutput* device = nullptr;
    SoundClock::duration device_delay{};     // its queue, as output_delay
    // When the audio the device has taken runs out, at the earliest: each buffer it takes adds
    // its length from the later of then and now, so a device that runs ahead of real time
    // (SDL's disk driver without its delay) has time in hand before it counts as late.
    SoundClock::time_point device_heard_until{};
    bool device_started = false;               // it has taken a buffer since it opened
    std::atomic<bool> device_gone{false};  // the test seam's pretended loss
    bool open_tried = false;               // the keeper of this init has tried once
    uint64_t generation = 0;               // counts inits and shutdowns: a keeper serves one

    // Wakes the clock thread, the keeper and a sound_init waiting for the first open.
    std::condition_variable wake;
    bool stop_clock = false;

    // The threads of the current init, started and stopped only under `lifecycle`.
    std::mutex lifecycle;
    std::thread clock_thread;   // the silent output; stands in while the device is late
    std::thread keeper;         // opens, watches and reopens the device
    std::future<void> keeper_done;
    // Device opens and closes, one at a time: a keeper that outlived its init (a sound server
    // that would not answer) may still be inside one when the next init's keeper begins.
    std::mutex device_calls;
};

// Mixes `frames` stereo frames of every playing channel into out; the caller holds the lock.
// `delay` is how long the buffer waits in the output's queue before it plays.
void mix_locked(Mixer& m, int16_t* out, int frames, SoundClock::duration delay);

// What a device's own thread calls for each buffer it wants: the mix when `d` is the device
// that plays, silence otherwise. Takes the lock.
void device_mix(Mixer& m, const DeviceOutput* d, int16_t* out, int frames);

// What plays a real-time init (NOSOUND or DEFAULT): one implementation per platform, called
// by sound_init and sound_shutdown, which hold `lifecycle` and not the lock. On Linux and Windows
// (realtime_threads.cpp) realtime_start starts the clock thread and, for DEFAULT, the device
// keeper, and waits up to 1.5 s for the device's first open. A web page has one thread, which
// must never wait: there (output_web.cpp) a timer of the page is the device and the clock at
// once. realtime_stop ends what realtime_start began: nothing of that init mixes any more, the
// device is closed or left to its keeper, m.device is null and output_delay zero.
void realtime_start(Mixer& m, int output, uint64_t generation, int rate, int frames);
void realtime_stop(Mixer& m);

// The platform's audio device (one implementation per platform), called only by the device
// keeper (in the web page by realtime_start and realtime_stop), never with the lock held, and
// never by two threads at once. device_open opens the default device for `rate` Hz and buffers
// of `frames` frames and starts it pulling device_mix (the page's timer mixes for it instead);
// null when none opens. It may take as long as the sound server takes to answer. device_close
// stops and releases it; it waits for the device's thread, which may be waiting for the lock
// or for the server. device_lost tells whether the system has said that the device is gone
// (unplugged, its server gone): a device that is merely late is not lost. device_delay is how
// long a buffer waits in the device's queue before it plays.
DeviceOutput* device_open(Mixer& m, int rate, int frames);
void device_close(DeviceOutput* d);
bool device_lost(DeviceOutput* d);
SoundClock::duration device_delay(const DeviceOutput* d);
