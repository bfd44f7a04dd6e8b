// The entry point: asks for the display mode, opens the window and runs the message loop.
// Each idle turn draws a frame, presents it and polls the keyboard for the viewer's controls.
#include "app/main_loop.h"

#include "app/gl_window.h"
#include "audio/music.h"
#include "demo/demo.h"
#include "platform/gl.h"

bool lighting_on;
bool lighting_key_latched;

// Exit statuses: a window that cannot be created (at start or on F1) is a failure, whatever
// Win32 convention would return; every other end is a normal one.
static const int kExitOk = 0;
static const int kExitWindowFailed = 1;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MSG msg = {};
    if (MessageBoxA(nullptr, "Would You Like To Run In Fullscreen Mode?", "Start FullScreen?",
                    MB_YESNO | MB_ICONQUESTION) == IDNO)
        fullscreen = false;

    if (!open_gl_window("glow of the snow", screen_width, screen_height, 32, fullscreen))
        return kExitWindowFailed;

    for (;;) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }

        if (window_active && !demo_frame()) break;
        if (KeyTable[VK_ESCAPE]) break;
        SwapBuffers(device_context);

        if (KeyTable['L'] && !lighting_key_latched) {
            lighting_key_latched = true;
            lighting_on = !lighting_on;
            if (lighting_on)
                glEnable(GL_LIGHTING);
            else
                glDisable(GL_LIGHTING);
        }
        if (!KeyTable['L']) lighting_key_latched = false;
        if (KeyTable[VK_UP]) next_track();
        if (KeyTable[VK_DOWN]) previous_track();
        if (KeyTable[VK_RIGHT]) seek_music(400.0f);
        if (KeyTable[VK_LEFT]) seek_music(-400.0f);
        if (KeyTable[VK_F1]) {
            KeyTable[VK_F1] = false;
            close_gl_window();
            fullscreen = !fullscreen;
            if (!open_gl_window("Kivo's Textures, Lighting & Keyboard Tutorial", screen_width,
                                screen_height, 16, fullscreen))
                return kExitWindowFailed;
        }
    }

    close_gl_window();
    return kExitOk;
}
