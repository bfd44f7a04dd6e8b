// The one window and its OpenGL context: creation in windowed or full-screen mode with a
// message box for every failure, teardown in reverse order, the projection matched to the
// client area, and the window procedure that fills KeyTable and the active flag.
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

int open_gl_window(const char* title, int width, int height, int bits, bool full_screen);
void close_gl_window();
void resize_view(int width, int height);
LRESULT CALLBACK window_proc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
