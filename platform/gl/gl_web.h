// The web GL layer's side door for the page's window system (win32_web.cpp): the WebGL 2
// context behind the GL 1.x calls, its back buffer, and presenting that buffer on the canvas.
#pragma once

// Makes the canvas's WebGL 2 context current (a canvas has only one, so later calls take the
// same one back) and builds the layer's own objects on it: a 640x480 back buffer with depth,
// the shader, the vertex buffer. All GL state starts as a new GL 1.x context's. Returns false
// when the browser gives the page no WebGL 2.
bool gl_web_create_context(const char* canvas_selector, int width, int height);
// Deletes every object made since gl_web_create_context (textures, lists, the layer's own),
// as destroying a context would. The canvas keeps showing what was last presented.
void gl_web_destroy_context();
// Draws what is pending and copies the back buffer onto the canvas.
void gl_web_present();
// Whether a context exists.
bool gl_web_has_context();
