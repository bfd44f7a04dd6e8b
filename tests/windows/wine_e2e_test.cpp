// A Windows build's glow.exe as a viewer uses it, under Wine on a private Xvfb: the start box
// both ways, the picture, Escape and closing, full screen and its refusal, F1, the keys, a run
// without data, and the unpacked zip. Wine's message boxes are X windows titled with their
// captions. Which build (32- or 64-bit) and which Wine loader: tests/windows/run.sh says.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "tests/e2e/demo_run.h"
#include "tests/windows/wine_target.h"

using namespace std::chrono_literals;

namespace {

const char kSecondTitle[] = "Kivo's Textures, Lighting & Keyboard Tutorial";

// A glow.exe run under Wine. HOME is the scratch folder, so no user's sound set-up applies:
// without a sound card waveOut opens nothing and the silent real-time output plays.
// Wine keeps the display's modes in the session that the prefix's first program starts, on
// that program's X display: each run ends the previous session (of this test run's own prefix),
// so the new one starts on this run's screen. These tests therefore run one at a time.
void launch_exe(DemoRun& run, const WineTarget& target, std::vector<std::string> command) {
    run_command({target.wineserver, "-k"}, run.display());
    run_command({target.wineserver, "-w"}, run.display());
    run.set_command(std::move(command));
    run.launch({{"HOME", run.dir()}, {"WINEDEBUG", "-all"}, {"WINELOADER", target.loader}});
}

void launch_exe(DemoRun& run, const WineTarget& target) {
    launch_exe(run, target, {target.loader, target.build + "/glow.exe"});
}

// Answers a Yes/No box the way a person does: Return for the default Yes, N for No (Escape
// does nothing in a box without Cancel).
bool answer(DemoRun& run, const std::string& title, bool yes) {
    return x11::press_in_box(run.display(), title, yes ? "Return" : "n", kPatience);
}

unsigned long start_windowed(DemoRun& run) {
    if (!answer(run, "Start FullScreen?", false)) return 0;
    return run.wait_window("glow of the snow");
}

TEST(WineGlowExe, NoGivesTheWindowWithBarsSceneAndScrollerAndTheKeysAct) {
    const WineTarget* target = wine_target();
    ASSERT_NE(target, nullptr);
    DemoRun run(1024, 768);
    ASSERT_TRUE(run.ok());
    launch_exe(run, *target);
    auto answered = std::chrono::steady_clock::now();
    unsigned long window = start_windowed(run);
    ASSERT_NE(window, 0u) << run.output();
    x11::Geometry g = x11::geometry(run.display(), window);
    EXPECT_EQ(g.width, 640);
    EXPECT_EQ(g.height, 480);
    run.focus(window);

    // A frame with the scene and the message's first letters. The music started after the
    // box was answered, so the message (at x = 700 - clock / 7) is no further left than that.
    Picture shot = run.screenshot_when(
        window, "windowed", [](const Picture& p) { return scene_drawn(p) && leftmost_red(p) >= 0; });
    long since_answer = ms_since(answered);
    ASSERT_EQ(shot.width, 640);
    ASSERT_EQ(shot.height, 480);
    EXPECT_EQ(mean_brightness(shot, 0, 60), 0.0);   // the top bar
    EXPECT_GT(mean_brightness(shot, 60, 420), 5.0);  // the scene
    int red = leftmost_red(shot);
    EXPECT_GE(red, 700 - since_answer / 7 - 1) << "after " << since_answer << " ms";
    bool only_red = true;
    for (int y = 420; y < 480; ++y)
        for (int x = 0; x < 640; ++x) only_red &= shot.at(x, y)[1] == 0 && shot.at(x, y)[2] == 0;
    EXPECT_TRUE(only_red);

    // Right, held, jumps the music, and the scroller with it, ahead.
    run.key_down({"Right"});
    int ahead = leftmost_red(run.screenshot_when(window, "ahead", [&](const Picture& p) {
        int at = leftmost_red(p);
        return at >= 0 && at < red - 100;
    }));
    run.key_up({"Right"});
    EXPECT_GE(ahead, 0);
    EXPECT_LT(ahead, red - 100) << red << " -> " << ahead;
    // Up restarts the first slot, then plays the others; held, it runs out of slots and the
    // music stops at 0. Either way the message starts over from the right.
    run.key_down({"Up"});
    int restarted = leftmost_red(run.screenshot_when(window, "restarted", [](const Picture& p) {
        int at = leftmost_red(p);
        return scene_drawn(p) && (at == -1 || at > 400);
    }));
    run.key_up({"Up"});
    EXPECT_TRUE(restarted == -1 || restarted > 400) << restarted;
    // L turns the default lighting on, which dims everything.
    double unlit = mean_brightness(run.screenshot_when(window, "unlit", scene_drawn), 60, 420);
    double lit = 0;
    run.key_down({"l"});
    run.screenshot_when(window, "lit", [&](const Picture& p) {
        return (lit = mean_brightness(p, 60, 420)) < unlit / 3;
    });
    run.key_up({"l"});
    EXPECT_LT(lit, unlit / 3) << unlit << " -> " << lit;

    EXPECT_EQ(run.quit_with_escape(window), 0) << run.output();
}

TEST(WineGlowExe, YesOnA640x480ScreenIsFullScreenAndF1RecreatesTheWindow) {
    const WineTarget* target = wine_target();
    ASSERT_NE(target, nullptr);
    DemoRun run(640, 480);
    ASSERT_TRUE(run.ok());
    launch_exe(run, *target);
    ASSERT_TRUE(answer(run, "Start FullScreen?", true));
    unsigned long window = run.wait_window("glow of the snow");
    ASSERT_NE(window, 0u) << run.output();
    x11::Geometry g = x11::geometry(run.display(), window);
    EXPECT_EQ(g.x, 0);
    EXPECT_EQ(g.y, 0);
    EXPECT_EQ(g.width, 640);
    EXPECT_EQ(g.height, 480);
    EXPECT_FALSE(x11::window_exists(run.display(), "Kivo GL"));

    run.focus(window);
    run.screenshot_when(window, "first", scene_drawn);
    run.key_down({"F1"});
    unsigned long second = run.wait_window(kSecondTitle);
    run.key_up({"F1"});
    ASSERT_NE(second, 0u) << run.output();
    EXPECT_FALSE(x11::window_exists(run.display(), "glow of the snow"));
    EXPECT_TRUE(scene_drawn(run.screenshot_when(second, "recreated", scene_drawn)));
    EXPECT_EQ(run.quit_with_escape(second), 0) << run.output();
}

TEST(WineGlowExe, ALargerScreenRefusesFullScreenYesContinuesWindowedAndClosingExitsZero) {
    const WineTarget* target = wine_target();
    ASSERT_NE(target, nullptr);
    DemoRun run(1024, 768);
    ASSERT_TRUE(run.ok());
    launch_exe(run, *target);
    ASSERT_TRUE(answer(run, "Start FullScreen?", true));
    ASSERT_TRUE(answer(run, "Kivo GL", true)) << run.output();
    unsigned long window = run.wait_window("glow of the snow");
    ASSERT_NE(window, 0u);
    EXPECT_EQ(x11::geometry(run.display(), window).width, 640);
    run.screenshot_when(window, "drawn", scene_drawn);
    ASSERT_TRUE(x11::request_close(run.display(), window));
    EXPECT_EQ(run.wait_exit(), 0);
}

TEST(WineGlowExe, WithoutDataItKeepsRunning) {
    const WineTarget* target = wine_target();
    ASSERT_NE(target, nullptr);
    DemoRun run(1024, 768);
    ASSERT_TRUE(run.ok());
    std::filesystem::remove_all(run.dir() + "/data");
    launch_exe(run, *target);
    unsigned long window = start_windowed(run);
    ASSERT_NE(window, 0u) << run.output();
    std::this_thread::sleep_for(3000ms);
    EXPECT_TRUE(run.running());
    // Nothing to draw but the bars: the frame is black, and still being presented.
    EXPECT_TRUE(run.screenshot(window, "nodata").ok());
    EXPECT_EQ(run.quit_with_escape(window), 0) << run.output();
}

// The zip as a viewer gets it: unpacked, glow.exe runs from its own folder with the data
// beside it. (tests/windows/run.sh checks what the exe imports.)
TEST(WineGlowExe, TheZipUnpacksAndRunsFromItsOwnFolder) {
    const WineTarget* target = wine_target();
    ASSERT_NE(target, nullptr);
    DemoRun run(1024, 768);
    ASSERT_TRUE(run.ok());
    std::filesystem::remove_all(run.dir() + "/data");
    ASSERT_EQ(run_command({"unzip", "-q", target->zip, "-d", run.dir()}, run.display()), 0);
    const std::string folder = std::filesystem::path(target->zip).stem();
    EXPECT_TRUE(std::filesystem::exists(run.dir() + "/" + folder + "/README.txt"));

    launch_exe(run, *target,
               {"sh", "-c", "cd '" + folder + "' && exec '" + target->loader + "' glow.exe"});
    unsigned long window = start_windowed(run);
    ASSERT_NE(window, 0u) << run.output();
    // The scene is there: the textures and meshes were found beside the program.
    EXPECT_TRUE(scene_drawn(run.screenshot_when(window, "unzipped", scene_drawn)));
    EXPECT_EQ(run.quit_with_escape(window), 0) << run.output();
}

}  // namespace
