// The glow post-process and the two rectangle textures it works in.
#pragma once

extern unsigned int glow_textures[2];

// Makes the two rectangle textures (linear filtering) in the current context. Returns true.
bool create_glow_textures();
// Emits, inside glBegin(GL_QUADS), one quad over the unit square at z = -1 showing width x
// height texels of the bound rectangle texture from (dx, dy), upright.
void draw_screen_quad(int width, int height, int dx, int dy);
// Copies the frame (screen_width x screen_height of the back buffer), multiplies it onto itself
// multiply_passes times, blurs it at half size by blur_radius texels glow_layers times and lays
// it, scaled by strength, under the unprocessed frame. Ends with depth test on, blending off.
void apply_glow(int blur_radius, int multiply_passes, int glow_layers, float strength);
