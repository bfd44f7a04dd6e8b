// The glow post-process: bright parts isolated, blurred at half size and laid under the frame.
#pragma once

extern unsigned int glow_textures[2];

bool create_glow_textures();
void draw_screen_quad(int width, int height, int dx, int dy);
void apply_glow(int blur_radius, int multiply_passes, int glow_layers, float strength);
