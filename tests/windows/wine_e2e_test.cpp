// The Windows build's glow.exe as a viewer uses it, under Wine on a private Xvfb: the start box
// both ways, the picture, Escape and closing, full screen and its refusal, F1, the keys, and a
// run without data. Wine's message boxes are X windows titled with their captions.
#include <gtest/gtest.h>

#include <filesystem>
#include <cctype>
#include <fstream>
#include <set>
#include <thread>

#include "tests/e2e/demo_run.h"

using namespace std::chrono_literals;

namespace {

const char kSecondTitle[] = "Kivo's Textures, Lighting & Keyboard Tutorial";

// A glow.exe run under Wine. HOME is the scratch folder, so no user's sound set-up applies:
// without a sound card waveOut opens nothing and the silent real-time output plays.
// Wine keeps the display's modes in the session that the prefix's first program starts, on
// that program's X display: each run ends the previous session (of this test run's own prefix),
// so the new one starts on this run's screen. These tests therefore run one at a time.
void launch_exe(DemoRun& run) {
    run_command({"wineserver", "-k"}, run.display());
    run_command({"wineserver", "-w"}, run.display());
    run.set_command({"wine", GLOW_WIN32_EXE});
    run.launch({{"HOME", run.dir()}, {"WINEDEBUG", "-all"}});
}

// Answers a Yes/No box the way a person does: Return for the default Yes, N for No (Escape
// does nothing in a box without Cancel). A box that is mapped but not yet reading its keys
// lets the first press pass, so it is pressed again while the box is still there.
bool answer(DemoRun& run, const std::string& title, bool yes) {
    unsigned long box = x11::wait_for_window(run.display(), title, 30000ms);
    if (!box) return false;
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::this_thread::sleep_for(500ms);
        if (!x11::window_exists(run.display(), title)) return true;
        run_command({"xdotool", "key", "--window", std::to_string(box), yes ? "Return" : "n"},
                    run.display());
    }
    return false;
}

unsigned long start_windowed(DemoRun& run) {
    if (!answer(run, "Start FullScreen?", false)) return 0;
    return run.wait_window("glow of the snow", 30000ms);
}

TEST(WineGlowExe, NoGivesTheWindowWithBarsSceneAndScrollerAndTheKeysAct) {
    DemoRun run(1024, 768);
    ASSERT_TRUE(run.ok());
    launch_exe(run);
    unsigned long window = start_windowed(run);
    ASSERT_NE(window, 0u) << run.output();
    x11::Geometry g = x11::geometry(run.display(), window);
    EXPECT_EQ(g.width, 640);
    EXPECT_EQ(g.height, 480);
    run.focus(window);

    std::this_thread::sleep_for(2000ms);
    Picture shot = run.screenshot(window, "windowed");
    ASSERT_EQ(shot.width, 640);
    ASSERT_EQ(shot.height, 480);
    EXPECT_EQ(mean_brightness(shot, 0, 60), 0.0);   // the top bar
    EXPECT_GT(mean_brightness(shot, 60, 420), 5.0);  // the scene
    int red = leftmost_red(shot);
    EXPECT_GT(red, 200);  // the scroller's first letters, still on the right
    bool only_red = true;
    for (int y = 420; y < 480; ++y)
        for (int x = 0; x < 640; ++x) only_red &= shot.at(x, y)[1] == 0 && shot.at(x, y)[2] == 0;
    EXPECT_TRUE(only_red);

    // Right jumps the music, and the scroller with it, ahead.
    run.hold({"Right"}, 600ms);
    std::this_thread::sleep_for(300ms);
    int ahead = leftmost_red(run.screenshot(window, "ahead"));
    EXPECT_GE(ahead, 0);
    EXPECT_LT(ahead, red - 100) << red << " -> " << ahead;
    // Up restarts the first slot: the message starts over from the right.
    run.hold({"Up"}, 40ms);
    std::this_thread::sleep_for(300ms);
    int restarted = leftmost_red(run.screenshot(window, "restarted"));
    EXPECT_TRUE(restarted == -1 || restarted > 400) << restarted;
    // L turns the default lighting on, which dims everything.
    double unlit = mean_brightness(run.screenshot(window, "unlit"), 60, 420);
    run.hold({"l"}, 100ms);
    std::this_thread::sleep_for(300ms);
    double lit = mean_brightness(run.screenshot(window, "lit"), 60, 420);
    EXPECT_LT(lit, unlit / 3) << unlit << " -> " << lit;

    EXPECT_EQ(run.quit_with_escape(window), 0) << run.output();
}

