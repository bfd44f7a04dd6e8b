// The glow post-process (not filled in yet).
#include "demo/glow.h"

unsigned int glow_textures[2];

bool create_glow_textures() { return true; }
void draw_screen_quad(int, int, int, int) {}
void apply_glow(int, int, int, float) {}
