// The SDL window system under a private Xvfb, driven by the real shell: keys typed with
// xdotool reach KeyTable with their virtual-key codes, system keys do not, the start box is
// answered both ways, and the window manager's close request ends the program with 0.
#include <SDL.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "app/gl_window.h"
#include "tests/support/x11_session.h"

using namespace std::chrono_literals;

// The demo and the music are not what is tested here; the frame notes the SDL window's flags.
static std::atomic<Uint32> window_flags;
int demo_init() { return 1; }
int demo_frame() {
    window_flags = SDL_GetWindowFlags(SDL_GL_GetCurrentWindow());
    return 1;
}
void next_track() {}
void previous_track() {}
void seek_music(float) {}

namespace {

// Each test brings its own X server; SDL's video is shut down before the server goes, and
// starts afresh on the next one.
class SdlWindowSystem : public ::testing::Test {
protected:
    void SetUp() override {  // the shell's state as a fresh process has it
        fullscreen = true;
        window_active = true;
        memset(KeyTable, 0, sizeof KeyTable);
    }
    const Xvfb& start_x(int width, int height) {
        xvfb_ = std::make_unique<Xvfb>(width, height);
        if (xvfb_->ok()) setenv("DISPLAY", xvfb_->display().c_str(), 1);
        return *xvfb_;
    }
    void TearDown() override {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        xvfb_.reset();
    }

private:
    std::unique_ptr<Xvfb> xvfb_;
};

// Dispatches window messages until `done` holds or the time is up: a minute, as a loaded
// machine can be slow and the wait ends as soon as `done` holds.
template <typename Pred>
bool pump_until(Pred done, std::chrono::milliseconds timeout = 60000ms) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    MSG msg;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST_F(SdlWindowSystem, TypedKeysReachKeyTableAndSystemKeysDoNot) {
    const Xvfb& xvfb = start_x(1024, 768);
    ASSERT_TRUE(xvfb.ok());
    ASSERT_EQ(open_gl_window("keys", 640, 480, 32, false), 1);
    unsigned long window = x11::wait_for_window(xvfb.display(), "keys", 60000ms);
    ASSERT_NE(window, 0u);
    x11::Geometry g = x11::geometry(xvfb.display(), window);
    EXPECT_EQ(g.x, 0);
    EXPECT_EQ(g.y, 0);
    EXPECT_EQ(g.width, 640);
    EXPECT_EQ(g.height, 480);
    ASSERT_TRUE(x11::focus(xvfb.display(), window));

    const std::pair<const char*, int> keys[] = {
        {"Escape", 0x1B}, {"F1", 0x70}, {"F12", 0x7B}, {"l", 'L'},   {"a", 'A'},
        {"z", 'Z'},       {"5", '5'},   {"Up", 0x26},  {"Down", 0x28}, {"Left", 0x25},
        {"Right", 0x27},  {"Return", 0x0D}, {"space", 0x20}, {"Shift_L", 0x10},
        {"Control_R", 0x11}, {"Tab", 0x09}};
    for (auto [name, vk] : keys) {
        ASSERT_TRUE(x11::key(xvfb.display(), "keydown", {name}));
        EXPECT_TRUE(pump_until([vk = vk] { return KeyTable[vk]; })) << name;
        ASSERT_TRUE(x11::key(xvfb.display(), "keyup", {name}));
        EXPECT_TRUE(pump_until([vk = vk] { return !KeyTable[vk]; })) << name;
    }

    // Keys with Alt held, Alt itself and F10 arrive as system keys, never in the table. A
    // plain key typed afterwards shows that everything before it was handled.
    ASSERT_TRUE(x11::key(xvfb.display(), "keydown", {"Alt_L"}));
    ASSERT_TRUE(x11::key(xvfb.display(), "keydown", {"l"}));
    ASSERT_TRUE(x11::key(xvfb.display(), "keyup", {"l"}));
    ASSERT_TRUE(x11::key(xvfb.display(), "keyup", {"Alt_L"}));
    ASSERT_TRUE(x11::key(xvfb.display(), "keydown", {"F10"}));
    ASSERT_TRUE(x11::key(xvfb.display(), "keydown", {"b"}));
    bool seen_l = false, seen_alt = false, seen_f10 = false;
    EXPECT_TRUE(pump_until([&] {
        seen_l |= KeyTable['L'];
        seen_alt |= KeyTable[0x12];
        seen_f10 |= KeyTable[0x79];
        return KeyTable['B'];
    }));
    EXPECT_FALSE(seen_l);
    EXPECT_FALSE(seen_alt);
    EXPECT_FALSE(seen_f10);
    x11::key(xvfb.display(), "keyup", {"F10", "b"});
    close_gl_window();
    EXPECT_FALSE(x11::window_exists(xvfb.display(), "keys"));
}

// Runs WinMain while a viewer answers the start box, looks at the window and then asks the
// window manager's way for it to close. The viewer is a forked process, not a thread: the
// message box forks too, and a thread inside Xlib at that moment would leave the box's
// process holding Xlib's lock forever.
struct StartRun {
    int exit_code = -1;
    x11::Geometry geometry;
    bool wants_fullscreen = false;
    bool closed = false;
};

StartRun run_with_answer(const std::string& display, bool yes) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    pid_t viewer = fork();
    if (viewer == 0) {
        close(fds[0]);
        StartRun seen;
        if (x11::answer_box(display, "Start FullScreen?", yes, 60000ms)) {
            unsigned long window = x11::wait_for_window(display, "glow of the snow", 60000ms);
            if (window) {
                std::this_thread::sleep_for(300ms);
                seen.geometry = x11::geometry(display, window);
                seen.wants_fullscreen = x11::wants_fullscreen(display, window);
                seen.closed = x11::request_close(display, window);
            }
        }
        ssize_t written = write(fds[1], &seen, sizeof seen);
        _exit(written == sizeof seen ? 0 : 1);
    }
    close(fds[1]);
    char command_line[] = "";
    int code = WinMain(nullptr, nullptr, command_line, SW_SHOWNORMAL);
    StartRun run;
    if (read(fds[0], &run, sizeof run) != sizeof run) run = StartRun{};
    close(fds[0]);
    waitpid(viewer, nullptr, 0);
    run.exit_code = code;
    return run;
}

