// Built on Web Audio and the page's timers; runs in the web page: the audio device and the
// clock at once, since the page has one thread and it must never wait. A timer of the page pulls
// the mix a buffer at a time and schedules each buffer back to back on the AudioContext's clock,
// a quarter of a second ahead, so that a long frame does not starve it. While the context does
// not play (no Web Audio; suspended until the user's first gesture or by the browser; stalled,
// its time standing still) the same timer mixes in real time and throws the mix away, as the
// silent output does, so the music clock runs on; when it plays again, the music goes on from
// the clock's position. There is no keeper: the page's context is never lost.
//
// The stream clock stays sound.cpp's: each buffer's delay says when it will be heard, taken from
// the context's output timestamp, so positions count the samples played. A seek or a track
// change throws away what is queued, so the new music is heard within a few milliseconds
// instead of after the queue.
#include "platform/sound/mixer.h"
#include "platform/sound/sound.h"

#include <emscripten.h>

#include <unordered_map>
#include <vector>

namespace {

constexpr double kLead = 0.25;    // seconds of audio kept queued ahead
constexpr double kMargin = 0.03;  // when a fresh queue starts, after the context's now
// As the clock thread of the desktop builds: a context whose time stands still this long past
// the end of its queue is stalled, and the silent clock takes over from where the queue ends;
// a page whose timer was held up for less than the catch-up limit costs the clock no time.
constexpr double kStallAfterMs = 100;
constexpr double kCatchUpLimitMs = 2000;
constexpr int kPumpEveryMs = 10;

}  // namespace

struct DeviceOutput {
    bool audible = false;    // what is queued on the context follows on from the last mix
    double next_ctx = 0;     // context time at which the next queued buffer starts
    double ctx_last = -1;    // the context's time at the last pump
    double stalled_at = -1;  // the context's time when it was found stalled; -1 when it was not
    double delay_ms = 0;     // how long the last buffer queued waits before it is heard
};

