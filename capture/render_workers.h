// Rendering in worker processes: each runs its own copy of the demo on its own offscreen
// context and renders every n-th frame, stepping its music clock over the frames between, so
// the frames come out exactly as one process would draw them. The demo keeps its state in
// process-wide variables; processes are how several frames render at once on several cores.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "capture/options.h"

class RenderWorkers {
public:
    RenderWorkers() = default;
    ~RenderWorkers() { stop(); }
    RenderWorkers(const RenderWorkers&) = delete;
    RenderWorkers& operator=(const RenderWorkers&) = delete;

    // Starts `count` workers for frames 0 to total - 1 and waits until each has its context.
    // Call before this process starts any thread. False with error set when a worker cannot
    // render (no offscreen OpenGL).
    bool start(const CaptureOptions& options, int count, int64_t total, std::string* error);
    // Waits for frame k (frames are taken in order): its pixels, B, G, R, A bottom row first,
    // valid until release(k). Null with error set when its worker failed.
    const uint8_t* wait_frame(int64_t k, std::string* error);
    // Gives frame k's buffer back to its worker. Safe from another thread than wait_frame's.
    void release(int64_t k);
    // Ends the workers (they hold nothing that needs finishing).
    void stop();

    // CPU seconds the workers spent rendering and reading back the frames taken so far.
    double render_s() const { return render_s_; }
    double read_s() const { return read_s_; }

private:
    struct Worker {
        pid_t pid = -1;
        int ready = -1;  // frames done: worker -> capture
        int free = -1;   // buffers given back: capture -> worker
    };
    uint8_t* slot(int64_t k) const;

    std::vector<Worker> workers_;
    uint8_t* buffers_ = nullptr;
    size_t buffers_size_ = 0;
    double render_s_ = 0, read_s_ = 0;
};
