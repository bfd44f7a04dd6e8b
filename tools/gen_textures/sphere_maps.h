// Sphere maps for the demo's reflective meshes: the picture a mirror ball would show of a
// surrounding scene, made by tracing the reflection of every texel's normal.
#pragma once

#include "tools/gen_textures/image.h"

// Both return the ball as it looks on screen: the top row holds the reflections that point up.
// The demo's loader puts a file's first row at t = 0, where sphere mapping looks up the
// reflections that point down, so the files hold these images flipped.

// A snowy winter night: a deep blue to violet dusk sky with a moon and stars over a line of
// pines and moonlit snow. RGB, size x size.
Image snowy_sky_map(int size);

// A chrome ball in a grey studio: soft grey walls, a dark floor and a few sharp window-like
// lights. RGB, size x size.
Image chrome_map(int size);
