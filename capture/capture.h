// One capture from start to end: worker processes render frame k for music clock
// from + k*1000/fps while a thread of this process scales, converts and encodes the frames
// before it.
#pragma once

#include <atomic>
#include <string>

#include "capture/options.h"

struct CaptureStats {
    int frames_total = 0;
    int frames_done = 0;       // frames written to the output
    bool stopped = false;      // ended early because stop was set
    int track_ms = 0;          // the track's length
    bool track_ended = false;  // fewer frames than --seconds asked: the track ended first
    double wall_s = 0;         // the whole run, start-up included
    // CPU seconds by stage, all processes and threads together:
    double render_s = 0;   // demo frames, to the last pixel
    double read_s = 0;     // reading the pixels back
    double convert_s = 0;  // scaling and colour conversion
    double encode_s = 0;   // encoding and writing (with the sound mix, which is small)
};

// Runs the capture the options describe. Setting stop ends it after the frame in hand, with
// the output finished as for a full run (and removed when no frame was made yet). Returns the exit
// status: 0 when the output is complete (also after a stop), 1 for a run-time failure and 2 for a
// value that only proves wrong on start (a --from past the track), with the reason in *error; a
// failed output is removed.
int run_capture(const CaptureOptions& options, const std::atomic<bool>& stop, CaptureStats* stats,
                std::string* error);
