// Sound layer (not filled in yet).
#include "platform/sound/sound.h"

int sound_set_output(int) { return 0; }
int sound_init(int, int, unsigned int) { return 0; }
SoundStream* sound_stream_open(const char*, unsigned int, int, int) { return nullptr; }
int sound_stream_play_ex(int, SoundStream*, void*, int) { return -1; }
int sound_set_paused(int, int) { return 0; }
int sound_stream_get_time(SoundStream*) { return 0; }
int sound_stream_set_time(SoundStream*, int) { return 0; }
int sound_stream_close(SoundStream*) { return 0; }
