// The audio device on Windows: the Windows multimedia output (waveOut). A few buffers of the
// mix rate's buffer size circulate; a thread refills each one the device has finished with
// and queues it again, so the device pulls the mix in real time as the SDL callback does.
#include "platform/sound/mixer.h"

#include "platform/win32/win32.h"

#include <mmsystem.h>

#include <cstring>

namespace {

// Three buffers of about 23 ms: one playing, one queued behind it, one being refilled.
constexpr int kBuffers = 3;

}  // namespace

struct DeviceOutput {
    HWAVEOUT wave = nullptr;
    HANDLE done_event = nullptr;  // signalled by the device each time a buffer has played
    WAVEHDR headers[kBuffers] = {};
    std::vector<int16_t> samples[kBuffers];
    std::thread refill;
    std::atomic<bool> stop{false};
    std::atomic<bool> lost{false};
};

namespace {

// Fills one buffer with the next stretch of the mix and hands it to the device. A device that
// is gone (or that a test pretends is gone) gets silence: the streams stay where the last
// buffer left them until the clock thread carries them on.
bool fill_and_queue(Mixer& m, DeviceOutput& d, int i) {
    int16_t* data = d.samples[i].data();
    if (m.device_gone.load()) {
        std::memset(data, 0, d.samples[i].size() * sizeof(int16_t));
    } else {
        std::lock_guard<std::mutex> lock(m.mutex);
        mix_locked(m, data, m.buffer_frames);
    }
    d.headers[i].dwFlags &= ~WHDR_DONE;
    return waveOutWrite(d.wave, &d.headers[i], sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
}

void refill_loop(Mixer& m, DeviceOutput& d) {
    while (!d.stop.load()) {
        // The event is auto-reset and one signal may stand for several finished buffers, so
        // every buffer's done flag is looked at; the timeout only bounds how late a stop is seen.
        WaitForSingleObject(d.done_event, 100);
        for (int i = 0; i < kBuffers && !d.stop.load(); ++i) {
            if (!(d.headers[i].dwFlags & WHDR_DONE)) continue;
            if (!fill_and_queue(m, d, i)) {
                // The driver refused the buffer: the device is unusable from now on.
                d.lost = true;
                return;
            }
        }
    }
}

}  // namespace

bool device_open(Mixer& m) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = static_cast<DWORD>(m.rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;

    auto d = new DeviceOutput;
    d->done_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!d->done_event ||
        waveOutOpen(&d->wave, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(d->done_event), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        if (d->done_event) CloseHandle(d->done_event);
        delete d;
        return false;
    }
    for (int i = 0; i < kBuffers; ++i) {
        d->samples[i].assign(static_cast<size_t>(m.buffer_frames) * 2, 0);
        WAVEHDR& h = d->headers[i];
        h.lpData = reinterpret_cast<LPSTR>(d->samples[i].data());
        h.dwBufferLength = static_cast<DWORD>(d->samples[i].size() * sizeof(int16_t));
        waveOutPrepareHeader(d->wave, &h, sizeof(WAVEHDR));
        h.dwFlags |= WHDR_DONE;  // free to be filled
    }
    m.device = d;
    // A buffer is mixed as the one before the playing one finishes: it starts to play after
    // the other buffers in the queue.
    m.output_delay = std::chrono::nanoseconds(int64_t{kBuffers - 1} * m.buffer_frames *
                                              1000000000 / m.rate);
    // The first buffers go out from the refill thread, like every later one.
    SetEvent(d->done_event);
    d->refill = std::thread(refill_loop, std::ref(m), std::ref(*d));
    return true;
}

void device_close(Mixer& m) {
    DeviceOutput* d = m.device;
    if (!d) return;
    d->stop = true;
    SetEvent(d->done_event);
    d->refill.join();
    waveOutReset(d->wave);  // returns every queued buffer, so all can be unprepared
    for (WAVEHDR& h : d->headers) waveOutUnprepareHeader(d->wave, &h, sizeof(WAVEHDR));
    waveOutClose(d->wave);
    CloseHandle(d->done_event);
    delete d;
    m.device = nullptr;
}

// waveOut announces no removal; a device whose driver refuses buffers is gone. One that simply
// stops finishing them is caught by the clock thread's stall watch.
bool device_lost(Mixer& m) { return m.device && m.device->lost.load(); }
