// Benchmarks of the music: a track change (read the whole track, open and scan it, start it)
// against reading the file alone, in the same run; the CPU share of playback, both as fast as
// the mix is taken and in real time; and the decoder's cost on a 48 kHz file, which is
// resampled, beside the same music at 44.1 kHz.
#include "audio/music.h"

#include "platform/sound/mp3_decoder.h"
#include "platform/sound/sound.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

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

// Closes the current stream, reads track.mp3 (playlist slot 0), opens and scans it, starts it:
// a track change, as the Up key makes one.
void BM_TrackChange(benchmark::State& state) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    sound_set_output(SOUND_OUTPUT_DEFAULT);
    sound_init(44100, 32, 0);
    for (auto _ : state) {
        track_index = 0;
        next_track();
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

// Five seconds of real-time playback on SDL's dummy driver, which takes a buffer every 23 ms
// as a sound card does: what the mixing, the clock thread and the device's watch cost while
// the music plays, waiting included.
void realtime_cost() {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    sound_set_output(SOUND_OUTPUT_DEFAULT);
    sound_init(44100, 32, 0);
    SoundStream* s = sound_stream_open(kTrack, SOUND_MPEGACCURATE, 0, 0);
    int channel = sound_stream_play_ex(SOUND_FREE, s, nullptr, 1);
    double cpu0 = cpu_seconds();
    auto wall0 = std::chrono::steady_clock::now();
    sound_set_paused(channel, 0);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    double cpu = cpu_seconds() - cpu0;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    sound_shutdown();
    std::printf("real-time playback (dummy driver): %.3f s CPU over %.2f s: %.2f%% of one core\n",
                cpu, wall, 100.0 * cpu / wall);
}

double thread_cpu_seconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

std::vector<unsigned char> file_bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

// The CPU time of opening (with the scan) and decoding a whole file at 44.1 kHz, over the
// seconds of music in it; the best of three runs.
double decode_share(const std::string& path) {
    std::vector<unsigned char> bytes = file_bytes(path);
    std::vector<int16_t> buffer(2 * 1024);
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        double cpu0 = thread_cpu_seconds();
        Mp3Decoder decoder;
        if (!decoder.open(bytes.data(), bytes.size(), 44100, true)) return -1;
        while (!decoder.at_end() && decoder.read(buffer.data(), 1024) > 0) {
        }
        best = std::min(best, (thread_cpu_seconds() - cpu0) / (decoder.length() / 44100.0));
    }
    return best;
}

// The first minute of the track, decoded, then encoded at 44.1 and at 48 kHz by lame at the
// same bitrate (sox converts the rate): the same music, with and without resampling at play.
void decode_cost() {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("music_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string wav = (dir / "minute.wav").string(), wav48 = (dir / "minute48.wav").string();
    std::string mp3 = (dir / "minute.mp3").string(), mp3_48 = (dir / "minute48.mp3").string();
    {
        std::vector<unsigned char> bytes = file_bytes(kTrack);
        Mp3Decoder decoder;
        std::vector<int16_t> pcm(2 * 60 * 44100);
        if (!decoder.open(bytes.data(), bytes.size(), 44100, true)) std::abort();
        pcm.resize(2 * static_cast<size_t>(decoder.read(pcm.data(), 60 * 44100)));
        std::ofstream f(wav, std::ios::binary);
        auto put = [&](uint32_t v, int n) {
            for (int i = 0; i < n; ++i) f.put(static_cast<char>(v >> (8 * i)));
        };
        uint32_t data = static_cast<uint32_t>(pcm.size() * 2);
        f.write("RIFF", 4), put(36 + data, 4), f.write("WAVEfmt ", 8), put(16, 4), put(1, 2);
        put(2, 2), put(44100, 4), put(44100 * 4, 4), put(4, 2), put(16, 2), f.write("data", 4);
        put(data, 4);
        f.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(data));
    }
    std::string make = "sox \"" + wav + "\" -r 48000 \"" + wav48 + "\" && lame --quiet -b 192 \"" +
                       wav + "\" \"" + mp3 + "\" && lame --quiet -b 192 \"" + wav48 + "\" \"" +
                       mp3_48 + "\"";
    if (std::system(make.c_str()) != 0) {
        std::printf("decoding: sox or lame failed, skipped\n");
    } else {
        double at44 = decode_share(mp3), at48 = decode_share(mp3_48);
        std::printf("decoding (open, scan, decode to 44.1 kHz stereo): 44.1 kHz file %.2f%% of one "
                    "core in real time, 48 kHz file %.2f%% (%.2fx)\n",
                    100 * at44, 100 * at48, at48 / at44);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
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
    realtime_cost();
    decode_cost();
    benchmark::Shutdown();
    return 0;
}
