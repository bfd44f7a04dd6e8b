// Finding data/: the current folder, then the program's own, then the one above it, on scratch
// folders; and the real glow started in a folder without data/, which finds the checkout's
// beside its build folder and draws the scene.
#include "platform/datadir/datadir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "tests/e2e/demo_run.h"

namespace fs = std::filesystem;

namespace {

TEST(DataDir, TheCurrentFolderThenBesideTheProgramThenAboveIt) {
    char pattern[] = "/tmp/glow-datadir-XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    const std::string root = pattern, here = root + "/here", top = root + "/checkout",
                      build = top + "/build";
    fs::create_directories(here);
    fs::create_directories(build);
    const std::vector<std::string> places = data_dir_places(here, build + "/glow");
    EXPECT_EQ(places, (std::vector<std::string>{here, build, top}));
    // Each place once; without the program's path, the current folder alone.
    EXPECT_EQ(data_dir_places(build, build + "/glow"), (std::vector<std::string>{build, top}));
    EXPECT_EQ(data_dir_places(here, ""), std::vector<std::string>{here});

    // A file named data is not the folder; a data/ folder in a place wins over the later ones.
    std::ofstream(here + "/data") << "not a folder";
    EXPECT_EQ(find_data_dir(places), "");
    for (const std::string& place : {top, build, here}) {
        fs::remove(place + "/data");
        fs::create_directory(place + "/data");
        EXPECT_EQ(find_data_dir(places), place);
    }
    fs::remove_all(root);
}

TEST(DataDir, GlowStartedWhereNoDataIsFindsTheCheckouts) {
    DemoRun run(640, 480);
    ASSERT_TRUE(run.ok());
    fs::remove_all(run.dir() + "/data");
    run.launch();
    const unsigned long window = run.start(false);
    ASSERT_NE(window, 0u) << run.output();
    // Without data/ the scene stays black: no meshes, no textures.
    EXPECT_TRUE(scene_drawn(run.screenshot_when(window, "found", scene_drawn))) << run.output();
    EXPECT_EQ(run.output().find("no data/"), std::string::npos) << run.output();
    EXPECT_EQ(run.quit_with_escape(window), 0);
}

}  // namespace
