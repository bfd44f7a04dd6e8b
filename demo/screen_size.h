// The picture size the demo works at: the window's client size, and the region the glow copies
// and redraws every frame, whatever size the window has been given since.
#pragma once

inline const int screen_width = 640;
inline const int screen_height = 480;
