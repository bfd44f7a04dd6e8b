// The sound library: MP3 streams decoded from the caller's memory and mixed to the audio
// device. Eight operations, modelled on a classic stream-and-channel sound API.
//
// Threads. Every call may come from any thread. One lock guards the streams, the channels and
// the mix; a call holds it only for its own work, and the output's thread holds it while it
// mixes one buffer (well under a millisecond), never while it waits for a device. The mix is
// made on the output's own thread: SDL's audio thread (buffers of 1024 frames at 44.1 kHz, so
// the music is heard up to 23 ms after it is mixed), the waveOut refill thread (3 x 1024
// frames queued, 46 ms ahead of the one playing), the layer's clock thread (the silent output)
// or, with MANUAL, the caller's. A keeper thread opens, watches and closes the device, so no
// call waits for a sound server, but for sound_init and sound_shutdown: they wait at most
// 0.5 s for the device to close and sound_init at most 1.5 s more for the new one to open.
// sound_init and sound_shutdown hold a lock of their own: one runs at a time.
//
// The clock (sound_stream_get_time) counts the samples played; only a seek moves it back.
// - A stall (the device takes no buffer for 100 ms past its queue: a sound server under
//   load, a suspended sink) is not a loss. The clock stands at the end of the device's last
//   buffer until the 100 ms are up; then the clock thread mixes in the device's place,
//   throwing the mix away, and the clock catches up and follows the time that passes. When
//   the device calls back, it plays on from the clock's position.
// - A loss (SDL stops the device and reports it removed; waveOut refuses a buffer or reports
//   no driver): the clock thread takes over where the device's last buffer ends, and the
//   keeper tries the default device again once a second.
// - A return (the stalled device calls back, or a new one opens): the music goes on from the
//   clock's position, and the clock moves up to one buffer ahead, to the device's first one.
//
// The web page has one thread, which never waits: there a timer of the page (every 10 ms)
// mixes for Web Audio, queuing each buffer a quarter of a second ahead on the AudioContext's
// clock, and is the clock thread too: while the context does not play (suspended until the
// user's first gesture or by the browser, or its time standing still 100 ms past the queue) it
// mixes silently, and when the context plays again the music goes on from the clock's
// position. No keeper: the page's context is never lost. sound_init returns at once.
#pragma once

// Outputs for sound_set_output. 1 is the platform's default output; when none can be opened
// (no sound card), and with NOSOUND, a silent output consumes the mix in real time instead, so
// stream positions still advance. MANUAL plays nothing and moves nothing by itself: the
// program pulls the mix with sound_mix.
#define SOUND_OUTPUT_NOSOUND 0
#define SOUND_OUTPUT_DEFAULT 1
#define SOUND_OUTPUT_MANUAL 2

// "Any free channel" for sound_stream_play_ex.
#define SOUND_FREE (-1)

// Mode bits for sound_stream_open. The format bits describe raw PCM data; an MP3 always plays
// in its own channel layout (a stereo MP3 plays in stereo), so they change nothing for it.
#define SOUND_16BITS 0x10        // raw PCM data is 16-bit
#define SOUND_MONO 0x20          // raw PCM data is mono
#define SOUND_SIGNED 0x100       // raw PCM data is signed
#define SOUND_NORMAL (SOUND_16BITS | SOUND_MONO | SOUND_SIGNED)
#define SOUND_LOADMEMORY 0x8000  // the first argument points at the data, not at a file name
#define SOUND_MPEGACCURATE 0x20000  // exact millisecond positions for MP3 streams

struct SoundStream;

// Every call is safe with a null handle or one this layer never returned (or already closed):
// it does nothing and reports failure.

// Selects the output used by the next sound_init (NOSOUND, DEFAULT or MANUAL). Returns 1 on
// success, 0 for an unknown output or when sound_fix_output fixed another one.
int sound_set_output(int output);
// Opens the output at mixrate Hz (4000..192000) with maxchannels mixing channels (1..1024);
// flags are accepted and ignored. Any earlier init is undone first, whatever this call's
// result: its output stops and all of its streams are released (their handles go invalid).
// A device is always opened afresh. Returns within 2 s, on the silent output when the device
// has not opened by then (it takes over once it does). Returns 1 when streams can be played
// (also on the silent output), 0 for bad arguments.
int sound_init(int mixrate, int maxchannels, unsigned int flags);
// Opens an MP3 stream, decoded at the mix rate (MP3s of another rate are resampled). With
// SOUND_LOADMEMORY the data is the length bytes at name_or_data + offset, read in place: they
// must stay valid until the stream is closed or released by sound_init. Without it,
// name_or_data is a file name; the file is read whole from offset (length bytes, or to its end
// when length is 0). SOUND_MPEGACCURATE scans the whole stream now, so that times and seeks are
// exact to the sample. Returns null before sound_init, or when the data holds no MP3.
SoundStream* sound_stream_open(const char* name_or_data, unsigned int mode, int offset,
                               int length);
// Starts the stream on a channel (SOUND_FREE: the lowest free one; a numbered channel stops
// whatever played there) from position 0, paused when paused is nonzero. A stream that already
// plays leaves its old channel. dsp must be null. Returns the channel number, or -1 on failure
// (bad handle, no free channel).
int sound_stream_play_ex(int channel, SoundStream* stream, void* dsp, int paused);
// Pauses (1) or resumes (0) a channel. Returns 1 on success, 0 otherwise.
int sound_set_paused(int channel, int paused);
// The stream's position in milliseconds: the samples the output has consumed, counted between
// two device buffers from the clock. Holds while paused and at the end; 0 for a null stream.
int sound_stream_get_time(SoundStream* stream);
// Moves the stream to ms milliseconds: before 0 goes to 0, past the end to the end. Playback
// continues at the first sample at or after ms, and get_time reports ms from there.
// Returns 1 on success.
int sound_stream_set_time(SoundStream* stream, int ms);
// Stops the stream and releases it; the handle is invalid afterwards and the stream's data is
// no longer read. Returns 1 on success.
int sound_stream_close(SoundStream* stream);

// Additions beyond the eight operations, for tools and tests.
// Selects the output and keeps it: later sound_set_output calls leave it as it is. A program
// that renders offline fixes MANUAL before code that would select the default output runs.
// Returns 1 on success, 0 for an unknown output.
int sound_fix_output(int output);
// With the MANUAL output: mixes the next `frames` frames of every playing channel into out
// (16-bit interleaved stereo at the mix rate, silence where nothing plays) and moves the
// streams on by exactly that much. Returns frames, or 0 without a MANUAL init.
int sound_mix(short* out, int frames);
// The output the current init runs on (NOSOUND while no device is open: none opened yet, or
// the one that played was lost), or -1 before sound_init. A stalled device still counts.
int sound_get_output();
// Test seam: behaves as if the audio device had just been unplugged (the default device is
// tried again a second later).
void sound_simulate_device_loss();
// The stream's length in milliseconds (exact with SOUND_MPEGACCURATE), 0 for a bad handle.
int sound_stream_get_length_ms(SoundStream* stream);
// Stops the output and releases every stream, as a new sound_init would, and opens nothing.
// Also runs at process exit.
void sound_shutdown();