// clang-format off
// The page's audio: one AudioContext for the page's life (a new program started in the same
// page takes it over), a gain node every buffer plays into, and an analyser behind it that
// tells the test what was heard. Returns 0 where the browser has no Web Audio.
EM_JS(int, web_audio_open, (int rate), {
    const A = globalThis.glowAudio || (globalThis.glowAudio = { sources: new Set() });
    if (!A.context) {
        const Context = globalThis.AudioContext || globalThis.webkitAudioContext;
        if (!Context) return 0;
        try {
            A.context = new Context({ sampleRate: rate, latencyHint: 'interactive' });
        } catch (e) {
            try { A.context = new Context(); } catch (e2) { return 0; }
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
    return 1;
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

// The output of the current real-time init, which the page's timer drives.
struct Pump {
    Mixer* mixer = nullptr;          // null while no real-time init runs
    DeviceOutput* device = nullptr;  // null for NOSOUND, or where the page has no Web Audio
    std::vector<int16_t> buffer;
    // Page time (ms) at which the next buffer mixed will be heard: the end of what is queued
    // on the context, or the silent clock's next deadline. -1 before the first buffer.
    double timeline = -1;
    std::unordered_map<uintptr_t, int64_t> expected;  // each stream's position after the last mix
};

Pump pump_state;

SoundClock::duration ms_duration(double ms) {
    return std::chrono::duration_cast<SoundClock::duration>(
        std::chrono::duration<double, std::milli>(ms));
}

// True when a stream moved other than by playing (a seek), or one started or stopped, since
// the last mix: what is queued no longer follows on.
bool music_jumped(Mixer& m, Pump& p) {
    size_t playing = 0;
    for (const MixChannel& ch : m.channels) {
        if (!ch.stream) continue;
        ++playing;
        auto it = p.expected.find(ch.stream);
        if (it == p.expected.end() || it->second != m.streams.at(ch.stream)->pos) return true;
    }
    return playing != p.expected.size();
}

// Mixes one buffer that will be heard from page time `heard_at_ms`.
void mix_one(Mixer& m, Pump& p, double heard_at_ms) {
    mix_locked(m, p.buffer.data(), m.buffer_frames,
               ms_duration(heard_at_ms - emscripten_get_now()));
    p.expected.clear();
    for (const MixChannel& ch : m.channels)
        if (ch.stream) p.expected[ch.stream] = m.streams.at(ch.stream)->pos;
}

// The silent output's step: mixes, from where the last buffer ended, every buffer that begins
// before page time `until_ms`, and throws them away; after a longer absence it starts afresh
// from now rather than race through the track.
void catch_up(Mixer& m, Pump& p, double until_ms, double now_ms) {
    const double period_ms = 1000.0 * m.buffer_frames / m.rate;
    if (p.timeline < 0 || now_ms - p.timeline > kCatchUpLimitMs) p.timeline = now_ms;
    while (p.timeline < until_ms) {
        mix_one(m, p, p.timeline);
        p.timeline += period_ms;
    }
}

// Whether the context takes audio now, from its state at this pump.
bool plays(Pump& p, DeviceOutput& d, const double* s) {
    if (s[0] == 0) {
        d.stalled_at = -1;  // a context that resumes starts afresh
        return false;
    }
    const double ctx_now = s[1], now_ms = s[3];
    const bool moved = ctx_now != d.ctx_last;
    d.ctx_last = ctx_now;
    if (d.audible) {
        if (moved || now_ms <= p.timeline + kStallAfterMs) return true;
        d.stalled_at = ctx_now;
        return false;
    }
    if (d.stalled_at >= 0 && ctx_now == d.stalled_at) return false;
    d.stalled_at = -1;
    return true;
}

void pump(Mixer& m, Pump& p) {
    double s[4] = {0, 0, 0, emscripten_get_now()};
    if (p.device) web_audio_state(s);
    const double now_ms = s[3];
    DeviceOutput* d = p.device;
    if (!d || !plays(p, *d, s)) {
        if (d && d->audible) {
            // The queue is lost; the silent clock goes on from where it would have ended.
            web_audio_cancel();
            d->audible = false;
        }
        catch_up(m, p, now_ms, now_ms);
        return;
    }
    const double ctx_now = s[1], heard_now = s[2];
    const double buffer_s = static_cast<double>(m.buffer_frames) / m.rate;
    auto heard_at = [&](double ctx) { return now_ms + (ctx - heard_now) * 1000.0; };
    const bool jumped = music_jumped(m, p);
    if (!d->audible || d->next_ctx < ctx_now || jumped) {
        // A fresh queue: after silence, after the timer fell behind the context, or after the
        // music jumped. Unless it jumped, the music goes on from the clock's position: the
        // stretch heard before the queue can start is mixed and thrown away, and the queue
        // starts where it ends.
        web_audio_cancel();
        d->next_ctx = ctx_now + kMargin;
        if (!jumped && p.timeline >= 0) {
            catch_up(m, p, heard_at(d->next_ctx), now_ms);
            d->next_ctx = heard_now + (p.timeline - now_ms) / 1000.0;
        }
        d->audible = true;
    }
    while (d->next_ctx < ctx_now + kLead) {
        mix_one(m, p, heard_at(d->next_ctx));
        web_audio_play(p.buffer.data(), m.buffer_frames, m.rate, d->next_ctx);
        d->delay_ms = heard_at(d->next_ctx) - now_ms;
        d->next_ctx += buffer_s;
        p.timeline = heard_at(d->next_ctx);
    }
}

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE void sound_web_pump() {
    Pump& p = pump_state;
    if (!p.mixer) return;
    std::lock_guard<std::mutex> lock(p.mixer->mutex);
    pump(*p.mixer, p);
}

// Opens the page's AudioContext (or takes over the one an earlier run made); null where the
// browser has no Web Audio. A context that cannot play yet is not a failure: it is stalled.
DeviceOutput* device_open(Mixer&, int rate, int) {
    if (!web_audio_open(rate)) return nullptr;
    return new DeviceOutput;
}

void device_close(DeviceOutput* d) {
    web_audio_close();
    delete d;
}

// The page's context is never taken away: one that does not play is stalled, and plays again
// at the user's next gesture or when the browser lets it.
bool device_lost(DeviceOutput*) { return false; }

SoundClock::duration device_delay(const DeviceOutput* d) { return ms_duration(d->delay_ms); }

// The page's timer plays every real-time init, with Web Audio behind it for DEFAULT.
void realtime_start(Mixer& m, int output, uint64_t, int rate, int frames) {
    DeviceOutput* d = output == SOUND_OUTPUT_DEFAULT ? device_open(m, rate, frames) : nullptr;
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        m.device = d;
        pump_state.mixer = &m;
        pump_state.device = d;
        pump_state.buffer.assign(static_cast<size_t>(frames) * 2, 0);
        pump_state.timeline = -1;
        pump_state.expected.clear();
    }
    web_pump_start(kPumpEveryMs);
}

void realtime_stop(Mixer& m) {
    DeviceOutput* d = nullptr;
    if (pump_state.mixer) {
        web_pump_stop();
        d = pump_state.device;
        pump_state = Pump{};
    }
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        ++m.generation;
        m.device = nullptr;
        m.output_delay = {};
    }
    if (d) device_close(d);
}
