// Inside the sound library: the mixer state that the API (sound.cpp) and the outputs share.
// An output is whatever pulls the mix: the platform's audio device, the silent real-time
// thread that stands in when there is none, or the caller itself in the non-real-time mode.
#pragma once

#include "platform/sound/mp3_decoder.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

using SoundClock = std::chrono::steady_clock;

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

struct DeviceOutput;  // the platform device's own state (output_sdl.cpp, output_waveout.cpp)

// Handles given out are serial numbers, never addresses: a handle that was never returned, or
// one that was closed, finds nothing in the table instead of touching freed memory.
struct Mixer {
    std::mutex mutex;  // guards everything below; an output holds it while it mixes
    int output = 1;    // SOUND_OUTPUT_* chosen for the next init
    bool output_fixed = false;  // a program fixed the output; sound_set_output leaves it
    int running = 0;   // the output the current init runs on
    bool ready = false;
    int rate = 0;
    int buffer_frames = 0;
    std::vector<MixChannel> channels;
    std::unordered_map<uintptr_t, std::unique_ptr<MixStream>> streams;
    uintptr_t next_handle = 1;
    SoundClock::time_point last_mix{};
    // How long after its mix a buffer starts to play: the buffers an output keeps queued
    // ahead of the one playing. The stream clock counts back by it, so that it reads the
    // sample the device is playing rather than the last one mixed.
    SoundClock::duration output_delay{};
    std::vector<int32_t> sum;
    std::vector<int16_t> decoded;

    // The device, while one plays. `device_gone` is set by the device's own thread when it
    // learns the device went away, or by the test seam; the clock thread then takes over.
    DeviceOutput* device = nullptr;
    std::atomic<bool> device_gone{false};

    // The clock thread: the silent real-time output, and while a device plays, its watchdog.
    std::thread clock_thread;
    std::condition_variable wake;
    bool stop_clock = false;
};

// Mixes `frames` stereo frames of every playing channel into out; the caller holds the lock.
void mix_locked(Mixer& m, int16_t* out, int frames);

// The platform's audio device (one implementation per platform). device_open opens it for
// m.rate and m.buffer_frames and starts it pulling mix_locked; false when none opens.
// device_close stops and releases it and must be called without the lock, since the device's
// thread may be waiting for it. device_lost tells whether the device has gone away (unplugged,
// its server restarted); it is polled by the clock thread without the lock.
bool device_open(Mixer& m);
void device_close(Mixer& m);
bool device_lost(Mixer& m);

// Starts what keeps a real-time init's streams moving besides the device: `run` (the silent
// output, and the device's watchdog) on a thread of its own (clock_thread.cpp). A web page has
// one thread, which must never block: there the web output keeps the clock itself, silent or
// not, on the browser's timers (output_web.cpp), and `run` is not used.
void clock_start(Mixer& m, void (*run)(Mixer&, bool), bool device);
