// Dependencies between the program's folders point one way: the programs (app, capture) use
// demo and audio, demo uses mesh and audio, and everything may use platform. A file that
// includes from a folder its own folder may not use fails here, naming the line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::map<std::string, std::set<std::string>> kMayInclude = {
    {"app", {"app", "demo", "audio", "platform"}},
    {"capture", {"capture", "demo", "audio", "platform"}},
    {"demo", {"demo", "mesh", "audio", "platform"}},
    {"mesh", {"mesh", "platform"}},
    {"audio", {"audio", "platform"}},
    {"platform", {"platform"}},
};

TEST(Layering, NoFileIncludesFromAFolderAboveItsOwn) {
    const fs::path root = GLOW_SOURCE_DIR;
    const std::regex include(R"(^\s*#\s*include\s*"([^/"]+)/)");
    int files = 0;
    for (const auto& [folder, allowed] : kMayInclude) {
        if (!fs::exists(root / folder)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".h" && ext != ".cpp") continue;
            ++files;
            std::ifstream in(entry.path());
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                std::smatch m;
                if (std::regex_search(line, m, include) && kMayInclude.count(m[1]) &&
                    !allowed.count(m[1]))
                    ADD_FAILURE() << fs::relative(entry.path(), root).string() << ":" << number
                                  << " includes from " << m[1] << "/: " << line;
            }
        }
    }
    EXPECT_GT(files, 20);  // the tree was found
}

}  // namespace
