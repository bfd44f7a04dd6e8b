// Worker processes over pipes and shared memory: two frame buffers per worker in one shared
// mapping; a worker reports each frame on its `ready` pipe and waits on its `free` pipe for a
// buffer before it overwrites one. A worker that dies closes its pipe, which the capture sees.
#include "capture/render_workers.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "capture/cpu_time.h"
#include "capture/renderer.h"

namespace {

constexpr int kBuffersPerWorker = 2;

// What a worker sends: first a start report, then one record per frame.
struct StartReport {
    int ok;
    char error[240];
};
struct FrameReport {
    int64_t k;
    double render_s, read_s;
};

bool read_all(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool write_all(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The worker's life: start the demo, then render frames index, index + count, ... stepping
// the music over the frames in between.
[[noreturn]] void run_worker(const CaptureOptions& options, int index, int count, int64_t total,
                             uint8_t* buffers, int ready, int free) {
    // Ctrl-C reaches the whole process group: the capture decides when workers end.
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Several workers share the cores: one software-rendering thread each, unless asked.
    if (count > 1) setenv("LP_NUM_THREADS", "1", 0);

    DemoRenderer renderer;
    StartReport report = {};
    std::string error;
    report.ok = renderer.start(options, &error);
    snprintf(report.error, sizeof(report.error), "%s", error.c_str());
    if (!write_all(ready, &report, sizeof(report)) || !report.ok) _exit(1);

    std::vector<int16_t> scratch;
    auto skip_to = [&](int64_t from, int64_t to) {
        int64_t n = frame_start_sample(to, options.fps) - frame_start_sample(from, options.fps);
        scratch.resize(static_cast<size_t>(n) * 2);
        if (n > 0) take_samples(scratch.data(), static_cast<int>(n));
    };
    skip_to(0, index);
    int used = 0;
    for (int64_t k = index; k < total; k += count) {
        char token;
        if (used++ >= kBuffersPerWorker && !read_all(free, &token, 1)) _exit(0);
        double t0 = process_cpu_s();
        renderer.render();
        double t1 = process_cpu_s();
        renderer.read(buffers + ((k / count) % kBuffersPerWorker) * kFrameBytes);
        FrameReport frame = {k, t1 - t0, process_cpu_s() - t1};
        if (!write_all(ready, &frame, sizeof(frame))) _exit(0);
        skip_to(k, k + count);
    }
    _exit(0);
}

}  // namespace

bool RenderWorkers::start(const CaptureOptions& options, int count, int64_t total,
                          std::string* error) {
    buffers_size_ = static_cast<size_t>(count) * kBuffersPerWorker * kFrameBytes;
    void* mapping =
        mmap(nullptr, buffers_size_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        *error = std::string("cannot share frame buffers: ") + strerror(errno);
        return false;
    }
    buffers_ = static_cast<uint8_t*>(mapping);
    // Writing to the pipe of a worker that died must fail, not end the capture.
    signal(SIGPIPE, SIG_IGN);
    fflush(nullptr);  // nothing buffered may be written twice
    for (int i = 0; i < count; ++i) {
        int ready[2], free[2];
        if (pipe(ready) != 0) return (*error = "cannot make a pipe"), false;
        if (pipe(free) != 0) {
            close(ready[0]);
            close(ready[1]);
            return (*error = "cannot make a pipe"), false;
        }
        pid_t pid = fork();
        if (pid == 0) {
            for (Worker& w : workers_) {
                close(w.ready);
                close(w.free);
            }
            close(ready[0]);
            close(free[1]);
            run_worker(options, i, count, total, buffers_ + i * kBuffersPerWorker * kFrameBytes,
                       ready[1], free[0]);
        }
        close(ready[1]);
        close(free[0]);
        workers_.push_back(Worker{pid, ready[0], free[1]});
        if (pid < 0) return (*error = "cannot start a render process"), false;
    }
    for (Worker& w : workers_) {
        StartReport report = {};
        if (!read_all(w.ready, &report, sizeof(report))) {
            *error = "a render process ended at start";
            return false;
        }
        if (!report.ok) {
            *error = report.error;
            return false;
        }
    }
    return true;
}

uint8_t* RenderWorkers::slot(int64_t k) const {
    const int64_t count = static_cast<int64_t>(workers_.size());
    const int64_t worker = k % count, turn = k / count;
    return buffers_ + (worker * kBuffersPerWorker + turn % kBuffersPerWorker) * kFrameBytes;
}

const uint8_t* RenderWorkers::wait_frame(int64_t k, std::string* error) {
    Worker& w = workers_[static_cast<size_t>(k % static_cast<int64_t>(workers_.size()))];
    FrameReport frame;
    if (!read_all(w.ready, &frame, sizeof(frame)) || frame.k != k) {
        *error = "a render process ended unexpectedly";
        return nullptr;
    }
    render_s_ += frame.render_s;
    read_s_ += frame.read_s;
    return slot(k);
}

void RenderWorkers::release(int64_t k) {
    char token = 1;
    write_all(workers_[static_cast<size_t>(k % static_cast<int64_t>(workers_.size()))].free, &token,
              1);
}

void RenderWorkers::stop() {
    for (Worker& w : workers_) {
        if (w.pid > 0) kill(w.pid, SIGKILL);
        close(w.ready);
        close(w.free);
        if (w.pid > 0) waitpid(w.pid, nullptr, 0);
    }
    workers_.clear();
    if (buffers_) munmap(buffers_, buffers_size_);
    buffers_ = nullptr;
}
