// Built on Web Audio, runs in the web page: the audio device. A timer of the page pulls the mix
// a buffer at a time and schedules each buffer back to back on the AudioContext's clock, a
// quarter of a second ahead, so that a long frame does not starve it. While the context cannot
// play (no Web Audio, no device, suspended until the user's first gesture) the same timer
// consumes the mix silently in real time, so the music clock runs on either way.
//
// The stream clock stays sound.cpp's: after each buffer, output_delay says when that buffer
// will be heard, taken from the context's output timestamp, so positions count the samples
// played. A seek or a track change throws away what is queued, so the new music is heard within
// a few milliseconds instead of after the queue.
#include "platform/sound/mixer.h"

#include <emscripten.h>

#include <unordered_map>
#include <vector>

namespace {

constexpr double kLead = 0.25;     // seconds of audio kept queued ahead
constexpr double kMargin = 0.03;   // when a fresh queue starts, after the context's now
constexpr double kResync = 250.0;  // ms the silent clock may lag before it starts afresh
constexpr int kPumpEveryMs = 10;

}  // namespace

struct DeviceOutput {
    bool audible = false;     // the last pump scheduled audio
    double next_ctx = 0;      // context time at which the next buffer would start
    double next_silent = -1;  // page time (ms) at which the next silent buffer is due
    double queue_end = 0;     // page time (ms) at which the queued audio ends
    std::vector<int16_t> buffer;
    std::unordered_map<uintptr_t, int64_t> expected;  // each stream's position after the last mix
};

// clang-format off
// The page's audio: one AudioContext for the page's life (a new program started in the same
// page takes it over), a gain node every buffer plays into, and an analyser behind it that
// tells the test what was heard.
EM_JS(void, web_audio_open, (int rate), {
    const A = globalThis.glowAudio || (globalThis.glowAudio = { sources: new Set() });
    if (!A.context) {
        const Context = globalThis.AudioContext || globalThis.webkitAudioContext;
        if (!Context) return;
        try {
            A.context = new Context({ sampleRate: rate, latencyHint: 'interactive' });
        } catch (e) {
            try { A.context = new Context(); } catch (e2) { return; }
        }
        A.analyser = A.context.createAnalyser();
        A.analyser.fftSize = 2048;
        A.analyser.connect(A.context.destination);
        A.peak = () => {
            const data = new Float32Array(A.analyser.fftSize);
            A.analyser.getFloatTimeDomainData(data);
            let peak = 0;
            for (const v of data) peak = Math.max(peak, Math.abs(v));
            return peak;
        };
        // A context made before the user's first gesture waits for one.
        A.resumeOnGesture = () => { if (A.context.state == 'suspended') A.context.resume().catch(() => {}); };
        window.addEventListener('pointerdown', A.resumeOnGesture, true);
        window.addEventListener('keydown', A.resumeOnGesture, true);
    }
    A.input = A.context.createGain();
    A.input.connect(A.analyser);
    A.resumeOnGesture();
});

EM_JS(void, web_audio_close, (), {
    const A = globalThis.glowAudio;
    if (!A || !A.input) return;
    for (const s of A.sources) { try { s.stop(); } catch (e) {} }
    A.sources.clear();
    A.input.disconnect();
    A.input = null;
});

// out: [0] 1 when the context plays, [1] its current time, [2] the context time being heard
// now, [3] the page time now (ms); [1] and [2] only while it plays.
EM_JS(void, web_audio_state, (double* out), {
    const A = globalThis.glowAudio;
    const now = performance.now();
    const i = out >> 3;
    HEAPF64[i + 3] = now;
    if (!A || !A.context || !A.input || A.context.state != 'running') {
        HEAPF64[i] = 0;
        return;
    }
    const c = A.context;
    let heard = c.currentTime - (c.outputLatency || c.baseLatency || 0);
    if (c.getOutputTimestamp) {
        const ts = c.getOutputTimestamp();
        if (ts.performanceTime > 0) heard = ts.contextTime + (now - ts.performanceTime) / 1000;
    }
    HEAPF64[i] = 1;
    HEAPF64[i + 1] = c.currentTime;
    HEAPF64[i + 2] = heard;
});

// Plays `frames` stereo 16-bit frames from `samples` at context time `when`.
EM_JS(void, web_audio_play, (const int16_t* samples, int frames, int rate, double when), {
    const A = globalThis.glowAudio;
    const buffer = A.context.createBuffer(2, frames, rate);
    const left = buffer.getChannelData(0), right = buffer.getChannelData(1);
    const base = samples >> 1;
    for (let i = 0; i < frames; ++i) {
        left[i] = HEAP16[base + 2 * i] / 32768;
        right[i] = HEAP16[base + 2 * i + 1] / 32768;
    }
    const source = A.context.createBufferSource();
    source.buffer = buffer;
    source.connect(A.input);
    source.onended = () => A.sources.delete(source);
    A.sources.add(source);
    source.start(when);
});

