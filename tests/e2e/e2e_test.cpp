// The real glow binary as a viewer uses it, under a private Xvfb: the start box both ways, the
// picture, the sound, the keys, the re-creation on F1, and the ways it ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/e2e/demo_run.h"

using namespace std::chrono_literals;

namespace {

const char kSecondTitle[] = "Kivo's Textures, Lighting & Keyboard Tutorial";

TEST(EndToEnd, WindowedRunShowsBarsSceneScrollerAndPlaysTheTrack) {
    DemoRun run(1024, 768);
    unsigned long window = run.open_window();
    ASSERT_NE(window, 0u) << run.output();
    x11::Geometry g = x11::geometry(run.display(), window);
    EXPECT_EQ(g.x, 0);
    EXPECT_EQ(g.y, 0);
    EXPECT_EQ(g.width, 640);
    EXPECT_EQ(g.height, 480);

    // A frame with the scene drawn and the message's first letters come in from the right.
    Picture shot = run.screenshot_when(
        window, "windowed", [](const Picture& p) { return scene_drawn(p) && leftmost_red(p) >= 0; });
    long played_ms = run.audio_ms();
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
    // The message starts at x = 700 - clock / 7. The frame shown was drawn at a clock no later
    // than the sound written by now (plus the buffer being played), so its letters are no
    // further left than that clock puts them.
    int red = leftmost_red(shot);
    EXPECT_GE(red, 700 - (played_ms + 50) / 7 - 1) << "after " << played_ms << " ms of sound";

    // The sound: a second of track.mp3, exactly, in whole device buffers (1024 frames), each
    // found in the track after the one before. A device that falls behind on a loaded machine
    // goes on at the music clock, so a buffer may start later in the track than the last one
    // ended, never earlier.
    const auto& track = reference_track("track.mp3");
    long first_at = -1, end = -1;
    ASSERT_TRUE(wait_until([&] {
        end = buffers_in_order(run.audio(), track, 1024, &first_at);
        return end < 0 || end - first_at >= 44100;
    }));
    EXPECT_GE(end, first_at + 44100) << "the sound is not the track, in order";

    EXPECT_EQ(run.quit_with_escape(window), 0);
    EXPECT_EQ(run.output().find("Mesa: User error"), std::string::npos) << run.output();
}

TEST(EndToEnd, YesOnA640x480DisplayRunsFullScreen) {
    DemoRun run(640, 480);
    unsigned long window = run.open_window(true);
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
    ASSERT_TRUE(x11::answer_box(run.display(), "Start FullScreen?", true, kPatience));
    ASSERT_TRUE(x11::answer_box(run.display(), "Kivo GL", true, kPatience)) << run.output();
    unsigned long window = run.wait_window("glow of the snow");
    ASSERT_NE(window, 0u);
    EXPECT_EQ(x11::geometry(run.display(), window).width, 640);
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(x11::request_close(run.display(), window));
    EXPECT_EQ(run.wait_exit(), 0);

    // Refusing the windowed fallback ends the program with a failure.
    DemoRun refused(1024, 768);
    refused.launch();
    ASSERT_TRUE(x11::answer_box(refused.display(), "Start FullScreen?", true, kPatience));
    ASSERT_TRUE(x11::answer_box(refused.display(), "Kivo GL", false, kPatience));
    ASSERT_TRUE(x11::answer_box(refused.display(), "ERROR", true, kPatience));
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
    unsigned long window = run.open_window();
    ASSERT_NE(window, 0u) << run.output();
    const auto& track = reference_track("track.mp3");
    long before = -1;
    ASSERT_TRUE(wait_until([&] { return (before = run.track_position_ms(track)) >= 0; }));

    // Held, Right jumps 400 ms ahead in every frame, on top of normal playing; the scroller
    // jumps as far, until the message reaches the left part of the bar. The key stays down
    // until both show, however long the frames take.
    auto held_at = std::chrono::steady_clock::now();
    run.key_down({"Right"});
    long after = -1;
    bool jumped = wait_until([&] {
        after = run.track_position_ms(track);
        return after > before + ms_since(held_at) + 1200;
    });
    Picture ahead = run.screenshot_when(window, "ahead", [](const Picture& p) {
        int red = leftmost_red(p);
        return red >= 0 && red < 200;
    });
    run.key_up({"Right"});
    EXPECT_TRUE(jumped) << before << " -> " << after;
    int red = leftmost_red(ahead);
    EXPECT_GE(red, 0);
    EXPECT_LT(red, 200);

    // Held, Left goes back to the start of the track: the message starts over from the right.
    auto left_at = std::chrono::steady_clock::now();
    run.key_down({"Left"});
    Picture restarted = run.screenshot_when(window, "back", [](const Picture& p) {
        int red = leftmost_red(p);
        return scene_drawn(p) && (red == -1 || red > 500);
    });
    run.key_up({"Left"});
    int red_after = leftmost_red(restarted);
    EXPECT_TRUE(red_after == -1 || red_after > 500) << red_after;
    // That frame's clock was under 1400 ms (x = 700 - clock / 7 > 500), drawn after Left went
    // down; since then the music has at most played on.
    long back = -1;
    ASSERT_TRUE(wait_until([&] { return (back = run.track_position_ms(track)) >= 0; }));
    EXPECT_LE(back, 1400 + ms_since(left_at) + 50);
    EXPECT_EQ(run.quit_with_escape(window), 0);
}

TEST(EndToEnd, UpRestartsThenChangesTheTrack) {
    DemoRun run(1024, 768);
    unsigned long window = run.open_window();
    ASSERT_NE(window, 0u) << run.output();
    const auto& first = reference_track("track.mp3");
    const auto& second = reference_track("track2.mp3");
    long before = -1;
    ASSERT_TRUE(wait_until([&] { return (before = run.track_position_ms(first)) > 1500; }));

    // Each idle turn with Up down changes the track once: the first change restarts the
    // first slot, the next ones play the second track's slots. A short tap spans a few turns,
    // or none when it falls inside one frame; then it is tapped again. After a change the
    // music is no further on than the time since the first tap.
    auto first_tap = std::chrono::steady_clock::now();
    bool changed = false;
    for (int attempt = 0; attempt < 10 && !changed; ++attempt) {
        run.hold({"Up"}, 40ms);
        long on_first = -1, on_second = -1;
        ASSERT_TRUE(wait_until([&] {
            on_first = run.track_position_ms(first);
            on_second = run.track_position_ms(second);
            return on_first >= 0 || on_second >= 0;
        })) << "tap " << attempt << ": neither track plays, after " << run.audio_ms()
            << " ms of sound\n" << run.output();
        long bound = ms_since(first_tap) + 50;
        if (on_second >= 0) {
            EXPECT_LE(on_second, bound);
            changed = true;
        } else if (on_first < before) {
            EXPECT_LE(on_first, bound);  // the first slot started over
        }
        before = on_first >= 0 ? on_first : before;
    }
    EXPECT_TRUE(changed);
    EXPECT_EQ(run.quit_with_escape(window), 0);
}

TEST(EndToEnd, LTogglesLighting) {
    DemoRun run(1024, 768);
    unsigned long window = run.open_window();
    ASSERT_NE(window, 0u) << run.output();
    double unlit = mean_brightness(run.screenshot_when(window, "unlit", scene_drawn), 60, 420);
    ASSERT_GT(unlit, 5.0);
    // The default lighting without lights leaves 0.2 x 0.2 of every colour. L acts once per
    // press, however long it is held.
    double lit = 0;
    run.key_down({"l"});
    run.screenshot_when(window, "lit", [&](const Picture& p) {
        return (lit = mean_brightness(p, 60, 420)) < unlit / 3;
    });
    run.key_up({"l"});
    EXPECT_LT(lit, unlit / 3) << unlit << " -> " << lit;
    // The demo takes the next press only after a frame has seen the key up.
    EXPECT_TRUE(run.wait_new_frames(window, 2));
    double again = 0;
    run.key_down({"l"});
    run.screenshot_when(window, "unlit2", [&](const Picture& p) {
        return (again = mean_brightness(p, 60, 420)) > lit * 3;
    });
    run.key_up({"l"});
    EXPECT_GT(again, lit * 3);
    EXPECT_EQ(run.quit_with_escape(window), 0);
}

TEST(EndToEnd, F1RecreatesTheWindowInTheOtherModeWithEverythingReloaded) {
    DemoRun run(640, 480);
    unsigned long window = run.open_window();
    ASSERT_NE(window, 0u) << run.output();
    double before = mean_brightness(run.screenshot_when(window, "first", scene_drawn), 60, 420);
    ASSERT_GT(before, 5.0);

    // F1 is held until the new window is there: the demo acts on it once.
    auto pressed_at = std::chrono::steady_clock::now();
    run.key_down({"F1"});
    unsigned long second = run.wait_window(kSecondTitle);
    run.key_up({"F1"});
    ASSERT_NE(second, 0u) << run.output();
    EXPECT_FALSE(x11::window_exists(run.display(), "glow of the snow"));
    run.focus(second);
    // The music starts over with the new window: it has played at most since F1 went down.
    long position = -1;
    ASSERT_TRUE(wait_until(
        [&] { return (position = run.track_position_ms(reference_track("track.mp3"))) >= 0; }));
    EXPECT_LE(position, ms_since(pressed_at) + 50);
    // And the picture is drawn with all its textures and meshes again.
    double after = 0;
    run.screenshot_when(second, "recreated", [&](const Picture& p) {
        return (after = mean_brightness(p, 60, 420)) > before / 3 && after > 5.0;
    });
    EXPECT_GT(after, before / 3);
    EXPECT_GT(after, 5.0);

    // And back again: each re-creation switches the mode.
    run.key_down({"F1"});
    unsigned long third = run.wait_window(kSecondTitle, kPatience, second);
    run.key_up({"F1"});
    ASSERT_NE(third, 0u);
    EXPECT_TRUE(run.running());
    EXPECT_EQ(run.quit_with_escape(third), 0);
    EXPECT_EQ(run.output().find("Mesa: User error"), std::string::npos) << run.output();
}

}  // namespace
