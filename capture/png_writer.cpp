// Numbered PNG frames in a folder: 000000.png, 000001.png, ... lossless, so every frame is
// exactly what the renderer drew. Each frame is written under a temporary name and renamed
// when complete.
#include <png.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

extern "C" {
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include "capture/writer.h"

namespace {

class PngWriter : public Writer {
public:
    explicit PngWriter(const CaptureOptions& options) : options_(options) {}
    ~PngWriter() override { sws_freeContext(scale_); }

    bool open() override {
        const std::string& dir = options_.out;
        if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) return fail("cannot make " + dir);
        struct stat info;
        if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            error_ = "cannot write frames into " + dir + " (not a folder)";
            return false;
        }
        return true;
    }

    bool add_picture(const Picture& picture) override {
        Picture p = picture;
        if ((picture.width != options_.width || picture.height != options_.height) &&
            !scale(picture, &p))
            return false;
        char name[32];
        snprintf(name, sizeof(name), "%06d.png", frame_++);
        std::string path = options_.out + name, temp = path + ".part";
        if (!write_png(temp, p)) {
            remove(temp.c_str());
            return false;
        }
        if (rename(temp.c_str(), path.c_str()) != 0) return fail("cannot rename " + temp);
        return true;
    }

    bool add_samples(const int16_t*, int) override { return true; }
    bool finish() override { return true; }
    void abandon() override {}

private:
    bool fail(const std::string& what) {
        error_ = what + " (" + strerror(errno) + ")";
        return false;
    }

    // --size: the picture area-averaged to the requested size into *p; false when memory for
    // the converter or the picture runs out.
    bool scale(const Picture& picture, Picture* p) {
        if (!scale_)
            scale_ = sws_getContext(picture.width, picture.height, AV_PIX_FMT_BGRA, options_.width,
                                    options_.height, AV_PIX_FMT_BGRA, SWS_AREA, nullptr, nullptr,
                                    nullptr);
        if (!small_)
            small_.reset(static_cast<uint8_t*>(
                av_malloc(static_cast<size_t>(options_.width) * options_.height * 4)));
        if (!scale_ || !small_) {
            error_ = "out of memory";
            return false;
        }
        const uint8_t* source[1] = {picture.top};
        const int source_stride[1] = {static_cast<int>(picture.stride)};
        uint8_t* target[1] = {small_.get()};
        const int target_stride[1] = {options_.width * 4};
        sws_scale(scale_, source, source_stride, 0, picture.height, target, target_stride);
        *p = Picture{small_.get(), options_.width * 4, options_.width, options_.height};
        return true;
    }

    bool write_png(const std::string& path, const Picture& p) {
        FILE* file = fopen(path.c_str(), "wb");
        if (!file) return fail("cannot write " + path);
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png ? png_create_info_struct(png) : nullptr;
        if (!info) {
            png_destroy_write_struct(&png, nullptr);
            fclose(file);
            error_ = "out of memory";
            return false;
        }
        if (setjmp(png_jmpbuf(png))) {
            png_destroy_write_struct(&png, &info);
            fclose(file);
            error_ = "cannot write " + path;
            return false;
        }
        png_init_io(png, file);
        // Speed over size: a frame is written while the next one renders.
        png_set_compression_level(png, 1);
        png_set_IHDR(png, info, p.width, p.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
        for (int y = 0; y < p.height; ++y)
            png_write_row(png, const_cast<png_bytep>(p.top + y * p.stride));
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        bool closed = fclose(file) == 0;
        if (!closed) return fail("cannot write " + path);
        return true;
    }

    CaptureOptions options_;
    int frame_ = 0;
    SwsContext* scale_ = nullptr;
    // From FFmpeg's allocator, as the other writers' pictures are.
    std::unique_ptr<uint8_t, decltype(&av_free)> small_{nullptr, av_free};
};

}  // namespace

std::unique_ptr<Writer> make_png_writer(const CaptureOptions& options) {
    return std::make_unique<PngWriter>(options);
}