TEST_F(SdlWindowSystem, AnsweringNoGivesAWindowThatClosesWithZero) {
    const Xvfb& xvfb = start_x(1024, 768);
    ASSERT_TRUE(xvfb.ok());
    StartRun run = run_with_answer(xvfb.display(), false);
    EXPECT_TRUE(run.closed);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_FALSE(fullscreen);
    EXPECT_EQ(run.geometry.width, 640);
    EXPECT_EQ(run.geometry.height, 480);
    EXPECT_FALSE(run.wants_fullscreen);
    EXPECT_FALSE(window_flags & SDL_WINDOW_FULLSCREEN);
    EXPECT_TRUE(window_flags & SDL_WINDOW_RESIZABLE);
    EXPECT_FALSE(x11::window_exists(xvfb.display(), "glow of the snow"));
}

TEST_F(SdlWindowSystem, AnsweringYesOnA640x480DisplayGoesFullScreen) {
    const Xvfb& xvfb = start_x(640, 480);
    ASSERT_TRUE(xvfb.ok());
    StartRun run = run_with_answer(xvfb.display(), true);
    EXPECT_TRUE(run.closed);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_TRUE(fullscreen);
    // Without a window manager nobody sets the window's full-screen state property; the
    // window covers the whole screen, without a border, in SDL's full-screen mode.
    EXPECT_TRUE(window_flags & SDL_WINDOW_FULLSCREEN);
    EXPECT_TRUE(window_flags & SDL_WINDOW_BORDERLESS);
    EXPECT_EQ(run.geometry.x, 0);
    EXPECT_EQ(run.geometry.y, 0);
    EXPECT_EQ(run.geometry.width, 640);
    EXPECT_EQ(run.geometry.height, 480);
    EXPECT_FALSE(x11::window_exists(xvfb.display(), "Kivo GL"));
}

