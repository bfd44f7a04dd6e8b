// Replaying committed inputs through a fuzz target's entry point (see replay.h).
#include "tests/fuzz_regressions/replay.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

std::vector<std::string> fuzz_inputs(const std::string& target) {
    std::vector<std::string> paths;
    for (const fs::path& dir : {fs::path(GLOW_SOURCE_DIR) / "fuzz" / "corpus" / target,
                                fs::path(GLOW_SOURCE_DIR) / "tests" / "fuzz_regressions" / target}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(dir, error))
            if (entry.is_regular_file()) paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string regression_input(const std::string& target, const std::string& name) {
    return (fs::path(GLOW_SOURCE_DIR) / "tests" / "fuzz_regressions" / target / name).string();
}

std::string read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t replay_all(const std::string& target) {
    const std::vector<std::string> paths = fuzz_inputs(target);
    for (const std::string& path : paths) {
        const std::string bytes = read_bytes(path);
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    return paths.size();
}
