// Capture speed as a multiple of real time (seconds of video made per second of work), at
// 640x480 and with --scale 3, both at 60 fps to H.264 + AAC, with one render process and with
// one per core; the CPU seconds a second of video takes, and how they divide into rendering,
// reading back, converting and encoding.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "capture/capture.h"
#include "capture/options.h"

namespace {

void BM_Capture(benchmark::State& state) {
    CaptureOptions options;
    std::string out = "/tmp/glow-capture-bench-" + std::to_string(getpid()) + ".mp4";
    std::string error;
    std::string scale = std::to_string(state.range(0));
    std::string jobs = state.range(1) ? std::to_string(state.range(1)) : "";
    std::vector<std::string> args = {"glow-capture", "--quiet", "--seconds", "4", "--from",
                                     "20000",        "--scale", scale,       out};
    if (!jobs.empty()) args.insert(args.begin() + 1, {"--jobs", jobs});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    if (parse_options(static_cast<int>(argv.size()), argv.data(), &options, &error) != 0)
        return state.SkipWithError(error.c_str());
    std::atomic<bool> stop{false};
    CaptureStats stats, sum;
    for (auto _ : state) {
        if (run_capture(options, stop, &stats, &error) != 0)
            return state.SkipWithError(error.c_str());
        state.SetIterationTime(stats.wall_s);
        sum.wall_s += stats.wall_s;
        sum.render_s += stats.render_s;
        sum.read_s += stats.read_s;
        sum.convert_s += stats.convert_s;
        sum.encode_s += stats.encode_s;
        sum.frames_done += stats.frames_done;
    }
    remove(out.c_str());
    double work = sum.render_s + sum.read_s + sum.convert_s + sum.encode_s;
    state.counters["x_real_time"] = sum.frames_done / 60.0 / sum.wall_s;
    state.counters["cpu_s_per_s"] = work / (sum.frames_done / 60.0);
    state.counters["jobs"] = options.jobs;
    state.counters["render%"] = 100 * sum.render_s / work;
    state.counters["read%"] = 100 * sum.read_s / work;
    state.counters["convert%"] = 100 * sum.convert_s / work;
    state.counters["encode%"] = 100 * sum.encode_s / work;
}
// {scale, jobs (0: one per core)}
BENCHMARK(BM_Capture)
    ->Args({1, 1})
    ->Args({1, 0})
    ->Args({3, 1})
    ->Args({3, 0})
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
