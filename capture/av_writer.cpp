// Video files through FFmpeg's libraries: H.264 + AAC in MP4 or Matroska, raw frames in Y4M with
// the sound in a WAV beside them, and animated WebP or APNG pictures. Each file is one muxer:
// its encoders, a colour converter for the picture, and the audio encoder's next frame, which
// the samples fill as they come.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/samplefmt.h>
#include <libswscale/swscale.h>
}

#include "capture/cpu_time.h"
#include "capture/writer.h"

namespace {

std::string av_message(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof(text));
    return text;
}

// Sets encoder or muxer options; false when the dictionary could not grow.
bool set_options(AVDictionary** options,
                 std::initializer_list<std::pair<const char*, std::string>> values) {
    for (const auto& [key, value] : values)
        if (av_dict_set(options, key, value.c_str(), 0) < 0) return false;
    return true;
}

struct VideoSetup {
    const char* encoder;
    AVPixelFormat format;
    int crf = -1;  // x264 only
};

// One output file with at most one video and one audio stream.
class Muxer {
public:
    // converting_s adds up the CPU time spent in colour conversion.
    Muxer(std::string path, const char* format_name, double* converting_s)
        : path_(std::move(path)),
          temp_(path_ + ".part"),
          format_name_(format_name),
          converting_s_(converting_s) {}
    ~Muxer() { close(); }
    Muxer(const Muxer&) = delete;
    Muxer& operator=(const Muxer&) = delete;

    bool add_video(const VideoSetup& setup, int width, int height, int fps, std::string* error);
    bool add_audio(const char* encoder, std::string* error);
    bool open(std::string* error);
    bool write_picture(const Picture& picture, std::string* error);
    bool write_samples(const int16_t* samples, int frames, std::string* error);
    // Flushes the encoders and completes the file under its temporary name.
    bool complete(std::string* error);
    // Gives the completed file its name.
    bool take_name(std::string* error) {
        if (rename(temp_.c_str(), path_.c_str()) == 0) return true;
        *error = "cannot rename " + temp_ + " to " + path_ + " (" + strerror(errno) + ")";
        return false;
    }
    // Removes the file under its name, after another file of the same output failed.
    void remove_named() { remove(path_.c_str()); }
    void abandon() {
        close();
        remove(temp_.c_str());
    }

private:
    bool start_format(std::string* error);
    bool encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame, std::string* error);
    bool new_sound_frame(int frames, std::string* error);
    bool send_sound(std::string* error);
    bool fail(std::string* error, const std::string& what, int code) {
        *error = what + " (" + av_message(code) + ")";
        return false;
    }
    bool out_of_memory(std::string* error) { return fail(error, "out of memory", AVERROR(ENOMEM)); }
    void close() {
        if (format_ && format_->pb) avio_closep(&format_->pb);
        avformat_free_context(format_);
        format_ = nullptr;
        avcodec_free_context(&video_);
        avcodec_free_context(&audio_);
        av_frame_free(&picture_);
        av_frame_free(&sound_);
        av_packet_free(&packet_);
        sws_freeContext(convert_);
        convert_ = nullptr;
    }

    std::string path_, temp_;
    const char* format_name_;
    double* converting_s_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* video_ = nullptr;
    AVCodecContext* audio_ = nullptr;
    AVStream* video_stream_ = nullptr;
    AVStream* audio_stream_ = nullptr;
    AVFrame* picture_ = nullptr;
    AVFrame* sound_ = nullptr;  // the audio encoder's next frame, filled_ samples of it so far
    int filled_ = 0;
    AVPacket* packet_ = nullptr;
    SwsContext* convert_ = nullptr;
    int source_width_ = 0, source_height_ = 0;
    int64_t next_picture_ = 0, next_sample_ = 0;
};

bool Muxer::start_format(std::string* error) {
    if (format_) return true;
    int code = avformat_alloc_output_context2(&format_, nullptr, format_name_, temp_.c_str());
    if (code < 0) return fail(error, std::string("no ") + format_name_ + " muxer", code);
    return true;
}

