// The shell against the recording fake: start question, creation and its failure boxes,
// teardown, the main loop's turns and controls, F1 re-creation and the window procedure.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "app/gl_window.h"
#include "app/main_loop.h"
#include "platform/gl.h"
#include "tests/shell/fake_win32.h"

extern int demo_frame_result;
extern std::function<void()> frame_hook;

namespace {

const char kSecondTitle[] = "Kivo's Textures, Lighting & Keyboard Tutorial";

class Shell : public ::testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        memset(KeyTable, 0, sizeof KeyTable);
        window_active = true;
        fullscreen = true;
        lighting_on = false;
        lighting_key_latched = false;
        pixel_format_request.cColorBits = 0;
        pixel_format_request.cDepthBits = 0;
        module_instance = nullptr;
        main_window = nullptr;
        device_context = nullptr;
        gl_context = nullptr;
        demo_frame_result = 1;
        frame_hook = nullptr;
    }
    void TearDown() override { frame_hook = nullptr; }

    // Answers the start question and runs WinMain over the scripted queue.
    int run(int start_answer) {
        fake::box_answers.push_front(start_answer);
        char command_line[] = "";
        return WinMain(nullptr, nullptr, command_line, SW_SHOWNORMAL);
    }

    // The log without the lines a test does not care about.
    static std::vector<std::string> calls_without(std::initializer_list<const char*> prefixes) {
        std::vector<std::string> out;
        for (auto& line : fake::log) {
            bool skip = false;
            for (const char* p : prefixes) skip |= line.rfind(p, 0) == 0;
            if (!skip) out.push_back(line);
        }
        return out;
    }
};

TEST_F(Shell, AnsweringNoOpensAWindowAndYesGoesFullScreen) {
    EXPECT_EQ(run(IDNO), 0);
    ASSERT_FALSE(fake::boxes.empty());
    EXPECT_EQ(fake::boxes[0].text, "Would You Like To Run In Fullscreen Mode?");
    EXPECT_EQ(fake::boxes[0].caption, "Start FullScreen?");
    EXPECT_EQ(fake::boxes[0].type, 0x24u);
    EXPECT_EQ(fake::boxes.size(), 1u);
    EXPECT_FALSE(fullscreen);
    const std::vector<std::string> windowed = {
        "MessageBoxA Start FullScreen? | Would You Like To Run In Fullscreen Mode? | 0x24",
        "GetModuleHandleA",
        "RegisterClassA OpenGL style=0x23 icon=32517 cursor=32512 brush=null menu=null "
        "extra=0,0 instance=module",
        "AdjustWindowRectEx 640x480 style=0xcf0000 menu=0 ex=0x40100",
        "CreateWindowExA ex=0x40100 class=OpenGL title=glow of the snow style=0x6cf0000 at=0,0 "
        "size=640x480 parent=null menu=null instance=module param=null",
        "GetDC",
        "ChoosePixelFormat size=40 version=1 flags=0x25 type=0 color=32 depth=16",
        "SetPixelFormat 7",
        "wglCreateContext",
        "wglMakeCurrent context",
        "ShowWindow 5",
        "SetForegroundWindow",
        "SetFocus",
        "demo_init",
        // the script is empty: the run ends on WM_QUIT and tears down
        "wglMakeCurrent NULL",
        "wglDeleteContext",
        "ReleaseDC",
        "DestroyWindow",
        "UnregisterClassA OpenGL",
    };
    EXPECT_EQ(fake::log, windowed);

    for (int answer : {IDYES, 0}) {  // any answer but No means full screen
        SetUp();
        EXPECT_EQ(run(answer), 0);
        EXPECT_TRUE(fullscreen);
        int mode = fake::find("ChangeDisplaySettingsA 640x480x32 fields=0x1c0000 size=148 flags=4");
        int cursor = fake::find("ShowCursor 0");
        int create = fake::find("CreateWindowExA ex=0x40000 class=OpenGL title=glow of the snow "
                                "style=0x86000000");
        ASSERT_GE(mode, 0);
        EXPECT_LT(mode, cursor);
        EXPECT_LT(cursor, fake::find("AdjustWindowRectEx 640x480 style=0x80000000 menu=0 ex=0x40000"));
        EXPECT_LT(cursor, create);
        // The teardown gives the display back and shows the cursor before anything else.
        int restore = fake::find("ChangeDisplaySettingsA NULL 0");
        EXPECT_GT(restore, create);
        EXPECT_EQ(fake::find("ShowCursor 1"), restore + 1);
        EXPECT_EQ(fake::find("wglMakeCurrent NULL"), restore + 2);
        // Everything but dmSize, dmFields and the bits, width and height is zero.
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&fake::last_mode);
        for (int i = 0; i < 148; ++i) {
            bool named = (i >= 36 && i < 38) || (i >= 40 && i < 44) || (i >= 104 && i < 116);
            if (!named) {
                EXPECT_EQ(bytes[i], 0) << "byte " << i;
            }
        }
    }
}

