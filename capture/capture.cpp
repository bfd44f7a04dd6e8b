// The capture loop: worker processes render and read back the frames; this thread takes them in
// order with each frame's samples, and an encoding thread turns the bottom-up pixels into the
// output's picture and hands picture and samples to the writer.
#include "capture/capture.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/cpu_time.h"
#include "capture/progress.h"
#include "capture/render_workers.h"
#include "capture/renderer.h"
#include "capture/writer.h"
#include "demo/screen_size.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Frame {
    int64_t k = 0;
    const uint8_t* pixels = nullptr;  // BGRA, bottom row first, as read back
    std::vector<int16_t> samples;
    int sample_frames = 0;
};

// Frames between the two threads: `free` ones for the renderer, `full` ones for the encoder.
class FrameQueue {
public:
    explicit FrameQueue(int count) : frames_(count) {
        for (Frame& f : frames_) free_.push_back(&f);
    }
    Frame* take_free() { return take(&free_); }
    void give_free(Frame* f) { give(&free_, f); }
    Frame* take_full() { return take(&full_); }
    void give_full(Frame* f) { give(&full_, f); }
    // No more full frames will come; a take_full on an empty queue returns null.
    void close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

private:
    Frame* take(std::deque<Frame*>* from) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !from->empty() || (closed_ && from == &full_); });
        if (from->empty()) return nullptr;
        Frame* f = from->front();
        from->pop_front();
        return f;
    }
    void give(std::deque<Frame*>* to, Frame* f) {
        std::lock_guard<std::mutex> lock(mutex_);
        to->push_back(f);
        changed_.notify_all();
    }

    std::vector<Frame> frames_;
    std::deque<Frame*> free_, full_;
    bool closed_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
};

// Turns read-back pixels into a top-down picture, enlarged by whole pixels when scaling.
class Enlarger {
public:
    explicit Enlarger(int scale) : scale_(scale) {}

    Picture picture(const uint8_t* bottom_up) {
        const int w = screen_width, h = screen_height;
        const uint8_t* last_row = bottom_up + static_cast<size_t>(h - 1) * w * 4;
        if (scale_ == 1) return Picture{last_row, -static_cast<ptrdiff_t>(w) * 4, w, h};
        const int k = scale_, out_w = w * k;
        const size_t out_row = static_cast<size_t>(out_w) * 4;
        big_.resize(out_row * h * k);
        for (int y = 0; y < h; ++y) {
            const uint32_t* in =
                reinterpret_cast<const uint32_t*>(last_row - static_cast<size_t>(y) * w * 4);
            uint32_t* out = reinterpret_cast<uint32_t*>(big_.data() + out_row * y * k);
            for (int x = 0; x < w; ++x)
                for (int i = 0; i < k; ++i) *out++ = in[x];
            for (int i = 1; i < k; ++i)
                memcpy(big_.data() + out_row * (y * k + i), big_.data() + out_row * y * k, out_row);
        }
        return Picture{big_.data(), static_cast<ptrdiff_t>(out_row), out_w, h * k};
    }

private:
    int scale_;
    std::vector<uint8_t> big_;
};

}  // namespace

int run_capture(const CaptureOptions& options, const std::atomic<bool>& stop, CaptureStats* stats,
                std::string* error) {
    const Clock::time_point started = Clock::now();
    *stats = CaptureStats{};
    // The music first, then the renderers, then the output: a missing data/, no GL or a bad
    // start leave no output behind.
    int length_ms = 0;
    if (int status = start_music_track(options, &length_ms, error)) return status;
    const int fps = options.fps;
    int64_t total = options.seconds > 0
                        ? static_cast<int64_t>(options.seconds * fps + 0.5)
                        : (static_cast<int64_t>(length_ms - options.from_ms) * fps + 999) / 1000;
    if (total < 1) total = 1;
    stats->frames_total = static_cast<int>(total);

    const int jobs = static_cast<int>(std::min<int64_t>(options.jobs, total));
    RenderWorkers workers;
    if (!workers.start(options, jobs, total, error)) return 1;
    std::unique_ptr<Writer> writer = make_writer(options);
    if (!writer->open()) {
        *error = writer->error();
        writer->abandon();
        return 1;
    }

    FrameQueue queue(2 * jobs);
    std::atomic<bool> writer_failed{false};
    double convert_s = 0;
    const double cpu_at_start = process_cpu_s();
    int written = 0;
    std::thread encoder([&] {
        // PNG frames are enlarged here, exactly; the encoders' converter enlarges by whole
        // pixels itself in the same pass as the colour conversion, at a tenth of the cost.
        Enlarger enlarger(options.kind == OutputKind::PngFrames ? options.scale : 1);
        while (Frame* f = queue.take_full()) {
            if (!writer_failed) {
                double t0 = thread_cpu_s();
                Picture picture = enlarger.picture(f->pixels);
                convert_s += thread_cpu_s() - t0;
                bool ok = writer->add_picture(picture) &&
                          writer->add_samples(f->samples.data(), f->sample_frames);
                if (ok)
                    ++written;
                else
                    writer_failed = true;
            }
            workers.release(f->k);
            queue.give_free(f);
        }
    });

    Progress progress(stats->frames_total, options.quiet);
    std::string render_error;
    int64_t k = 0;
    for (; k < total && !stop && !writer_failed; ++k) {
        Frame* f = queue.take_free();
        f->k = k;
        f->pixels = workers.wait_frame(k, &render_error);
        if (!f->pixels) {
            queue.give_free(f);
            break;
        }
        f->sample_frames =
            static_cast<int>(frame_start_sample(k + 1, fps) - frame_start_sample(k, fps));
        f->samples.resize(static_cast<size_t>(f->sample_frames) * 2);
        take_samples(f->samples.data(), f->sample_frames);
        queue.give_full(f);
        progress.update(static_cast<int>(k + 1));
    }
    queue.close();
    encoder.join();
    workers.stop();
    stats->stopped = k < total && !writer_failed && render_error.empty();

    // Stopped before a single frame: an empty video is no file to keep.
    const bool empty = stats->stopped && written == 0;
    if (empty) writer->abandon();
    bool ok = !writer_failed && render_error.empty() && (empty || writer->finish());
    stats->frames_done = written;
    stats->render_s = workers.render_s();
    stats->read_s = workers.read_s();
    stats->convert_s = convert_s + writer->converting_s();
    // This process does little else than encode: the mix and the frame hand-over are small.
    stats->encode_s = process_cpu_s() - cpu_at_start - stats->convert_s;
    stats->wall_s = seconds_since(started);
    if (!ok) {
        *error = render_error.empty() ? writer->error() : render_error;
        writer->abandon();
        return 1;
    }
    progress.finish(written);
    return 0;
}