bool Muxer::add_video(const VideoSetup& setup, int width, int height, int fps, std::string* error) {
    if (!start_format(error)) return false;
    const AVCodec* codec = avcodec_find_encoder_by_name(setup.encoder);
    if (!codec) {
        *error = std::string("this FFmpeg has no ") + setup.encoder + " encoder";
        return false;
    }
    if (!(video_ = avcodec_alloc_context3(codec))) return out_of_memory(error);
    video_->width = width;
    video_->height = height;
    video_->pix_fmt = setup.format;
    video_->time_base = AVRational{1, fps};
    video_->framerate = AVRational{fps, 1};
    video_->sample_aspect_ratio = AVRational{1, 1};
    if (setup.format == AV_PIX_FMT_YUV420P) {
        // swscale's default conversion: BT.601 matrix, limited range. Said so in the stream,
        // so that players do not guess BT.709 for large pictures.
        video_->colorspace = AVCOL_SPC_SMPTE170M;
        video_->color_range = AVCOL_RANGE_MPEG;
        video_->color_primaries = AVCOL_PRI_BT709;
        video_->color_trc = AVCOL_TRC_BT709;
    }
    AVDictionary* options = nullptr;
    bool set = true;
    if (setup.crf >= 0)
        // The renderer needs most of the machine: superfast costs about two thirds of what
        // veryfast does to encode, for files about twice as large at the same quality.
        set = set_options(&options, {{"crf", std::to_string(setup.crf)}, {"preset", "superfast"}});
    if (!strcmp(setup.encoder, "libwebp_anim"))
        // Quality 70: the red text stays clean; the preview is 670 KB (60: 610 KB, 90: 1.2 MB).
        // Level 5: 2.5% smaller than 4 in the same time; 6 takes 14 times as long for 1.6% less.
        set = set_options(&options, {{"quality", "70"}, {"compression_level", "5"}});
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int code = set ? avcodec_open2(video_, codec, &options) : AVERROR(ENOMEM);
    av_dict_free(&options);
    if (code < 0)
        return fail(error, std::string("cannot start the ") + setup.encoder + " encoder", code);

    if (!(video_stream_ = avformat_new_stream(format_, nullptr))) return out_of_memory(error);
    video_stream_->time_base = video_->time_base;
    video_stream_->avg_frame_rate = video_->framerate;
    if ((code = avcodec_parameters_from_context(video_stream_->codecpar, video_)) < 0)
        return fail(error, "out of memory", code);

    if (!(picture_ = av_frame_alloc())) return out_of_memory(error);
    picture_->format = setup.format;
    picture_->width = width;
    picture_->height = height;
    if ((code = av_frame_get_buffer(picture_, 0)) < 0) return fail(error, "out of memory", code);
    return true;
}

bool Muxer::add_audio(const char* encoder, std::string* error) {
    if (!start_format(error)) return false;
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    if (!codec) {
        *error = std::string("this FFmpeg has no ") + encoder + " encoder";
        return false;
    }
    if (!(audio_ = avcodec_alloc_context3(codec))) return out_of_memory(error);
    audio_->sample_rate = MUSIC_MIX_RATE;
    audio_->sample_fmt = codec->id == AV_CODEC_ID_AAC ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&audio_->ch_layout, 2);
    audio_->time_base = AVRational{1, MUSIC_MIX_RATE};
    // 192 kbit/s: 35 dB from the exact mix, where FFmpeg's default 128 gives 31 (20 s measured).
    if (codec->id == AV_CODEC_ID_AAC) audio_->bit_rate = 192000;
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) audio_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int code = avcodec_open2(audio_, codec, nullptr);
    if (code < 0) return fail(error, std::string("cannot start the ") + encoder + " encoder", code);

    if (!(audio_stream_ = avformat_new_stream(format_, nullptr))) return out_of_memory(error);
    audio_stream_->time_base = audio_->time_base;
    if ((code = avcodec_parameters_from_context(audio_stream_->codecpar, audio_)) < 0)
        return fail(error, "out of memory", code);
    if (!(sound_ = av_frame_alloc())) return out_of_memory(error);
    return true;
}

