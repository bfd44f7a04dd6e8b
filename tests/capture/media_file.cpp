// Decoding glow-capture's output for the tests, with FFmpeg's libraries: pictures converted back
// to RGB with swscale's default matrix (the one the capture converted with), sound to 16 bits.
#include "tests/capture/media_file.h"

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace {

struct Decoder {
    AVCodecContext* codec = nullptr;
    int stream = -1;
    ~Decoder() { avcodec_free_context(&codec); }
    bool open(AVFormatContext* format, AVMediaType type) {
        const AVCodec* found = nullptr;
        stream = av_find_best_stream(format, type, -1, -1, &found, 0);
        if (stream < 0) return false;
        codec = avcodec_alloc_context3(found);
        avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
        return avcodec_open2(codec, found, nullptr) == 0;
    }
};

void take_samples(const AVFrame* f, MediaFile* m) {
    const int channels = f->ch_layout.nb_channels;
    for (int i = 0; i < f->nb_samples; ++i)
        for (int c = 0; c < channels; ++c) {
            double v = 0;
            switch (f->format) {
                case AV_SAMPLE_FMT_FLTP:
                    v = reinterpret_cast<const float*>(f->data[c])[i];
                    break;
                case AV_SAMPLE_FMT_S16:
                    v = reinterpret_cast<const int16_t*>(f->data[0])[i * channels + c] / 32768.0;
                    break;
                default:
                    return;
            }
            m->samples.push_back(static_cast<int16_t>(
                std::lround(std::fmax(-32768.0, std::fmin(32767.0, v * 32768.0)))));
        }
}

}  // namespace

MediaFile read_media(const std::string& path, int keep) {
    MediaFile m;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return m;
    avformat_find_stream_info(format, nullptr);
    Decoder video, audio;
    bool has_video = video.open(format, AVMEDIA_TYPE_VIDEO);
    bool has_audio = audio.open(format, AVMEDIA_TYPE_AUDIO);
    if (has_video) {
        m.width = video.codec->width;
        m.height = video.codec->height;
        m.fps = av_q2d(format->streams[video.stream]->avg_frame_rate);
    }
    if (has_audio) {
        m.sample_rate = audio.codec->sample_rate;
        m.channels = audio.codec->ch_layout.nb_channels;
        const AVStream* s = format->streams[audio.stream];
        if (s->duration != AV_NOPTS_VALUE)
            m.audio_frames = av_rescale_q(s->duration, s->time_base, AVRational{1, m.sample_rate});
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&](Decoder& d) {
        while (avcodec_receive_frame(d.codec, frame) == 0) {
            if (&d == &audio) {
                take_samples(frame, &m);
            } else {
                if (m.frames == keep) {
                    m.kept_frame.resize(static_cast<size_t>(m.width) * m.height * 3);
                    SwsContext* rgb = sws_getContext(
                        frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                        m.width, m.height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
                    uint8_t* out[1] = {m.kept_frame.data()};
                    int stride[1] = {m.width * 3};
                    sws_scale(rgb, frame->data, frame->linesize, 0, frame->height, out, stride);
                    sws_freeContext(rgb);
                }
                ++m.frames;
            }
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        Decoder* d = packet->stream_index == video.stream && has_video   ? &video
                     : packet->stream_index == audio.stream && has_audio ? &audio
                                                                         : nullptr;
        if (d && avcodec_send_packet(d->codec, packet) == 0) drain(*d);
        av_packet_unref(packet);
    }
    for (Decoder* d : {&video, &audio})
        if (d->codec) {
            avcodec_send_packet(d->codec, nullptr);
            drain(*d);
        }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    m.ok = has_video || has_audio;
    return m;
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    double mse = sum / a.size();
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

int best_lag(const std::vector<int16_t>& a, const std::vector<int16_t>& b, long start, long frames,
             int max_lag, double* correlation) {
    int best = 0;
    double best_r = -2;
    for (int lag = -max_lag; lag <= max_lag; ++lag) {
        double ab = 0, aa = 0, bb = 0;
        for (long i = start; i < start + frames; ++i) {
            long j = i + lag;
            if (j < 0 || 2 * j >= static_cast<long>(b.size()) ||
                2 * i >= static_cast<long>(a.size()))
                continue;
            double x = a[2 * i], y = b[2 * j];
            ab += x * y;
            aa += x * x;
            bb += y * y;
        }
        double r = aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
        if (r > best_r) {
            best_r = r;
            best = lag;
        }
    }
    *correlation = best_r;
    return best;
}
