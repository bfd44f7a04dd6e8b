// The audio device on Linux: an SDL2 audio device whose callback pulls the mix.
// SDL reports a device that went away (unplugged, its sound server gone) by stopping it: its
// status turns SDL_AUDIO_STOPPED and it posts SDL_AUDIODEVICEREMOVED. The status is read here,
// so no one needs to pump SDL's events for a loss to be seen (the capture and the tests do
// not); the callback, which SDL keeps calling at the buffer rate, gets silence from then on.
#include "platform/sound/mixer.h"

#include <SDL.h>

struct DeviceOutput {
    Mixer* mixer;
    SDL_AudioDeviceID id = 0;
};

namespace {

void SDLCALL device_callback(void* userdata, Uint8* bytes, int len) {
    auto* d = static_cast<DeviceOutput*>(userdata);
    device_mix(*d->mixer, d, reinterpret_cast<int16_t*>(bytes), len / 4);
}

}  // namespace

DeviceOutput* device_open(Mixer& m, int rate, int frames) {
    // The subsystem is started per device and stopped with it, so after a loss the next try
    // finds the sound server (or another driver) afresh.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
    auto* d = new DeviceOutput{&m};
    SDL_AudioSpec want{}, have{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(frames);
    want.callback = device_callback;
    want.userdata = d;
    // No changes allowed: SDL converts to whatever the hardware wants, so the callback always
    // mixes 16-bit stereo at the mix rate.
    d->id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (d->id == 0) {
        delete d;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    SDL_PauseAudioDevice(d->id, 0);
    return d;
}

void device_close(DeviceOutput* d) {
    SDL_CloseAudioDevice(d->id);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    delete d;
}

bool device_lost(DeviceOutput* d) { return SDL_GetAudioDeviceStatus(d->id) == SDL_AUDIO_STOPPED; }

// The callback's buffer goes to the device as it returns.
SoundClock::duration device_delay(const DeviceOutput*) { return {}; }
