// A recording fake of the sound layer (platform/sound/sound.h) for tests of the code above it:
// link `fake_sound` instead of `platform_sound`. Every call is recorded with its arguments; the
// test sets the time that sound_stream_get_time reports and can make stream opens fail.
//
// Behaviour: sound_stream_open returns a new non-null handle (1, 2, 3, ... cast to a pointer)
// for any non-null data and positive length (or any file name), unless opens are set to fail.
// sound_stream_play_ex returns 0, 1, 2, ... for SOUND_FREE (the given number otherwise), -1 for
// a null stream. sound_stream_get_time returns the time set with fake_sound_set_time for any
// non-null handle that is open, 0 otherwise. Other calls return 1 (0 for a null stream).
//
// To drive the music clock without a file: music_stream = sound_stream_open("x",
// SOUND_LOADMEMORY, 0, 1); fake_sound_set_time(1234); update_music_clock();
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SoundStream;

struct FakeSoundCall {
    // "set_output", "init", "stream_open", "play_ex", "set_paused", "get_time", "set_time",
    // "close", "get_length_ms", "shutdown": the function's name without "sound_".
    std::string op;
    // The integer arguments in order; a stream handle counts as its number (0 for null), a
    // pointer to data or a DSP unit as 0 when null and 1 otherwise.
    std::vector<long long> args;
    // stream_open: the size and checksum of the bytes [offset, offset + length) with
    // SOUND_LOADMEMORY, or the file name without it.
    size_t data_size = 0;
    uint64_t data_checksum = 0;
    std::string name;
    // The value the fake returned (a handle as its number).
    long long result = 0;
};

// Clears the record, sets the time to 0, lets opens succeed and restarts handle and channel
// numbers at 1 and 0.
void fake_sound_reset();
const std::vector<FakeSoundCall>& fake_sound_calls();
// Only the calls of one operation, in order.
std::vector<FakeSoundCall> fake_sound_calls(const std::string& op);
void fake_sound_set_time(int ms);
void fake_sound_fail_opens(bool fail);
// Streams opened and not yet closed (or released by an init).
int fake_sound_open_streams();
// The checksum stream_open records (64-bit FNV-1a), for comparing with a file's bytes.
uint64_t fake_sound_checksum(const void* data, size_t size);
// The number a handle is recorded as.
long long fake_sound_handle_number(const SoundStream* stream);
