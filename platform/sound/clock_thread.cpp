// Built on std::thread, runs on Linux and Windows: the clock thread of a real-time init, which
// plays silently when no device opened and watches the device when one did (sound.cpp).
#include <functional>

#include "platform/sound/mixer.h"

void clock_start(Mixer& m, void (*run)(Mixer&, bool), bool device) {
    m.clock_thread = std::thread(run, std::ref(m), device);
}