TEST_F(SdlWindowSystem, WithoutADisplayCreationFailsWithStatusOne) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    testing::internal::CaptureStderr();
    char command_line[] = "";
    int code = WinMain(nullptr, nullptr, command_line, SW_SHOWNORMAL);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 1);
    // One line says why, then the creation failure; no question is put to nobody.
    EXPECT_EQ(err,
              "No display could be opened (DISPLAY is not set, WAYLAND_DISPLAY is not set).\n"
              "ERROR: Window Creation Error.\n");
}

// Nobody touches the keyboard, and the X server's screen saver is set to start after a
// second: the demo's window procedure swallows the requests and keeps it off; a procedure
// that passes them on to DefWindowProcA lets it start.
TEST_F(SdlWindowSystem, ScreenSaverStaysOffExactlyWhileTheProcedureSwallowsIt) {
    const Xvfb& xvfb = start_x(1024, 768);
    ASSERT_TRUE(xvfb.ok());
    for (WNDPROC proc : {DefWindowProcA, window_proc}) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = proc;
        wc.lpszClassName = "Saver";
        ASSERT_NE(RegisterClassA(&wc), 0);
        HWND w = CreateWindowExA(0, "Saver", "saver", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(w, nullptr);
        // Set while the window's connection holds the server: it resets with its last client.
        ASSERT_EQ(run_command({"xset", "s", "1", "0"}, xvfb.display()), 0);
        ShowWindow(w, SW_SHOW);
        // Where the saver may start, it is waited for as long as it takes; where it must not,
        // 2.5 s is more than its 1 s timeout (a server too busy to start it in that time
        // would let this case pass, never fail).
        bool started = false;
        pump_until([&] { return (started = x11::screen_saver_on(xvfb.display())); },
                   proc == DefWindowProcA ? 60000ms : 2500ms);
        EXPECT_EQ(started, proc == DefWindowProcA);
        EXPECT_EQ(SDL_IsScreenSaverEnabled(), proc == DefWindowProcA);
        DestroyWindow(w);
        UnregisterClassA("Saver", nullptr);
        ASSERT_EQ(run_command({"xset", "s", "reset"}, xvfb.display()), 0);  // as a key press would
    }
    EXPECT_TRUE(SDL_IsScreenSaverEnabled());  // no window left to hold it off
}

TEST_F(SdlWindowSystem, WindowClassesFollowWin32Rules) {
    const Xvfb& xvfb = start_x(1024, 768);
    ASSERT_TRUE(xvfb.ok());
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "Rules";
    EXPECT_NE(RegisterClassA(&wc), 0);
    EXPECT_EQ(RegisterClassA(&wc), 0);  // a second registration of the same name fails
    HWND w = CreateWindowExA(0, "Rules", "rules", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr,
                             nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(CreateWindowExA(0, "Nope", "x", 0, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_FALSE(UnregisterClassA("Rules", nullptr));  // it still has a window
    HDC dc = GetDC(w);
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;  // single-buffered: not offered
    EXPECT_EQ(ChoosePixelFormat(dc, &pfd), 0);
    EXPECT_EQ(wglCreateContext(dc), nullptr);  // no pixel format yet
    pfd.dwFlags |= PFD_DOUBLEBUFFER;
    int format = ChoosePixelFormat(dc, &pfd);
    EXPECT_NE(format, 0);
    EXPECT_TRUE(SetPixelFormat(dc, format, &pfd));
    EXPECT_FALSE(SetPixelFormat(dc, format, &pfd));  // once per window
    HGLRC rc = wglCreateContext(dc);
    ASSERT_NE(rc, nullptr);
    EXPECT_TRUE(wglMakeCurrent(dc, rc));
    EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
    EXPECT_TRUE(wglDeleteContext(rc));
    EXPECT_EQ(ReleaseDC(w, dc), 1);
    EXPECT_TRUE(DestroyWindow(w));
    EXPECT_FALSE(DestroyWindow(w));
    EXPECT_TRUE(UnregisterClassA("Rules", nullptr));
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(ShowCursor(TRUE), 0);
}

}  // namespace
