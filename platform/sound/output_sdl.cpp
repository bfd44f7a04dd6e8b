// The audio device on Linux: an SDL2 audio device whose callback pulls the mix.
#include "platform/sound/mixer.h"

#include <SDL.h>

#include <cstring>

struct DeviceOutput {
    SDL_AudioDeviceID id = 0;
};

namespace {

void SDLCALL device_callback(void* userdata, Uint8* bytes, int len) {
    Mixer& m = *static_cast<Mixer*>(userdata);
    // A device that is gone (or that a test pretends is gone) mixes nothing more: the streams
    // stay where the last buffer left them until the clock thread carries them on.
    if (m.device_gone.load()) {
        std::memset(bytes, 0, static_cast<size_t>(len));
        return;
    }
    std::lock_guard<std::mutex> lock(m.mutex);
    mix_locked(m, reinterpret_cast<int16_t*>(bytes), len / 4);
}

}  // namespace

bool device_open(Mixer& m) {
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
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    m.device = new DeviceOutput{id};
    SDL_PauseAudioDevice(id, 0);
    return true;
}

void device_close(Mixer& m) {
    if (!m.device) return;
    SDL_CloseAudioDevice(m.device->id);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    delete m.device;
    m.device = nullptr;
}

// SDL marks a disconnected device stopped. (It also posts SDL_AUDIODEVICEREMOVED, but that
// lands in the window layer's event queue; the status says the same without it.)
bool device_lost(Mixer& m) {
    return m.device && SDL_GetAudioDeviceStatus(m.device->id) == SDL_AUDIO_STOPPED;
}
