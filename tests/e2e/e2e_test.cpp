// The real glow binary as a viewer uses it, under a private Xvfb: the start box both ways, the
// picture, the sound, the keys, the re-creation on F1, and the ways it ends.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/e2e/demo_run.h"

using namespace std::chrono_literals;

namespace {

const char kSecondTitle[] = "Kivo's Textures, Lighting & Keyboard Tutorial";

TEST(EndToEnd, WindowedRunShowsBarsSceneScrollerAndPlaysTheTrack) {
    DemoRun run(1024, 768);
    ASSERT_TRUE(run.ok());
    run.launch();
    unsigned long window = run.start(false);
    ASSERT_NE(window, 0u) << run.output();
    x11::Geometry g = x11::geometry(run.display(), window);
    EXPECT_EQ(g.x, 0);
    EXPECT_EQ(g.y, 0);
    EXPECT_EQ(g.width, 640);
    EXPECT_EQ(g.height, 480);

    std::this_thread::sleep_for(1500ms);
    Picture shot = run.screenshot(window, "windowed");
    ASSERT_TRUE(shot.ok());
    if (const char* keep = getenv("GLOW_KEEP_SCREENSHOT"))  // `make screenshot` keeps it
        std::filesystem::copy_file(run.dir() + "/windowed.png", keep,
                                   std::filesystem::copy_options::overwrite_existing);
    ASSERT_EQ(shot.width, 640);
    ASSERT_EQ(shot.height, 480);
    EXPECT_EQ(mean_brightness(shot, 0, 60), 0.0);        // the top bar
    EXPECT_GT(mean_brightness(shot, 60, 420), 5.0);       // the scene between the bars
    bool only_red = true;
    for (int y = 420; y < 480; ++y)
        for (int x = 0; x < 640; ++x) only_red &= shot.at(x, y)[1] == 0 && shot.at(x, y)[2] == 0;
    EXPECT_TRUE(only_red);
    // After about 1.5 s of music the first letters have come in from the right.
    int red = leftmost_red(shot);
    EXPECT_GT(red, 300);
    EXPECT_LT(red, 620);

    // The sound: track.mp3 from its first sample, exactly.
    const auto& track = reference_track("track.mp3");
    auto played = run.audio();
    size_t first = 0;
    while (first < track.size() && track[first] == 0) ++first;
    long start = find_frames(played, track, static_cast<long>(first / 2), 4096);
    ASSERT_GE(start, 0) << "the track's opening is not in the output";
    long compare = std::min<long>(44100, static_cast<long>(played.size() / 2) - start);
    ASSERT_GT(compare, 22050);
    EXPECT_TRUE(std::equal(played.begin() + start * 2, played.begin() + (start + compare) * 2,
                           track.begin() + (first / 2) * 2));

    EXPECT_EQ(run.quit_with_escape(window), 0);
    EXPECT_EQ(run.output().find("Mesa: User error"), std::string::npos) << run.output();
}

TEST(EndToEnd, YesOnA640x480DisplayRunsFullScreen) {
    DemoRun run(640, 480);
    ASSERT_TRUE(run.ok());
    run.launch();
    unsigned long window = run.start(true);
    ASSERT_NE(window, 0u) << run.output();
    x11::Geometry g = x11::geometry(run.display(), window);
    EXPECT_EQ(g.x, 0);
    EXPECT_EQ(g.y, 0);
    EXPECT_EQ(g.width, 640);
    EXPECT_EQ(g.height, 480);
    EXPECT_FALSE(x11::window_exists(run.display(), "Kivo GL"));
    EXPECT_EQ(run.quit_with_escape(window), 0);
}

TEST(EndToEnd, ARefusedFullScreenOffersWindowedAndClosingExitsZero) {
    DemoRun run(1024, 768);
    ASSERT_TRUE(run.ok());
    run.launch();
    ASSERT_TRUE(x11::answer_box(run.display(), "Start FullScreen?", true, 15000ms));
    ASSERT_TRUE(x11::answer_box(run.display(), "Kivo GL", true, 15000ms)) << run.output();
    unsigned long window = run.wait_window("glow of the snow");
    ASSERT_NE(window, 0u);
    EXPECT_EQ(x11::geometry(run.display(), window).width, 640);
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(x11::request_close(run.display(), window));
    EXPECT_EQ(run.wait_exit(), 0);

    // Refusing the windowed fallback ends the program with a failure.
    DemoRun refused(1024, 768);
    refused.launch();
    ASSERT_TRUE(x11::answer_box(refused.display(), "Start FullScreen?", true, 15000ms));
    ASSERT_TRUE(x11::answer_box(refused.display(), "Kivo GL", false, 15000ms));
    ASSERT_TRUE(x11::answer_box(refused.display(), "ERROR", true, 15000ms));
    EXPECT_EQ(refused.wait_exit(), 1);
}

TEST(EndToEnd, WithoutADisplayItSaysWhyAndExitsOne) {
    DemoRun run(640, 480);
    ASSERT_TRUE(run.ok());
    run.launch({{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
    EXPECT_EQ(run.wait_exit(), 1);
    EXPECT_NE(run.output().find("No display could be opened (DISPLAY is not set"),
              std::string::npos)
        << run.output();
    EXPECT_NE(run.output().find("ERROR: Window Creation Error."), std::string::npos);
    EXPECT_EQ(run.output().find("Start FullScreen?"), std::string::npos);  // nothing was asked
}

TEST(EndToEnd, RightAndLeftSeekTheMusicAndTheScroller) {
    DemoRun run(1024, 768);
    ASSERT_TRUE(run.ok());
    run.launch();
    unsigned long window = run.start(false);
    ASSERT_NE(window, 0u);
    run.focus(window);
    const auto& track = reference_track("track.mp3");
    std::this_thread::sleep_for(1000ms);
    long before = run.track_position_ms(track);
    ASSERT_GE(before, 0);
    ASSERT_LT(before, 3000);

    auto held_at = std::chrono::steady_clock::now();
    run.hold({"Right"}, 500ms);
    std::this_thread::sleep_for(300ms);
    long elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - held_at).count();
    long after = run.track_position_ms(track);
    // Several frames each jumped 400 ms ahead, on top of normal playing.
    EXPECT_GT(after, before + elapsed + 1200) << before << " -> " << after;
    // The scroller jumped as far: the message now reaches the left part of the bar.
    Picture ahead = run.screenshot(window, "ahead");
    int red = leftmost_red(ahead);
    EXPECT_GE(red, 0);
    EXPECT_LT(red, 200);

    // Left held long enough goes back to the start of the track; the message starts over.
    run.hold({"Left"}, 1500ms);
    std::this_thread::sleep_for(200ms);  // past the last jump
    long back = run.track_position_ms(track);
    EXPECT_GE(back, 0);
    EXPECT_LT(back, 900);
    Picture restarted = run.screenshot(window, "back");
    int red_after = leftmost_red(restarted);
    EXPECT_TRUE(red_after == -1 || red_after > 500) << red_after;
    EXPECT_EQ(run.quit_with_escape(window), 0);
}

TEST(EndToEnd, UpRestartsThenChangesTheTrack) {
    DemoRun run(1024, 768);
    ASSERT_TRUE(run.ok());
    run.launch();
    unsigned long window = run.start(false);
    ASSERT_NE(window, 0u);
    run.focus(window);
    const auto& first = reference_track("track.mp3");
    const auto& second = reference_track("track2.mp3");
    std::this_thread::sleep_for(2500ms);
    ASSERT_GT(run.track_position_ms(first), 1500);

    // Each idle turn with Up down changes the track once: the first change restarts the
    // first slot, the next ones play the second track's slots. A short hold spans a few turns.
    bool changed = false;
    for (int attempt = 0; attempt < 3 && !changed; ++attempt) {
        run.hold({"Up"}, 40ms);
        std::this_thread::sleep_for(400ms);
        long on_first = run.track_position_ms(first);
        long on_second = run.track_position_ms(second);
        ASSERT_TRUE((on_first >= 0 && on_first < 1000) || (on_second >= 0 && on_second < 1000))
            << on_first << " " << on_second;
        changed = on_second >= 0;
    }
    EXPECT_TRUE(changed);
    EXPECT_EQ(run.quit_with_escape(window), 0);
}

TEST(EndToEnd, LTogglesLighting) {
    DemoRun run(1024, 768);
    ASSERT_TRUE(run.ok());
    run.launch();
    unsigned long window = run.start(false);
    ASSERT_NE(window, 0u);
    run.focus(window);
    std::this_thread::sleep_for(800ms);
    double unlit = mean_brightness(run.screenshot(window, "unlit"), 60, 420);
    run.hold({"l"}, 100ms);
    std::this_thread::sleep_for(300ms);
    double lit = mean_brightness(run.screenshot(window, "lit"), 60, 420);
    // The default lighting without lights leaves 0.2 x 0.2 of every colour.
    EXPECT_LT(lit, unlit / 3) << unlit << " -> " << lit;
    run.hold({"l"}, 100ms);
    std::this_thread::sleep_for(300ms);
    double again = mean_brightness(run.screenshot(window, "unlit2"), 60, 420);
    EXPECT_GT(again, lit * 3);
    EXPECT_EQ(run.quit_with_escape(window), 0);
}

TEST(EndToEnd, F1RecreatesTheWindowInTheOtherModeWithEverythingReloaded) {
    DemoRun run(640, 480);
    ASSERT_TRUE(run.ok());
    run.launch();
    unsigned long window = run.start(false);
    ASSERT_NE(window, 0u);
    run.focus(window);
    std::this_thread::sleep_for(2000ms);
    double before = mean_brightness(run.screenshot(window, "first"), 60, 420);

    run.tap("F1");
    unsigned long second = run.wait_window(kSecondTitle);
    ASSERT_NE(second, 0u) << run.output();
    EXPECT_FALSE(x11::window_exists(run.display(), "glow of the snow"));
    run.focus(second);
    std::this_thread::sleep_for(600ms);
    // The music starts over with the new window, and the picture is drawn with all its
    // textures and meshes again.
    long position = run.track_position_ms(reference_track("track.mp3"));
    EXPECT_GE(position, 0);
    EXPECT_LT(position, 1500);
    double after = mean_brightness(run.screenshot(second, "recreated"), 60, 420);
    EXPECT_GT(after, before / 3);
    EXPECT_GT(after, 5.0);

    // And back again: each re-creation switches the mode.
    run.tap("F1");
    std::this_thread::sleep_for(1000ms);
    unsigned long third = run.wait_window(kSecondTitle);
    ASSERT_NE(third, 0u);
    EXPECT_TRUE(run.running());
    EXPECT_EQ(run.quit_with_escape(third), 0);
    EXPECT_EQ(run.output().find("Mesa: User error"), std::string::npos) << run.output();
}

}  // namespace