bool Muxer::open(std::string* error) {
    if (!(packet_ = av_packet_alloc())) return out_of_memory(error);
    int code = avio_open(&format_->pb, temp_.c_str(), AVIO_FLAG_WRITE);
    if (code < 0) return fail(error, "cannot write " + path_, code);
    // Loop animated pictures for ever; put the MP4 index in front, so that a browser can start
    // playing before it has the whole file; count the MP4's edits in samples of the mix, so
    // that the sound lasts exactly as long as the picture (in milliseconds, the default, it
    // came out up to one short).
    AVDictionary* options = nullptr;
    code = set_options(&options, {{"loop", "0"},
                                  {"plays", "0"},
                                  {"movflags", "+faststart"},
                                  {"movie_timescale", std::to_string(MUSIC_MIX_RATE)}})
               ? avformat_write_header(format_, &options)
               : AVERROR(ENOMEM);
    av_dict_free(&options);
    if (code < 0) return fail(error, "cannot write " + path_, code);
    return true;
}

bool Muxer::encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame, std::string* error) {
    int code = avcodec_send_frame(codec, frame);
    if (code < 0) return fail(error, "encoding failed", code);
    while ((code = avcodec_receive_packet(codec, packet_)) >= 0) {
        av_packet_rescale_ts(packet_, codec->time_base, stream->time_base);
        packet_->stream_index = stream->index;
        code = av_interleaved_write_frame(format_, packet_);
        if (code < 0) return fail(error, "cannot write " + path_, code);
    }
    if (code != AVERROR(EAGAIN) && code != AVERROR_EOF) return fail(error, "encoding failed", code);
    return true;
}

bool Muxer::write_picture(const Picture& picture, std::string* error) {
    if (!video_) return true;
    if (!convert_ || picture.width != source_width_ || picture.height != source_height_) {
        sws_freeContext(convert_);
        source_width_ = picture.width;
        source_height_ = picture.height;
        // Whole-number enlargements repeat pixels (sharp font); other sizes average areas.
        const bool whole = video_->width % picture.width == 0 &&
                           video_->height % picture.height == 0 && video_->width > picture.width;
        convert_ = sws_getContext(picture.width, picture.height, AV_PIX_FMT_BGRA, video_->width,
                                  video_->height, video_->pix_fmt, whole ? SWS_POINT : SWS_AREA,
                                  nullptr, nullptr, nullptr);
        // Any size and format pair here is one swscale converts: only memory can be missing.
        if (!convert_) return out_of_memory(error);
    }
    // The encoder may still hold the last frame's buffer (raw video wraps it): write to a
    // fresh one then.
    int code = av_frame_make_writable(picture_);
    if (code < 0) return fail(error, "out of memory", code);
    const uint8_t* source[1] = {picture.top};
    const int stride[1] = {static_cast<int>(picture.stride)};
    double start = thread_cpu_s();
    sws_scale(convert_, source, stride, 0, picture.height, picture_->data, picture_->linesize);
    *converting_s_ += thread_cpu_s() - start;
    picture_->pts = next_picture_++;
    return encode(video_, video_stream_, picture_, error);
}

