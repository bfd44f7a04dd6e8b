// The model scene: the camera and the two meshes.
#pragma once

// Resets the modelview matrix, places the camera from music_clock and draws the tomte and the
// torus, sphere-mapped with objtex_texture and metal_texture, under the current lighting
// state. Leaves the camera and the torus's transform in the modelview matrix.
void draw_model_scene();
