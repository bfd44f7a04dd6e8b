// The audio device on Windows: the Windows multimedia output (waveOut). A few buffers of the
// mix rate's buffer size circulate; a thread refills each one the device has finished with
// and queues it again, so the device pulls the mix in real time as the SDL callback does.
// waveOut announces no removal: a device is gone when the driver refuses a buffer or says it
// is no longer there (MMSYSERR_NODRIVER). One that merely stops finishing buffers is late,
// and the clock thread stands in for it until it goes on.
#include "platform/sound/mixer.h"

#include "platform/win32/win32.h"

#include <mmsystem.h>


namespace {

// Three buffers of about 23 ms: one playing, one queued behind it, one being refilled.
constexpr int kBuffers = 3;

}  // namespace

struct DeviceOutput {
    Mixer* mixer = nullptr;
    int rate = 0, frames = 0;
    HWAVEOUT wave = nullptr;
    HANDLE done_event = nullptr;  // signalled by the device each time a buffer has played
    WAVEHDR headers[kBuffers] = {};
    std::vector<int16_t> samples[kBuffers];
    std::thread refill;
    std::atomic<bool> stop{false};
    std::atomic<bool> lost{false};
};

namespace {

// Fills one buffer with the next stretch of the mix (silence once the device is no longer the
// one that plays) and hands it to the device.
bool fill_and_queue(DeviceOutput& d, int i) {
    device_mix(*d.mixer, &d, d.samples[i].data(), d.frames);
    d.headers[i].dwFlags &= ~WHDR_DONE;
    return waveOutWrite(d.wave, &d.headers[i], sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
}

void refill_loop(DeviceOutput& d) {
    while (!d.stop.load()) {
        // The event is auto-reset and one signal may stand for several finished buffers, so
        // every buffer's done flag is looked at; the timeout only bounds how late a stop is seen.
        WaitForSingleObject(d.done_event, 100);
        for (int i = 0; i < kBuffers && !d.stop.load(); ++i) {
            if (!(d.headers[i].dwFlags & WHDR_DONE)) continue;
            if (!fill_and_queue(d, i)) {
                // The driver refused the buffer: the device is unusable from now on.
                d.lost = true;
                return;
            }
        }
    }
}

}  // namespace

DeviceOutput* device_open(Mixer& m, int rate, int frames) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;

    auto d = new DeviceOutput;
    d->mixer = &m;
    d->rate = rate;
    d->frames = frames;
    d->done_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!d->done_event ||
        waveOutOpen(&d->wave, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(d->done_event), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        if (d->done_event) CloseHandle(d->done_event);
        delete d;
        return nullptr;
    }
    for (int i = 0; i < kBuffers; ++i) {
        d->samples[i].assign(static_cast<size_t>(frames) * 2, 0);
        WAVEHDR& h = d->headers[i];
        h.lpData = reinterpret_cast<LPSTR>(d->samples[i].data());
        h.dwBufferLength = static_cast<DWORD>(d->samples[i].size() * sizeof(int16_t));
        waveOutPrepareHeader(d->wave, &h, sizeof(WAVEHDR));
        h.dwFlags |= WHDR_DONE;  // free to be filled
    }
    // The first buffers go out from the refill thread, like every later one.
    SetEvent(d->done_event);
    d->refill = std::thread(refill_loop, std::ref(*d));
    return d;
}

void device_close(DeviceOutput* d) {
    d->stop = true;
    SetEvent(d->done_event);
    d->refill.join();
    waveOutReset(d->wave);  // returns every queued buffer, so all can be unprepared
    for (WAVEHDR& h : d->headers) waveOutUnprepareHeader(d->wave, &h, sizeof(WAVEHDR));
    waveOutClose(d->wave);
    CloseHandle(d->done_event);
    delete d;
}

bool device_lost(DeviceOutput* d) {
    if (d->lost.load()) return true;
    MMTIME position = {};
    position.wType = TIME_SAMPLES;
    return waveOutGetPosition(d->wave, &position, sizeof(position)) == MMSYSERR_NODRIVER;
}

// A buffer is mixed as the one before the playing one finishes: it starts to play after the
// other buffers in the queue.
SoundClock::duration device_delay(const DeviceOutput* d) {
    return std::chrono::nanoseconds(int64_t{kBuffers - 1} * d->frames * 1000000000 /
                                    static_cast<int64_t>(d->rate));
}
