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

// The number of frames to make: options.seconds' worth, or to the end of the track when that
// comes first or no length was asked; *cut says the track's end came first.
int64_t frame_count(const CaptureOptions& options, int length_ms, bool* cut) {
    const int fps = options.fps;
    const int64_t to_end = (static_cast<int64_t>(length_ms - options.from_ms) * fps + 999) / 1000;
    int64_t total = to_end;
    if (options.seconds > 0) {
        const int64_t asked = static_cast<int64_t>(options.seconds * fps + 0.5);
        *cut = asked > to_end;
        total = std::min(asked, to_end);
    }
    return std::max<int64_t>(total, 1);
}

// One capture as it runs: start, frames, finish.
class CaptureRun {
public:
    CaptureRun(const CaptureOptions& options, CaptureStats* stats)
        : options_(options), stats_(stats) {}

    // The music first, then the renderers, then the output: a missing data/, no GL or a bad
    // start leave no output behind. 0, or the exit status with *error.
    int start(std::string* error) {
        if (int status = start_music_track(options_, &stats_->track_ms, error)) return status;
        total_ = frame_count(options_, stats_->track_ms, &stats_->track_ended);
        stats_->frames_total = static_cast<int>(total_);
        jobs_ = static_cast<int>(std::min<int64_t>(options_.jobs, total_));
        if (!workers_.start(options_, jobs_, total_, error)) return 1;
        writer_ = make_writer(options_);
        if (!writer_->open()) {
            *error = writer_->error();
            writer_->abandon();
            return 1;
        }
        progress_ = std::make_unique<Progress>(stats_->frames_total, options_.quiet);
        return 0;
    }

    // Takes the rendered frames in order, each with its samples, and hands them to an encoding
    // thread, until the last frame, a stop, or a failure of either side.
    void make_frames(const std::atomic<bool>& stop) {
        FrameQueue queue(2 * jobs_);
        cpu_at_start_ = process_cpu_s();
        std::thread encoder([&] { encode_frames(&queue); });
        int64_t k = 0;
        for (; k < total_ && !stop && !writer_failed_; ++k) {
            Frame* f = queue.take_free();
            f->k = k;
            f->pixels = workers_.wait_frame(k, &render_error_);
            if (!f->pixels) {
                queue.give_free(f);
                break;
            }
            f->sample_frames = static_cast<int>(frame_start_sample(k + 1, options_.fps) -
                                                frame_start_sample(k, options_.fps));
            f->samples.resize(static_cast<size_t>(f->sample_frames) * 2);
            take_samples(f->samples.data(), f->sample_frames);
            queue.give_full(f);
            progress_->update(static_cast<int>(k + 1));
        }
        queue.close();
        encoder.join();
        workers_.stop();
        stats_->stopped = k < total_ && !writer_failed_ && render_error_.empty();
    }

    // Completes the output, or removes it after a failure or a stop before the first frame;
    // the exit status, with *error for a failure.
    int finish(std::string* error) {
        // Stopped before a single frame: an empty video is no file to keep.
        const bool empty = stats_->stopped && written_ == 0;
        if (empty) writer_->abandon();
        const bool ok = !writer_failed_ && render_error_.empty() && (empty || writer_->finish());
        stats_->frames_done = written_;
        stats_->render_s = workers_.render_s();
        stats_->read_s = workers_.read_s();
        stats_->convert_s = convert_s_ + writer_->converting_s();
        // This process does little else than encode: the mix and the frame hand-over are small.
        stats_->encode_s = process_cpu_s() - cpu_at_start_ - stats_->convert_s;
        if (ok) {
            progress_->finish(written_);
            return 0;
        }
        *error = render_error_.empty() ? writer_->error() : render_error_;
        writer_->abandon();
        return 1;
    }

private:
    // The encoding thread: each full frame's picture and samples to the writer, the frame back
    // to its renderer. After a writer failure, frames are only given back.
    void encode_frames(FrameQueue* queue) {
        // PNG frames are enlarged here, exactly; the encoders' converter enlarges by whole
        // pixels itself in the same pass as the colour conversion, at a tenth of the cost.
        Enlarger enlarger(options_.kind == OutputKind::PngFrames ? options_.scale : 1);
        while (Frame* f = queue->take_full()) {
            if (!writer_failed_) {
                double t0 = thread_cpu_s();
                Picture picture = enlarger.picture(f->pixels);
                convert_s_ += thread_cpu_s() - t0;
                if (writer_->add_picture(picture) &&
                    writer_->add_samples(f->samples.data(), f->sample_frames))
                    ++written_;
                else
                    writer_failed_ = true;
            }
            workers_.release(f->k);
            queue->give_free(f);
        }
    }

    const CaptureOptions& options_;
    CaptureStats* stats_;
    int64_t total_ = 0;
    int jobs_ = 1;
    RenderWorkers workers_;
    std::unique_ptr<Writer> writer_;
    std::unique_ptr<Progress> progress_;
    std::atomic<bool> writer_failed_{false};
    std::string render_error_;
    int written_ = 0;  // frames the writer took; read after the encoding thread has ended
    double convert_s_ = 0, cpu_at_start_ = 0;
};

}  // namespace

int run_capture(const CaptureOptions& options, const std::atomic<bool>& stop, CaptureStats* stats,
                std::string* error) {
    const Clock::time_point started = Clock::now();
    *stats = CaptureStats{};
    CaptureRun run(options, stats);
    int status = run.start(error);
    if (status == 0) {
        run.make_frames(stop);
        status = run.finish(error);
    }
    stats->wall_s = seconds_since(started);
    return status;
}
