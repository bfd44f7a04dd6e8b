// The recording fake of the sound layer: implements every function of platform/sound/sound.h
// over a call record, a settable time and a table of open handles.
#include "tests/audio/fake_sound.h"

#include "platform/sound/sound.h"

#include <cstdint>
#include <set>

namespace {

struct FakeState {
    std::vector<FakeSoundCall> calls;
    std::set<long long> open;
    long long next_handle = 1;
    int next_channel = 0;
    int time_ms = 0;
    bool fail_opens = false;
};

FakeState& fake() {
    static FakeState state;
    return state;
}

FakeSoundCall& record(const std::string& op, std::vector<long long> args) {
    FakeSoundCall call;
    call.op = op;
    call.args = std::move(args);
    fake().calls.push_back(std::move(call));
    return fake().calls.back();
}

long long number(const SoundStream* stream) { return fake_sound_handle_number(stream); }

}  // namespace

void fake_sound_reset() { fake() = FakeState{}; }
const std::vector<FakeSoundCall>& fake_sound_calls() { return fake().calls; }

std::vector<FakeSoundCall> fake_sound_calls(const std::string& op) {
    std::vector<FakeSoundCall> out;
    for (const FakeSoundCall& c : fake().calls)
        if (c.op == op) out.push_back(c);
    return out;
}

void fake_sound_set_time(int ms) { fake().time_ms = ms; }
void fake_sound_fail_opens(bool fail) { fake().fail_opens = fail; }
int fake_sound_open_streams() { return static_cast<int>(fake().open.size()); }

uint64_t fake_sound_checksum(const void* data, size_t size) {
    uint64_t h = 14695981039346656037ull;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

long long fake_sound_handle_number(const SoundStream* stream) {
    return static_cast<long long>(reinterpret_cast<uintptr_t>(stream));
}

int sound_set_output(int output) { return static_cast<int>(record("set_output", {output}).result = 1); }

int sound_init(int mixrate, int maxchannels, unsigned int flags) {
    fake().open.clear();  // like the real layer, a new init releases every stream
    return static_cast<int>(record("init", {mixrate, maxchannels, flags}).result = 1);
}

SoundStream* sound_stream_open(const char* name_or_data, unsigned int mode, int offset,
                               int length) {
    FakeSoundCall& call =
        record("stream_open", {name_or_data ? 1 : 0, static_cast<long long>(mode), offset, length});
    if (mode & SOUND_LOADMEMORY) {
        if (name_or_data && offset >= 0 && length > 0) {
            call.data_size = static_cast<size_t>(length);
            call.data_checksum = fake_sound_checksum(name_or_data + offset, call.data_size);
        }
    } else if (name_or_data) {
        call.name = name_or_data;
    }
    bool ok = name_or_data && !fake().fail_opens && ((mode & SOUND_LOADMEMORY) == 0 || length > 0);
    if (!ok) return nullptr;
    long long handle = fake().next_handle++;
    fake().open.insert(handle);
    call.result = handle;
    return reinterpret_cast<SoundStream*>(static_cast<uintptr_t>(handle));
}

int sound_stream_play_ex(int channel, SoundStream* stream, void* dsp, int paused) {
    FakeSoundCall& call = record("play_ex", {channel, number(stream), dsp ? 1 : 0, paused});
    if (!stream) return static_cast<int>(call.result = -1);
    int ch = channel == SOUND_FREE ? fake().next_channel++ : channel;
    return static_cast<int>(call.result = ch);
}

int sound_set_paused(int channel, int paused) {
    return static_cast<int>(record("set_paused", {channel, paused}).result = channel >= 0);
}

int sound_stream_get_time(SoundStream* stream) {
    int ms = fake().open.count(number(stream)) ? fake().time_ms : 0;
    return static_cast<int>(record("get_time", {number(stream)}).result = ms);
}

int sound_stream_set_time(SoundStream* stream, int ms) {
    return static_cast<int>(record("set_time", {number(stream), ms}).result = stream != nullptr);
}

int sound_stream_close(SoundStream* stream) {
    bool was_open = fake().open.erase(number(stream)) > 0;
    return static_cast<int>(record("close", {number(stream)}).result = was_open);
}

int sound_stream_get_length_ms(SoundStream* stream) {
    return static_cast<int>(record("get_length_ms", {number(stream)}).result = 0);
}

void sound_shutdown() {
    fake().open.clear();
    record("shutdown", {});
}