TEST(WineGlowExe, YesOnA640x480ScreenIsFullScreenAndF1RecreatesTheWindow) {
    DemoRun run(640, 480);
    ASSERT_TRUE(run.ok());
    launch_exe(run);
    ASSERT_TRUE(answer(run, "Start FullScreen?", true));
    unsigned long window = run.wait_window("glow of the snow", 30000ms);
    ASSERT_NE(window, 0u) << run.output();
    x11::Geometry g = x11::geometry(run.display(), window);
    EXPECT_EQ(g.x, 0);
    EXPECT_EQ(g.y, 0);
    EXPECT_EQ(g.width, 640);
    EXPECT_EQ(g.height, 480);
    EXPECT_FALSE(x11::window_exists(run.display(), "Kivo GL"));

    run.focus(window);
    std::this_thread::sleep_for(1000ms);
    run.tap("F1");
    unsigned long second = run.wait_window(kSecondTitle, 30000ms);
    ASSERT_NE(second, 0u) << run.output();
    EXPECT_FALSE(x11::window_exists(run.display(), "glow of the snow"));
    std::this_thread::sleep_for(1500ms);
    EXPECT_GT(mean_brightness(run.screenshot(second, "recreated"), 60, 420), 5.0);
    EXPECT_EQ(run.quit_with_escape(second), 0) << run.output();
}

TEST(WineGlowExe, ALargerScreenRefusesFullScreenYesContinuesWindowedAndClosingExitsZero) {
    DemoRun run(1024, 768);
    ASSERT_TRUE(run.ok());
    launch_exe(run);
    ASSERT_TRUE(answer(run, "Start FullScreen?", true));
    ASSERT_TRUE(answer(run, "Kivo GL", true)) << run.output();
    unsigned long window = run.wait_window("glow of the snow", 30000ms);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(x11::geometry(run.display(), window).width, 640);
    std::this_thread::sleep_for(1000ms);
    ASSERT_TRUE(x11::request_close(run.display(), window));
    EXPECT_EQ(run.wait_exit(15000ms), 0);
}

TEST(WineGlowExe, WithoutDataItKeepsRunning) {
    DemoRun run(1024, 768);
    ASSERT_TRUE(run.ok());
    std::filesystem::remove_all(run.dir() + "/data");
    launch_exe(run);
    unsigned long window = start_windowed(run);
    ASSERT_NE(window, 0u) << run.output();
    std::this_thread::sleep_for(3000ms);
    EXPECT_TRUE(run.running());
    // Nothing to draw but the bars: the frame is black, and still being presented.
    EXPECT_TRUE(run.screenshot(window, "nodata").ok());
    EXPECT_EQ(run.quit_with_escape(window), 0) << run.output();
}

// The zip as a viewer gets it: unpacked, glow.exe runs from its own folder with the data
// beside it, and it imports only DLLs that every Windows has.
TEST(WineGlowExe, TheZipUnpacksAndRunsFromItsOwnFolder) {
    DemoRun run(1024, 768);
    ASSERT_TRUE(run.ok());
    std::filesystem::remove_all(run.dir() + "/data");
    ASSERT_EQ(run_command({"unzip", "-q", GLOW_WIN32_ZIP, "-d", run.dir()}, run.display()), 0);
    const std::string folder = run.dir() + "/glow-of-the-snow-win32";
    EXPECT_TRUE(std::filesystem::exists(folder + "/README.txt"));

    const std::string imports = run.dir() + "/imports.txt";
    ASSERT_EQ(run_command({"sh", "-c", "i686-w64-mingw32-objdump -p '" + folder +
                                           "/glow.exe' | sed -n 's/.*DLL Name: //p' > '" +
                                           imports + "'"},
                          run.display()),
              0);
    const std::set<std::string> system = {"advapi32.dll", "gdi32.dll",  "glu32.dll",
                                          "kernel32.dll", "msvcrt.dll", "opengl32.dll",
                                          "shlwapi.dll",  "user32.dll", "winmm.dll"};
    std::ifstream list(imports);
    int count = 0;
    for (std::string dll; std::getline(list, dll); ++count) {
        for (char& c : dll) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(system.count(dll)) << dll << " is not a system DLL";
    }
    EXPECT_GT(count, 3);

    run_command({"wineserver", "-k"}, run.display());
    run_command({"wineserver", "-w"}, run.display());
    run.set_command({"sh", "-c", "cd glow-of-the-snow-win32 && exec wine glow.exe"});
    run.launch({{"HOME", run.dir()}, {"WINEDEBUG", "-all"}});
    unsigned long window = start_windowed(run);
    ASSERT_NE(window, 0u) << run.output();
    std::this_thread::sleep_for(1500ms);
    // The scene is there: the textures and meshes were found beside the program.
    EXPECT_GT(mean_brightness(run.screenshot(window, "unzipped"), 60, 420), 5.0);
    EXPECT_EQ(run.quit_with_escape(window), 0) << run.output();
}

}  // namespace