TEST_F(Shell, TheFirstViewIsTheRequestedPerspective) {
    GLint viewport[4] = {};
    GLdouble projection[16] = {};
    GLint mode = 0;
    frame_hook = [&] {
        glGetIntegerv(GL_VIEWPORT, viewport);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_MATRIX_MODE, &mode);
    };
    fake::queue_idle();
    EXPECT_EQ(run(IDNO), 0);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);
    EXPECT_EQ(mode, GL_MODELVIEW);
    double f = 1.0 / tan(22.5 * M_PI / 180.0);
    EXPECT_NEAR(projection[0], f / (640.0 / 480.0), 1e-5);
    EXPECT_NEAR(projection[5], f, 1e-5);
    double z_near = static_cast<double>(0.1f), z_far = 100.0;
    EXPECT_NEAR(projection[10], -(z_far + z_near) / (z_far - z_near), 1e-6);
    EXPECT_NEAR(projection[14], -2.0 * z_far * z_near / (z_far - z_near), 1e-6);
}

struct CreationFailure {
    const char* call;
    const char* text;
};

class CreationFailures : public Shell, public ::testing::WithParamInterface<CreationFailure> {};

TEST_P(CreationFailures, TearDownThenReportAndExitWithFailure) {
    for (bool full : {false, true}) {
        SetUp();
        fake::failing.insert(GetParam().call);
        fake::queue_idle(3);
        EXPECT_EQ(run(full ? IDYES : IDNO), 1);
        ASSERT_EQ(fake::boxes.size(), 2u);
        EXPECT_EQ(fake::boxes[1].text, GetParam().text);
        EXPECT_EQ(fake::boxes[1].caption, "ERROR");
        EXPECT_EQ(fake::boxes[1].type, 0x30u);
        int box = fake::find("MessageBoxA ERROR");
        // close_gl_window ran before the box: the class is unregistered last, right before it.
        EXPECT_EQ(fake::find("UnregisterClassA OpenGL"), box - 1);
        if (full) {  // the display mode was changed: given back before the box
            int restore = fake::find("ChangeDisplaySettingsA NULL");
            EXPECT_GE(restore, 0);
            EXPECT_EQ(fake::find("ShowCursor 1"), restore + 1);
            EXPECT_LT(restore, box);
        }
        EXPECT_EQ(fake::count("demo_init"), 0);
        EXPECT_EQ(fake::count("demo_frame"), 0);
        EXPECT_EQ(fake::count("SwapBuffers"), 0);
        EXPECT_EQ(fake::find("UnregisterClassA", box), -1);  // nothing after the box
        EXPECT_EQ(main_window, nullptr);
        EXPECT_EQ(device_context, nullptr);
        EXPECT_EQ(gl_context, nullptr);
        // What existed when the step failed was released; what did not, was not touched.
        std::string call = GetParam().call;
        bool had_window = call != "CreateWindowExA";
        bool had_dc = had_window && call != "GetDC";
        bool had_context = call == "wglMakeCurrent";
        EXPECT_EQ(fake::count("DestroyWindow"), had_window ? 1 : 0);
        EXPECT_EQ(fake::count("ReleaseDC"), had_dc ? 1 : 0);
        EXPECT_EQ(fake::count("wglDeleteContext"), had_context ? 1 : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, CreationFailures,
    ::testing::Values(CreationFailure{"CreateWindowExA", "Window Creation Error."},
                      CreationFailure{"GetDC", "Can't Create A GL Device Context."},
                      CreationFailure{"ChoosePixelFormat", "Can't Find A Suitable PixelFormat."},
                      CreationFailure{"SetPixelFormat", "Can't Set The PixelFormat."},
                      CreationFailure{"wglCreateContext", "Can't Create A GL Rendering Context."},
                      CreationFailure{"wglMakeCurrent", "Can't Activate The GL Rendering Context."}));

TEST_F(Shell, FailuresBeforeTheWindowTearNothingDown) {
    fake::failing.insert("RegisterClassA");
    EXPECT_EQ(run(IDNO), 1);
    ASSERT_EQ(fake::boxes.size(), 2u);
    EXPECT_EQ(fake::boxes[1].text, "Failed To Register The Window Class.");
    EXPECT_EQ(fake::boxes[1].caption, "ERROR");
    EXPECT_EQ(fake::boxes[1].type, 0x30u);
    EXPECT_EQ(fake::count("UnregisterClassA"), 0);
    EXPECT_EQ(fake::count("CreateWindowExA"), 0);

    // A refused display mode answered No: two boxes, no teardown, the class stays registered.
    SetUp();
    fake::display_width = 1024;
    fake::display_height = 768;
    fake::box_answers = {IDNO};
    EXPECT_EQ(run(IDYES), 1);
    ASSERT_EQ(fake::boxes.size(), 3u);
    EXPECT_EQ(fake::boxes[1].text,
              "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed "
              "Mode Instead?");
    EXPECT_EQ(fake::boxes[1].caption, "Kivo GL");
    EXPECT_EQ(fake::boxes[1].type, 0x34u);
    EXPECT_EQ(fake::boxes[2].text, "Program Will Now Close.");
    EXPECT_EQ(fake::boxes[2].caption, "ERROR");
    EXPECT_EQ(fake::boxes[2].type, 0x10u);
    EXPECT_EQ(fake::count("UnregisterClassA"), 0);
    EXPECT_EQ(fake::count("ChangeDisplaySettingsA NULL"), 0);
    EXPECT_EQ(fake::count("ShowCursor"), 0);
}

TEST_F(Shell, ARefusedDisplayModeAnsweredYesRunsWindowed) {
    fake::display_width = 1024;
    fake::display_height = 768;
    fake::box_answers = {IDYES};
    fake::queue_idle(2);
    EXPECT_EQ(run(IDYES), 0);
    EXPECT_FALSE(fullscreen);
    EXPECT_EQ(fake::count("CreateWindowExA ex=0x40100 class=OpenGL title=glow of the snow "
                          "style=0x6cf0000 at=0,0 size=640x480"),
              1);
    EXPECT_EQ(fake::count("ShowCursor"), 0);  // the cursor stays visible, teardown leaves it
    EXPECT_EQ(fake::count("ChangeDisplaySettingsA NULL"), 0);
    EXPECT_EQ(fake::count("demo_frame"), 2);
}

TEST_F(Shell, TeardownRunsEveryStepAndReportsEachFailedRelease) {
    fake::failing = {"wglMakeCurrent NULL", "wglDeleteContext", "ReleaseDC", "DestroyWindow",
                     "UnregisterClassA"};
    fake::queue_idle();
    fake::queue_message(WM_CLOSE);
    EXPECT_EQ(run(IDNO), 0);
    std::vector<std::string> texts;
    for (auto& box : fake::boxes) {
        if (box.caption != "SHUTDOWN ERROR") continue;
        EXPECT_EQ(box.type, 0x40u);
        texts.push_back(box.text);
    }
    const std::vector<std::string> expected = {
        "Release Of DC And RC Failed.", "Release Rendering Context Failed.",
        "Release Device Context Failed.", "Could Not Release hWnd.",
        "Could Not Unregister Class."};
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(gl_context, nullptr);
    EXPECT_EQ(device_context, nullptr);
    EXPECT_EQ(main_window, nullptr);
    EXPECT_EQ(module_instance, nullptr);

    // With nothing to release, only the class is unregistered (and that fails: no class).
    SetUp();
    close_gl_window();
    const std::vector<std::string> bare = {
        "ChangeDisplaySettingsA NULL 0", "ShowCursor 1", "UnregisterClassA OpenGL",
        "MessageBoxA SHUTDOWN ERROR | Could Not Unregister Class. | 0x40"};
    EXPECT_EQ(fake::log, bare);
}

TEST_F(Shell, IdleTurnsDrawSwapThenPollAndMessagesOnlyDispatch) {
    fake::queue_idle(2);
    fake::queue_message(WM_KEYDOWN, VK_UP);
    fake::queue_message(WM_KEYDOWN, VK_RIGHT);
    fake::queue_idle(3);
    fake::queue_message(WM_KEYDOWN, VK_LEFT);
    fake::queue_message(WM_KEYDOWN, VK_DOWN);
    fake::queue_idle(1);
    fake::queue_message(WM_KEYUP, VK_UP);
    fake::queue_message(WM_KEYUP, VK_RIGHT);
    fake::queue_message(WM_KEYUP, VK_LEFT);
    fake::queue_message(WM_KEYUP, VK_DOWN);
    fake::queue_idle(1);
    EXPECT_EQ(run(IDNO), 0);
    auto calls = calls_without({"MessageBoxA", "GetModuleHandleA", "RegisterClassA",
                                "AdjustWindowRectEx", "CreateWindowExA", "GetDC",
                                "ChoosePixelFormat", "SetPixelFormat", "wgl", "ShowWindow",
                                "SetForegroundWindow", "SetFocus", "demo_init", "ReleaseDC",
                                "DestroyWindow", "UnregisterClassA"});
    const std::vector<std::string> expected = {
        "demo_frame", "SwapBuffers", "demo_frame", "SwapBuffers",
        "DispatchMessageA 0x100 0x26", "DispatchMessageA 0x100 0x27",
        "demo_frame", "SwapBuffers", "next_track", "seek_music 400",
        "demo_frame", "SwapBuffers", "next_track", "seek_music 400",
        "demo_frame", "SwapBuffers", "next_track", "seek_music 400",
        "DispatchMessageA 0x100 0x25", "DispatchMessageA 0x100 0x28",
        // every control acts in the same turn, in the order L, Up, Down, Right, Left, F1
        "demo_frame", "SwapBuffers", "next_track", "previous_track", "seek_music 400",
        "seek_music -400",
        "DispatchMessageA 0x101 0x26", "DispatchMessageA 0x101 0x27",
        "DispatchMessageA 0x101 0x25", "DispatchMessageA 0x101 0x28",
        "demo_frame", "SwapBuffers"};
    EXPECT_EQ(calls, expected);
}

TEST_F(Shell, EscapeEndsTheTurnWithoutASwapAndExitsZero) {
    fake::queue_idle();
    fake::queue_key(VK_ESCAPE, true);
    fake::queue_key(VK_UP, true);
    fake::queue_idle(5);
    EXPECT_EQ(run(IDNO), 0);  // not the 27 the last message carried
    EXPECT_FALSE(fake::script_ran_out);
    EXPECT_EQ(fake::count("demo_frame"), 2);
    EXPECT_EQ(fake::count("SwapBuffers"), 1);
    EXPECT_EQ(fake::count("next_track"), 0);
    EXPECT_EQ(fake::count("UnregisterClassA"), 1);

    // A frame that fails ends the loop the same way.
    SetUp();
    demo_frame_result = 0;
    fake::queue_idle(3);
    EXPECT_EQ(run(IDNO), 0);
    EXPECT_EQ(fake::count("demo_frame"), 1);
    EXPECT_EQ(fake::count("SwapBuffers"), 0);
}

TEST_F(Shell, ClosingTheWindowQuitsThroughWmQuitWithZero) {
    for (UINT message : {static_cast<UINT>(WM_SYSCOMMAND), static_cast<UINT>(WM_CLOSE)}) {
        SetUp();
        fake::queue_idle();
        fake::queue_message(message, message == WM_SYSCOMMAND ? SC_CLOSE : 0);
        fake::queue_idle(3);
        EXPECT_EQ(run(IDNO), 0);
        EXPECT_FALSE(fake::script_ran_out);  // the posted WM_QUIT ended it
        EXPECT_EQ(fake::count("PostQuitMessage 0"), 1);
        EXPECT_EQ(fake::count("demo_frame"), 1);
        EXPECT_EQ(fake::count("DestroyWindow"), 1);  // torn down once, after the loop
    }
}

TEST_F(Shell, MinimisedTurnsSwapAndPollWithoutDrawing) {
    fake::queue_idle();
    fake::queue_message(WM_ACTIVATE, MAKELPARAM(WA_INACTIVE, 1));
    fake::queue_message(WM_SIZE, SIZE_MINIMIZED, 0);
    fake::queue_key(VK_UP, true);
    fake::queue_idle(2);
    fake::queue_key(VK_UP, false);
    fake::queue_message(WM_ACTIVATE, MAKELPARAM(WA_ACTIVE, 0));
    fake::queue_idle();
    // Another window in front, without minimising: frames go on.
    fake::queue_message(WM_ACTIVATE, MAKELPARAM(WA_INACTIVE, 0));
    fake::queue_idle();
    EXPECT_EQ(run(IDNO), 0);
    EXPECT_EQ(fake::count("demo_frame"), 3);
    EXPECT_EQ(fake::count("SwapBuffers"), 5);
    EXPECT_EQ(fake::count("next_track"), 2);

    // Escape while minimised still ends the loop, before the swap.
    SetUp();
    fake::queue_message(WM_ACTIVATE, MAKELPARAM(WA_INACTIVE, 1));
    fake::queue_key(VK_ESCAPE, true);
    fake::queue_idle(2);
    EXPECT_EQ(run(IDNO), 0);
    EXPECT_EQ(fake::count("demo_frame"), 0);
    EXPECT_EQ(fake::count("SwapBuffers"), 0);
}

TEST_F(Shell, HoldingLTogglesLightingOncePerPress) {
    std::vector<int> lit;  // GL_LIGHTING as each frame sees it
    frame_hook = [&] { lit.push_back(glIsEnabled(GL_LIGHTING)); };
    fake::queue_key('L', true);
    fake::queue_idle(3);
    fake::queue_key('L', true);  // auto-repeat does not toggle again
    fake::queue_idle();
    fake::queue_key('L', false);
    fake::queue_idle();
    fake::queue_key('L', true);
    fake::queue_idle();
    fake::queue_key('L', false);
    fake::queue_idle();
    EXPECT_EQ(run(IDNO), 0);
    EXPECT_EQ(lit, (std::vector<int>{0, 1, 1, 1, 1, 1, 0}));
    EXPECT_FALSE(lighting_on);
    EXPECT_FALSE(lighting_key_latched);
}

TEST_F(Shell, F1RecreatesTheWindowInTheOtherModeAndKeepsTheLightingFlag) {
    std::vector<int> lit;
    frame_hook = [&] { lit.push_back(glIsEnabled(GL_LIGHTING)); };
    auto press_l = [] {
        fake::queue_key('L', true);
        fake::queue_idle();
        fake::queue_key('L', false);
        fake::queue_idle();
    };
    press_l();                     // frames: off (then on), on
    fake::queue_key(VK_F1, true);
    fake::queue_idle(2);           // frames: on, then in the new context off
    press_l();                     // flag 1 -> 0 with glDisable: off, off
    press_l();                     // off (then on), on
    EXPECT_EQ(run(IDNO), 0);
    EXPECT_EQ(lit, (std::vector<int>{0, 1, 1, 0, 0, 0, 0, 1}));
    EXPECT_TRUE(lighting_on);
    EXPECT_FALSE(KeyTable[VK_F1]);
    EXPECT_TRUE(fullscreen);

    EXPECT_EQ(fake::count("demo_init"), 2);
    EXPECT_EQ(fake::count("ChangeDisplaySettingsA 640x480x16 fields=0x1c0000 size=148 flags=4"), 1);
    EXPECT_EQ(fake::count(std::string("CreateWindowExA ex=0x40000 class=OpenGL title=") +
                          kSecondTitle + " style=0x86000000 at=0,0 size=640x480"),
              1);
    // The pixel format request keeps the first window's 32 colour bits.
    EXPECT_EQ(fake::count("ChoosePixelFormat size=40 version=1 flags=0x25 type=0 color=32 depth=16"),
              2);
    // One key-down message gives one re-creation: close, then open.
    int swap = fake::find("SwapBuffers", fake::find("DispatchMessageA 0x100 0x70"));
    EXPECT_EQ(fake::log[swap + 1], "wglMakeCurrent NULL");
    EXPECT_EQ(fake::find("UnregisterClassA OpenGL", swap), swap + 5);
    EXPECT_EQ(fake::log[swap + 6], "GetModuleHandleA");
    EXPECT_EQ(fake::count("UnregisterClassA"), 2);
}

TEST_F(Shell, F1FromTheRefusedFullScreenTriesFullScreenAgainAndAFailedRecreationExitsOne) {
    fake::display_width = 800;
    fake::display_height = 600;
    fake::box_answers = {IDYES, IDNO};  // run windowed; then refuse the fallback after F1
    fake::queue_idle();
    fake::queue_key(VK_F1, true);
    fake::queue_idle(3);
    EXPECT_EQ(run(IDYES), 1);
    EXPECT_EQ(fake::count("ChangeDisplaySettingsA 640x480x32"), 1);
    EXPECT_EQ(fake::count("ChangeDisplaySettingsA 640x480x16"), 1);
    EXPECT_EQ(fake::boxes.back().text, "Program Will Now Close.");
    EXPECT_EQ(fake::count("demo_frame"), 2);  // the program ended right there
    EXPECT_EQ(fake::count("UnregisterClassA"), 1);

    // A re-creation that fails at a later step tears down, reports and exits 1 at once.
    SetUp();
    frame_hook = [] { fake::failing.insert("wglCreateContext"); };
    fake::queue_idle();
    fake::queue_key(VK_F1, true);
    fake::queue_idle(3);
    EXPECT_EQ(run(IDNO), 1);
    EXPECT_EQ(fake::boxes.back().text, "Can't Create A GL Rendering Context.");
    EXPECT_EQ(fake::count("UnregisterClassA"), 2);
    EXPECT_EQ(fake::count("demo_frame"), 2);
}

TEST_F(Shell, WindowProcedure) {
    GLint viewport[4] = {};
    GLdouble projection[16] = {};
    frame_hook = [&] {
        glGetIntegerv(GL_VIEWPORT, viewport);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
    };
    fake::queue_message(WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 0));
    fake::queue_idle();
    EXPECT_EQ(run(IDNO), 0);
    EXPECT_EQ(viewport[2], 300);
    EXPECT_EQ(viewport[3], 1);  // a height of 0 becomes 1
    double f = 1.0 / tan(22.5 * M_PI / 180.0);
    EXPECT_NEAR(projection[0], f / 300.0, 1e-7);

    // Keys: only 0-255 reach the table; system keys and refused system commands do not.
    SetUp();
    window_proc(nullptr, WM_KEYDOWN, 'A', 0);
    EXPECT_TRUE(KeyTable['A']);
    window_proc(nullptr, WM_KEYUP, 'A', 0);
    EXPECT_FALSE(KeyTable['A']);
    bool before[256];
    memcpy(before, KeyTable, sizeof before);
    window_proc(nullptr, WM_KEYDOWN, 256 + 'A', 0);
    window_proc(nullptr, WM_KEYDOWN, static_cast<WPARAM>(-1), 0);
    EXPECT_EQ(memcmp(before, KeyTable, sizeof before), 0);
    EXPECT_EQ(window_proc(nullptr, WM_SYSKEYDOWN, 'L', 1 << 29), 0);
    EXPECT_FALSE(KeyTable['L']);
    EXPECT_EQ(fake::count("DefWindowProcA 0x104 0x4c"), 1);
    window_proc(nullptr, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
    window_proc(nullptr, WM_SYSCOMMAND, SC_MONITORPOWER, 0);
    window_proc(nullptr, WM_SYSCOMMAND, SC_MONITORPOWER | 0x2, 2);  // low bits: Windows' own
    EXPECT_EQ(fake::count("DefWindowProcA"), 1);
    window_proc(nullptr, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(fake::count("DefWindowProcA 0x112 0xf020"), 1);
    window_proc(nullptr, WM_ACTIVATE, MAKELPARAM(WA_ACTIVE, 1), 0);
    EXPECT_FALSE(window_active);
    window_proc(nullptr, WM_ACTIVATE, MAKELPARAM(WA_INACTIVE, 0), 0);
    EXPECT_TRUE(window_active);
    EXPECT_EQ(window_proc(nullptr, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(fake::count("PostQuitMessage 0"), 1);
    EXPECT_EQ(fake::count("DestroyWindow"), 0);  // closing does not destroy the window itself
}

}  // namespace
