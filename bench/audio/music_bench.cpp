// Benchmarks of the music: a track change (read the whole track, open and scan it, start it)
// against reading the file alone, in the same run; and the CPU share of real-time playback.
#include "audio/music.h"

#include "platform/sound/sound.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <thread>

namespace {

const char* const kTrack = "data/music/track.mp3";

// What play_track does to the file, and nothing more.
void read_whole_file(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (!f) std::abort();
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    char* block = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
    if (std::fread(block, static_cast<size_t>(size), 1, f) != 1) std::abort();
    std::fclose(f);
    benchmark::DoNotOptimize(block);
    std::free(block);
}

void BM_ReadTrackFile(benchmark::State& state) {
    for (auto _ : state) read_whole_file(kTrack);
}
BENCHMARK(BM_ReadTrackFile)->Unit(benchmark::kMillisecond);

// Closes the current stream, reads track.mp3, opens and scans it, starts it: a track change.
void BM_TrackChange(benchmark::State& state) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    sound_set_output(SOUND_OUTPUT_DEFAULT);
    sound_init(44100, 32, 0);
    for (auto _ : state) {
        play_track(kTrack);
        if (!music_stream) state.SkipWithError("track did not open");
    }
    sound_shutdown();
    music_stream = nullptr;
}
BENCHMARK(BM_TrackChange)->Unit(benchmark::kMillisecond);

// Seconds of real time per iteration, by benchmark name.
class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.iterations > 0) seconds[r.benchmark_name()] = r.real_accumulated_time / r.iterations;
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

double cpu_seconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Plays the whole track through SDL's disk driver into /dev/null as fast as it will go: the
// process CPU time over the seconds of audio is what real-time playback costs one core.
void playback_cost() {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    sound_set_output(SOUND_OUTPUT_DEFAULT);
    sound_init(44100, 32, 0);
    SoundStream* s = sound_stream_open(kTrack, SOUND_MPEGACCURATE, 0, 0);
    int length = sound_stream_get_length_ms(s);
    int channel = sound_stream_play_ex(SOUND_FREE, s, nullptr, 1);
    double cpu0 = cpu_seconds();
    auto wall0 = std::chrono::steady_clock::now();
    sound_set_paused(channel, 0);
    while (sound_stream_get_time(s) < length) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    double cpu = cpu_seconds() - cpu0;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    sound_shutdown();
    double audio = length / 1000.0;
    std::printf("playback: %.1f s of audio decoded and mixed in %.3f s CPU (%.3f s wall): "
                "%.2f%% of one core in real time\n",
                audio, cpu, wall, 100.0 * cpu / audio);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    auto read = collector.seconds.find("BM_ReadTrackFile"), change = collector.seconds.find("BM_TrackChange");
    if (read != collector.seconds.end() && change != collector.seconds.end()) {
        double ratio = change->second / read->second;
        std::printf("track change: %.3f ms, reading the file alone: %.3f ms, ratio %.2fx "
                    "(targets: at most 2x and 2 ms) %s\n",
                    change->second * 1e3, read->second * 1e3, ratio,
                    ratio <= 2.0 && change->second <= 0.002 ? "met" : "MISSED");
    }
    playback_cost();
    benchmark::Shutdown();
    return 0;
}
