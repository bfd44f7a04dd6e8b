// What the capture writes to: a sink for finished pictures and the mixer's samples, made for
// OUT's kind. Files are written under a temporary name and take their own name only when
// finish() has completed them, so a name never stands for a half-written file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/music.h"
#include "capture/options.h"

// One picture, top row first, 4 bytes a pixel in B, G, R, A order (what glReadPixels gives
// for GL_BGRA, the renderer's native order).
struct Picture {
    const uint8_t* top = nullptr;
    ptrdiff_t stride = 0;  // bytes from one row to the next (negative for a bottom-up buffer)
    int width = 0, height = 0;
};

class Writer {
public:
    virtual ~Writer() = default;
    // Opens the output; false with error() set when it cannot be written.
    virtual bool open() = 0;
    // The picture has the size the writer was made for.
    virtual bool add_picture(const Picture& picture) = 0;
    // Interleaved 16-bit stereo at MUSIC_MIX_RATE; writers without sound ignore it.
    virtual bool add_samples(const int16_t* samples, int frames) = 0;
    // Flushes the encoders, completes the files and gives them their names.
    virtual bool finish() = 0;
    // Removes what was written under temporary names.
    virtual void abandon() = 0;
    const std::string& error() const { return error_; }
    // CPU seconds spent scaling and converting pictures to the encoder's format so far.
    double converting_s() const { return converting_s_; }

protected:
    std::string error_;
    double converting_s_ = 0;
};

// Writers sized options.width x options.height: video files and animated pictures through
// FFmpeg's libraries, and numbered PNG frames.
std::unique_ptr<Writer> make_av_writer(const CaptureOptions& options);
std::unique_ptr<Writer> make_png_writer(const CaptureOptions& options);

inline std::unique_ptr<Writer> make_writer(const CaptureOptions& options) {
    return options.kind == OutputKind::PngFrames ? make_png_writer(options)
                                                 : make_av_writer(options);
}
