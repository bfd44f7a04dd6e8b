// The demo's script, as the shell and the capture run it: start-up once per GL context, then
// one call per frame; the loaded textures and meshes; the 2D overlay the frame draws in.
#pragma once

#include "mesh/obj.h"
#include "platform/png/png_bind.h"

extern unsigned int objtex_texture;
extern unsigned int font_texture;
extern unsigned int metal_texture;
extern pngInfo texture_info;
extern ObjModel torus_model;
extern ObjModel tomte_model;

// Loads the textures and meshes, sets the GL state every frame relies on, builds the font
// and glow textures and starts the music. Needs a current context with the viewport set; a
// file that cannot be read leaves its texture 0 or its mesh empty. Always returns 1.
int demo_init();
// Draws one frame into the back buffer for the current music clock (which it reads first):
// scene, glow, bars, scroller. The caller swaps. Always returns 1.
int demo_frame();
// The two black 60-row bars at the top and the bottom of the picture; texturing is off while
// they are drawn and on again afterwards. The colour is left black.
void draw_letterbox_bars();
// Pushes both matrices and sets a screen_width x screen_height pixel space with the origin at
// the top left, y downwards; end_overlay_2d pops them, leaving the modelview matrix current.
void begin_overlay_2d();
void end_overlay_2d();
