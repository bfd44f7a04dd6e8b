// glow-capture: renders the demo to a video file, an animated picture or PNG frames, frame by
// frame from a music clock it steps itself. Ctrl-C or SIGTERM ends the capture early and still
// completes the output with the frames made so far.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/mem.h>
}

#include "capture/capture.h"
#include "capture/options.h"
#include "platform/datadir/datadir.h"

namespace {

std::atomic<bool> stop_requested{false};
volatile sig_atomic_t stop_signal = 0;

void on_stop_signal(int signal) {
    stop_requested = true;
    stop_signal = signal;
    // A second Ctrl-C ends the program at once, leaving only the temporary file behind.
    std::signal(signal, SIG_DFL);
}

// The speed and where the CPU time went, unless quiet; and, quiet or not, that the track ended
// before the length asked for.
void print_closing_line(const CaptureOptions& options, const CaptureStats& stats) {
    if (options.quiet && !stats.track_ended) return;
    const double video_s = static_cast<double>(stats.frames_done) / options.fps;
    const double cpu = stats.render_s + stats.read_s + stats.convert_s + stats.encode_s;
    fprintf(stderr, "glow-capture: %d frames (%.1f s)", stats.frames_done, video_s);
    if (!options.quiet)
        fprintf(stderr,
                " in %.1f s, %.2fx real time; %.2f s of CPU a second of video: rendering %.0f%%, "
                "reading back %.0f%%, converting %.0f%%, encoding %.0f%%",
                stats.wall_s, video_s / stats.wall_s, cpu / video_s, 100 * stats.render_s / cpu,
                100 * stats.read_s / cpu, 100 * stats.convert_s / cpu, 100 * stats.encode_s / cpu);
    if (stats.track_ended)
        fprintf(stderr, "; stopped at the end of the track (%d ms), short of the %g s asked for",
                stats.track_ms, options.seconds);
    fputc('\n', stderr);
}

}  // namespace

int main(int argc, char** argv) {
    CaptureOptions options;
    std::string error;
    int status = parse_options(argc, argv, &options, &error);
    if (status < 0) return 0;
    if (status) {
        fprintf(stderr, "glow-capture: %s\n", error.c_str());
        return status;
    }
    if (options.crf == 0 && (options.kind == OutputKind::Mp4 || options.kind == OutputKind::Mkv))
        fprintf(stderr,
                "glow-capture: --crf 0 makes lossless H.264 (High 4:4:4 Predictive), which "
                "browsers and many players do not play\n");
    // For the tests: a block larger than GLOW_CAPTURE_MAX_ALLOC bytes from FFmpeg's allocator,
    // which the writers allocate all their buffers with, fails as if memory had run out.
    if (const char* limit = getenv("GLOW_CAPTURE_MAX_ALLOC"))
        av_max_alloc(strtoul(limit, nullptr, 10));
    // OUT from the folder the user started in, before the working directory moves to data/.
    if (options.out[0] != '/') {
        std::unique_ptr<char, decltype(&free)> here(getcwd(nullptr, 0), free);
        if (here) options.out = std::string(here.get()) + "/" + options.out;
    }
    enter_data_dir("glow-capture");
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    CaptureStats stats;
    status = run_capture(options, stop_requested, &stats, &error);
    if (status) {
        fprintf(stderr, "glow-capture: %s\n", error.c_str());
        return status;
    }
    if (stats.stopped && stats.frames_done == 0) {
        fprintf(stderr, "glow-capture: stopped before the first frame; nothing was written\n");
        return 128 + stop_signal;
    }
    if (stats.stopped) {
        fprintf(stderr, "glow-capture: stopped after %d of %d frames; %s holds them\n",
                stats.frames_done, stats.frames_total, options.out.c_str());
        return 128 + stop_signal;
    }
    print_closing_line(options, stats);
    return 0;
}