// A fresh sound frame in the encoder's format: its fixed frame size, or `frames` where the
// encoder takes any size.
bool Muxer::new_sound_frame(int frames, std::string* error) {
    av_frame_unref(sound_);
    const bool any_size =
        audio_->frame_size <= 0 || (audio_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    sound_->format = audio_->sample_fmt;
    sound_->sample_rate = MUSIC_MIX_RATE;
    sound_->nb_samples = any_size ? frames : audio_->frame_size;
    int code = av_channel_layout_copy(&sound_->ch_layout, &audio_->ch_layout);
    if (code >= 0) code = av_frame_get_buffer(sound_, 0);
    if (code < 0) return fail(error, "out of memory", code);
    return true;
}

// Encodes the filled part of the sound frame.
bool Muxer::send_sound(std::string* error) {
    sound_->nb_samples = filled_;
    sound_->pts = next_sample_;
    next_sample_ += filled_;
    filled_ = 0;
    return encode(audio_, audio_stream_, sound_, error);
}

// Samples go straight into the encoder's frame, converted to its format, and each full frame is
// encoded.
bool Muxer::write_samples(const int16_t* samples, int frames, std::string* error) {
    if (!audio_) return true;
    while (frames > 0) {
        if (filled_ == 0 && !new_sound_frame(frames, error)) return false;
        const int n = std::min(frames, sound_->nb_samples - filled_);
        if (audio_->sample_fmt == AV_SAMPLE_FMT_FLTP) {
            float* left = reinterpret_cast<float*>(sound_->data[0]) + filled_;
            float* right = reinterpret_cast<float*>(sound_->data[1]) + filled_;
            for (int i = 0; i < n; ++i) {
                left[i] = samples[2 * i] / 32768.0f;
                right[i] = samples[2 * i + 1] / 32768.0f;
            }
        } else {
            memcpy(sound_->data[0] + static_cast<size_t>(filled_) * 4, samples,
                   static_cast<size_t>(n) * 4);
        }
        filled_ += n;
        samples += 2 * n;
        frames -= n;
        if (filled_ == sound_->nb_samples && !send_sound(error)) return false;
    }
    return true;
}

bool Muxer::complete(std::string* error) {
    if (audio_) {
        if (filled_ > 0) {
            // The last frame may be short where the encoder allows it; AAC's is padded with
            // silence by the encoder itself and cut off again by the container's end trim.
            if (!(audio_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)) {
                av_samples_set_silence(sound_->data, filled_, sound_->nb_samples - filled_,
                                       sound_->ch_layout.nb_channels, audio_->sample_fmt);
                filled_ = sound_->nb_samples;
            }
            if (!send_sound(error)) return false;
        }
        if (!encode(audio_, audio_stream_, nullptr, error)) return false;
    }
    if (video_ && !encode(video_, video_stream_, nullptr, error)) return false;
    int code = av_write_trailer(format_);
    if (code < 0) return fail(error, "cannot finish " + path_, code);
    code = avio_closep(&format_->pb);
    if (code < 0) return fail(error, "cannot finish " + path_, code);
    return true;
}

// Writes OUT with one or two muxers: the picture in the first, the sound in the last.
class AvWriter : public Writer {
public:
    explicit AvWriter(const CaptureOptions& options) : options_(options) {}

    bool open() override {
        // The encoders' own chatter is not for the user; their errors still reach stderr.
        av_log_set_level(AV_LOG_ERROR);
        const CaptureOptions& o = options_;
        switch (o.kind) {
            case OutputKind::Mp4:
            case OutputKind::Mkv:
                add_file(o.out, o.kind == OutputKind::Mp4 ? "mp4" : "matroska");
                return files_[0]->add_video({"libx264", AV_PIX_FMT_YUV420P, o.crf}, o.width,
                                            o.height, o.fps, &error_) &&
                       files_[0]->add_audio("aac", &error_) && files_[0]->open(&error_);
            case OutputKind::Y4m:
                add_file(o.out, "yuv4mpegpipe");
                add_file(o.out.substr(0, o.out.size() - 4) + ".wav", "wav");
                return files_[0]->add_video({"wrapped_avframe", AV_PIX_FMT_YUV420P}, o.width,
                                            o.height, o.fps, &error_) &&
                       files_[1]->add_audio("pcm_s16le", &error_) && files_[0]->open(&error_) &&
                       files_[1]->open(&error_);
            case OutputKind::Webp:
                add_file(o.out, "webp");
                return files_[0]->add_video({"libwebp_anim", AV_PIX_FMT_BGRA}, o.width, o.height,
                                            o.fps, &error_) &&
                       files_[0]->open(&error_);
            default:
                add_file(o.out, "apng");
                return files_[0]->add_video({"apng", AV_PIX_FMT_RGB24}, o.width, o.height, o.fps,
                                            &error_) &&
                       files_[0]->open(&error_);
        }
    }
    bool add_picture(const Picture& picture) override {
        return files_.front()->write_picture(picture, &error_);
    }
    bool add_samples(const int16_t* samples, int frames) override {
        return files_.back()->write_samples(samples, frames, &error_);
    }
    // Every file is completed before any takes its name, and a name taken is given up again
    // when another fails, so a failure leaves nothing under OUT's names.
    bool finish() override {
        for (auto& m : files_)
            if (!m->complete(&error_)) return false;
        for (size_t i = 0; i < files_.size(); ++i)
            if (!files_[i]->take_name(&error_)) {
                while (i > 0) files_[--i]->remove_named();
                return false;
            }
        return true;
    }
    void abandon() override {
        for (auto& m : files_) m->abandon();
    }

private:
    void add_file(const std::string& path, const char* format) {
        files_.push_back(std::make_unique<Muxer>(path, format, &converting_s_));
    }

    CaptureOptions options_;
    std::vector<std::unique_ptr<Muxer>> files_;
};

}  // namespace

std::unique_ptr<Writer> make_av_writer(const CaptureOptions& options) {
    return std::make_unique<AvWriter>(options);
}
