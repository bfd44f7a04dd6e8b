// The model scene (not filled in yet).
#include "demo/scene.h"

void draw_model_scene() {}
