// Five minutes of the real demo (`make soak`, not part of `make test`): the viewer keeps using
// every control while the process's resident memory is sampled; it must not grow.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "tests/e2e/demo_run.h"

using namespace std::chrono_literals;

TEST(Soak, FiveMinutesOfUseWithoutGrowth) {
    const char* env = getenv("GLOW_SOAK_SECONDS");
    const int seconds = env ? atoi(env) : 300;
    DemoRun run(640, 480);
    ASSERT_TRUE(run.ok());
    run.launch();
    unsigned long window = run.start(false);
    ASSERT_NE(window, 0u);
    run.focus(window);
    const char* second_title = "Kivo's Textures, Lighting & Keyboard Tutorial";

    auto started = std::chrono::steady_clock::now();
    long settled = -1, peak = 0, last = 0;
    for (int round = 0;; ++round) {
        auto elapsed = std::chrono::steady_clock::now() - started;
        if (elapsed > std::chrono::seconds(seconds)) break;
        switch (round % 6) {
            case 0: run.hold({"Right"}, 500ms); break;
            case 1: run.hold({"Left"}, 300ms); break;
            case 2: run.hold({"Up"}, 100ms); run.hold({"Down"}, 100ms); break;
            case 3: run.tap("l"); break;
            case 4:
                run.tap("F1");
                std::this_thread::sleep_for(500ms);
                window = run.wait_window(second_title);
                ASSERT_NE(window, 0u);
                run.focus(window);
                break;
            case 5: std::this_thread::sleep_for(2000ms); break;
        }
        last = run.rss_kb();
        ASSERT_GT(last, 0) << "the demo ended";
        if (settled < 0 && elapsed > std::chrono::seconds(30)) settled = last;
        if (settled >= 0) peak = std::max(peak, last);
        if (round % 12 == 0)
            printf("%4lds  resident %ld kB\n",
                   static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count()),
                   last);
    }
    printf("settled at %ld kB, peak %ld kB, last %ld kB\n", settled, peak, last);
    ASSERT_GT(settled, 0);
    EXPECT_LT(last - settled, 4 * 1024);
    EXPECT_EQ(run.output().find("Mesa: User error"), std::string::npos);
    EXPECT_EQ(run.quit_with_escape(window), 0);
}
