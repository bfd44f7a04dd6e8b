// The one window, its OpenGL context and its window procedure, and the state the main loop
// reads from them.
#pragma once

#include "demo/screen_size.h"
#include "platform/win32/win32.h"

extern bool KeyTable[256];
extern bool window_active;
extern bool fullscreen;
extern HINSTANCE module_instance;
extern HWND main_window;
extern HDC device_context;
extern HGLRC gl_context;
extern PIXELFORMATDESCRIPTOR pixel_format_request;

// Opens a width x height window (full screen in that display mode when full_screen and the
// display offers it; otherwise, if the viewer agrees, windowed) with a current GL context,
// sets the projection and runs demo_init. Returns 1, or 0 after a failure's message box, with
// everything built so far torn down.
int open_gl_window(const char* title, int width, int height, int bits, bool full_screen);
// Tears down what exists of the window, in reverse order, restoring the display mode; safe to
// call on a half-built or closed window.
void close_gl_window();
// Sets the viewport to width x height (a height of 0 counts as 1) and a 45-degree perspective
// for its aspect; leaves the modelview matrix current and reset.
void resize_view(int width, int height);
// The window procedure: keys into KeyTable (codes 0-255), the active flag, resizes, close;
// swallows the screen saver and monitor power-off requests; passes the rest on.
LRESULT CALLBACK window_proc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
