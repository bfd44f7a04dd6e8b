// The sound library: MP3 streams decoded from the caller's memory and mixed to the audio
// device. Eight operations, modelled on a classic stream-and-channel sound API.
#pragma once

// Outputs for sound_set_output. 1 is the platform's default output.
#define SOUND_OUTPUT_NOSOUND 0
#define SOUND_OUTPUT_DEFAULT 1

// "Any free channel" for sound_stream_play_ex.
#define SOUND_FREE (-1)

// Mode bits for sound_stream_open.
#define SOUND_16BITS 0x10        // raw PCM data is 16-bit
#define SOUND_MONO 0x20          // raw PCM data is mono
#define SOUND_SIGNED 0x100       // raw PCM data is signed
#define SOUND_NORMAL (SOUND_16BITS | SOUND_MONO | SOUND_SIGNED)
#define SOUND_LOADMEMORY 0x8000  // the first argument points at the data, not at a file name
#define SOUND_MPEGACCURATE 0x20000  // exact millisecond positions for MP3 streams

struct SoundStream;

// Selects the output used by the next sound_init. Returns 1 on success, 0 otherwise.
int sound_set_output(int output);
// Opens the output at mixrate Hz with maxchannels mixing channels. A second call stops and
// releases every stream of the first. Returns 1 on success, 0 otherwise.
int sound_init(int mixrate, int maxchannels, unsigned int flags);
// Opens an MP3 stream: with SOUND_LOADMEMORY, name_or_data points at length bytes starting at
// offset, which must stay valid until the stream is closed. Returns null on failure.
SoundStream* sound_stream_open(const char* name_or_data, unsigned int mode, int offset,
                               int length);
// Starts the stream on a channel (SOUND_FREE: any free one) from position 0, paused when
// paused is nonzero. dsp must be null. Returns the channel number, or -1 on failure.
int sound_stream_play_ex(int channel, SoundStream* stream, void* dsp, int paused);
// Pauses (1) or resumes (0) a channel. Returns 1 on success, 0 otherwise.
int sound_set_paused(int channel, int paused);
// The stream's position in milliseconds, as the listener hears it; 0 for a null stream.
int sound_stream_get_time(SoundStream* stream);
// Moves the stream to ms milliseconds (clamped to its length). Returns 1 on success.
int sound_stream_set_time(SoundStream* stream, int ms);
// Stops the stream and releases it; the handle is invalid afterwards. Returns 1 on success.
int sound_stream_close(SoundStream* stream);
