// The model scene: a camera swinging on music-driven paths around two sphere-mapped meshes.
#pragma once

void draw_model_scene();
