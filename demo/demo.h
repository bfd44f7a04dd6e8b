// The demo's script: start-up (textures, GL state, meshes, font, glow, music) and the
// order of drawing in every frame.
#pragma once

#include "mesh/obj.h"
#include "platform/png/png_bind.h"

extern unsigned int objtex_texture;
extern unsigned int font_texture;
extern unsigned int metal_texture;
extern pngInfo texture_info;
extern ObjModel torus_model;
extern ObjModel tomte_model;

int demo_init();
int demo_frame();
// The two black 640x60 bars at the top and the bottom of the picture; texturing is off while
// they are drawn and on again afterwards. The colour is left black.
void draw_letterbox_bars();
// A 640x480 pixel space with the origin at the top left, y downwards.
void begin_overlay_2d();
void end_overlay_2d();