// Stops whatever is queued or playing.
EM_JS(void, web_audio_cancel, (), {
    const A = globalThis.glowAudio;
    if (!A) return;
    for (const s of A.sources) { try { s.stop(); } catch (e) {} }
    A.sources.clear();
});

EM_JS(void, web_pump_start, (int every_ms), {
    Module.glowSoundPump = setInterval(() => Module._sound_web_pump(), every_ms);
});

EM_JS(void, web_pump_stop, (), {
    clearInterval(Module.glowSoundPump);
});
// clang-format on

namespace {

Mixer* pumped = nullptr;  // the mixer whose output the timer drives

SoundClock::duration ms_duration(double ms) {
    return std::chrono::duration_cast<SoundClock::duration>(
        std::chrono::duration<double, std::milli>(ms));
}

// True when a stream moved other than by playing (a seek), or one started or stopped, since
// the last mix: what is queued no longer follows on.
bool music_jumped(Mixer& m, DeviceOutput& d) {
    size_t playing = 0;
    for (const MixChannel& ch : m.channels) {
        if (!ch.stream) continue;
        ++playing;
        auto it = d.expected.find(ch.stream);
        if (it == d.expected.end() || it->second != m.streams.at(ch.stream)->pos) return true;
    }
    return playing != d.expected.size();
}

void remember_positions(Mixer& m, DeviceOutput& d) {
    d.expected.clear();
    for (const MixChannel& ch : m.channels)
        if (ch.stream) d.expected[ch.stream] = m.streams.at(ch.stream)->pos;
}

// Mixes one buffer that will be heard from page time `heard_at_ms`.
void mix_one(Mixer& m, DeviceOutput& d, double heard_at_ms) {
    mix_locked(m, d.buffer.data(), m.buffer_frames);
    // last_mix is now; the buffer starts to be heard heard_at - now from here.
    m.output_delay = ms_duration(heard_at_ms - emscripten_get_now());
    remember_positions(m, d);
}

void pump(Mixer& m, DeviceOutput& d) {
    double s[4];
    web_audio_state(s);
    const double now_ms = s[3];
    const double buffer_s = static_cast<double>(m.buffer_frames) / m.rate;
    if (s[0] != 0) {
        const double ctx_now = s[1], heard_now = s[2];
        if (!d.audible || d.next_ctx < ctx_now || music_jumped(m, d)) {
            // A fresh queue: after silence, after falling behind, or after the music jumped.
            web_audio_cancel();
            d.next_ctx = ctx_now + kMargin;
            d.audible = true;
        }
        while (d.next_ctx < ctx_now + kLead) {
            mix_one(m, d, now_ms + (d.next_ctx - heard_now) * 1000.0);
            web_audio_play(d.buffer.data(), m.buffer_frames, m.rate, d.next_ctx);
            d.next_ctx += buffer_s;
        }
        d.queue_end = now_ms + (d.next_ctx - heard_now) * 1000.0;
        d.next_silent = -1;
        return;
    }
    if (d.audible) {
        // The context stopped playing: the queue is lost, and the silent clock carries on from
        // where it would have ended.
        web_audio_cancel();
        d.audible = false;
        d.next_silent = d.queue_end;
    }
    if (d.next_silent < 0 || now_ms - d.next_silent > kResync) d.next_silent = now_ms;
    while (d.next_silent <= now_ms) {
        mix_one(m, d, d.next_silent);
        d.next_silent += buffer_s * 1000.0;
    }
}

void start(Mixer& m) {
    m.device = new DeviceOutput;
    m.device->buffer.resize(static_cast<size_t>(m.buffer_frames) * 2);
    pumped = &m;
    web_pump_start(kPumpEveryMs);
}

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE void sound_web_pump() {
    if (!pumped || !pumped->device) return;
    std::lock_guard<std::mutex> lock(pumped->mutex);
    pump(*pumped, *pumped->device);
}

// Never fails: without a context that plays, the output is silent on the clock.
bool device_open(Mixer& m) {
    web_audio_open(m.rate);
    start(m);
    return true;
}

// Only the silent output asks for a clock here (the NOSOUND output): the same timer, with no
// audio behind it.
void clock_start(Mixer& m, void (*)(Mixer&, bool), bool device) {
    if (!device) start(m);
}

void device_close(Mixer& m) {
    if (!m.device) return;
    web_pump_stop();
    web_audio_close();
    delete m.device;
    m.device = nullptr;
    pumped = nullptr;
}

// The page's output never gives up on its device: it goes silent and comes back by itself.
bool device_lost(Mixer&) { return false; }
