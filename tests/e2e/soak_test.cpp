// Five minutes of the real demo (`make soak`, not part of `make test`): the viewer keeps using
// every control while the process's resident memory is sampled; it must not grow. Resident
// memory swings by a few MB from moment to moment (the renderer's buffers come and go), so
// the first minute after settling is compared with the last by their medians.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/e2e/demo_run.h"

using namespace std::chrono_literals;

TEST(Soak, FiveMinutesOfUseWithoutGrowth) {
    const char* env = getenv("GLOW_SOAK_SECONDS");
    const int seconds = env ? atoi(env) : 300;
    DemoRun run(640, 480);
    unsigned long window = run.open_window();
    ASSERT_NE(window, 0u) << run.output();
    const char* second_title = "Kivo's Textures, Lighting & Keyboard Tutorial";

    auto started = std::chrono::steady_clock::now();
    std::vector<std::pair<double, long>> samples;  // seconds, kB
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
        long rss = run.rss_kb();
        ASSERT_GT(rss, 0) << "the demo ended";
        double at = std::chrono::duration<double>(elapsed).count();
        samples.emplace_back(at, rss);
        if (round % 12 == 0) printf("%5.0fs  resident %ld kB\n", at, rss);
    }
    double end = samples.back().first;
    auto median_between = [&](double from, double to) {
        std::vector<long> v;
        for (auto& [at, rss] : samples)
            if (at >= from && at < to) v.push_back(rss);
        std::sort(v.begin(), v.end());
        return v.empty() ? -1L : v[v.size() / 2];
    };
    long first = median_between(30, 90), last = median_between(end - 60, end + 1);
    long peak = 0;
    for (auto& sample : samples) peak = std::max(peak, sample.second);
    printf("median resident memory: %ld kB in the first settled minute, %ld kB in the last "
           "(%+ld kB); peak %ld kB\n", first, last, last - first, peak);
    ASSERT_GT(first, 0);
    EXPECT_LT(last - first, 4 * 1024);
    EXPECT_EQ(run.output().find("Mesa: User error"), std::string::npos);
    EXPECT_EQ(run.quit_with_escape(window), 0);
}
