// One frame, two platforms: the demo's frame for a few fixed music clocks, drawn by the Windows
// build (frameshot.exe under Wine: a hidden WGL window, read back from the back buffer before
// any swap) and by the Linux build (frameshot on the EGL offscreen context), compared pixel by
// pixel. Both run Mesa's llvmpipe and do their float arithmetic in SSE, and the camera's eye
// comes out bit-identical; but gluLookAt is Wine's glu32 on Windows and Mesa's libGLU on Linux,
// whose matrices differ in the last bits (the projection does not), and that moves a handful of
// edge pixels by 1/255. Hence the bound: at most 1/255 on at most 0.1% of the pixels.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/media.h"
#include "tests/support/x11_session.h"
#include "tests/windows/wine_target.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kClocks = {"0", "4500", "21000", "97000"};

// Runs one frameshot for every clock, writing <prefix><clock>.png into dir.
int render(const std::vector<std::string>& program, const std::string& dir,
           const std::string& prefix, const std::map<std::string, std::string>& env) {
    std::vector<std::string> argv = program;
    for (const std::string& clock : kClocks) {
        argv.push_back(clock);
        argv.push_back(dir + "/" + prefix + clock + ".png");
    }
    Child child(argv, GLOW_SOURCE_DIR, env, dir + "/" + prefix + "output.txt");
    return child.wait(600000ms);  // a hang, not a slow machine
}

TEST(TwoPlatforms, TheWindowsAndLinuxBuildsDrawTheSameFrame) {
    const WineTarget* target = wine_target();
    ASSERT_NE(target, nullptr);
    fs::path dir = fs::temp_directory_path() / ("glow-two-platforms-" + std::to_string(getpid()));
    fs::create_directories(dir);
    Xvfb xvfb(1024, 768);
    ASSERT_TRUE(xvfb.ok());
    ASSERT_EQ(render({target->loader, target->build + "/tests/demo/frameshot.exe"}, dir, "windows-",
                     {{"DISPLAY", xvfb.display()}, {"WINEDEBUG", "-all"},
                      {"WINELOADER", target->loader}}),
              0);
    ASSERT_EQ(render({GLOW_FRAMESHOT}, dir, "linux-", {}), 0);

    for (const std::string& clock : kClocks) {
        Picture windows = read_png(dir / ("windows-" + clock + ".png"));
        Picture linux = read_png(dir / ("linux-" + clock + ".png"));
        ASSERT_TRUE(windows.ok() && linux.ok()) << clock;
        ASSERT_EQ(windows.width, linux.width);
        ASSERT_EQ(windows.height, linux.height);
        size_t differing = 0;
        int largest = 0;
        for (size_t i = 0; i < windows.rgb.size(); i += 3) {
            int d = 0;
            for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(windows.rgb[i + c] - linux.rgb[i + c]));
            differing += d > 0;
            largest = std::max(largest, d);
        }
        EXPECT_LE(largest, 1) << "clock " << clock;
        EXPECT_LE(differing, windows.rgb.size() / 3 / 1000) << "clock " << clock;
        std::printf("clock %5s ms: %zu pixels differ, by at most %d\n", clock.c_str(), differing,
                    largest);
        // A black frame would agree trivially.
        double sum = 0;
        for (uint8_t v : linux.rgb) sum += v;
        EXPECT_GT(sum / linux.rgb.size(), 2.0) << "clock " << clock;
    }
    fs::remove_all(dir);
}

}  // namespace
