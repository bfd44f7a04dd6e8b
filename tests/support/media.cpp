// Screenshots, raw audio and reference MP3 decodes for the end-to-end tests.
#include "tests/support/media.h"

#include <mpg123.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

Picture read_png(const std::string& path) {
    Picture picture;
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return picture;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return picture;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.rgb = std::move(rgb);
    return picture;
}

int leftmost_red(const Picture& p) {
    for (int x = 0; x < p.width; ++x)
        for (int y = 420; y < 480; ++y)
            if (p.at(x, y)[0] > 0) return x;
    return -1;
}

std::vector<int16_t> decode_mp3(const std::string& path) {
    std::vector<int16_t> samples;
    mpg123_init();
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    if (!mh) return samples;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET | MPG123_FORCE_STEREO, 0);
    mpg123_format_none(mh);
    mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(mh, path.c_str()) == MPG123_OK) {
        unsigned char buffer[16384];
        size_t done = 0;
        int ret;
        do {
            ret = mpg123_read(mh, buffer, sizeof buffer, &done);
            const int16_t* s = reinterpret_cast<const int16_t*>(buffer);
            samples.insert(samples.end(), s, s + done / 2);
        } while (ret == MPG123_OK || ret == MPG123_NEW_FORMAT);
        mpg123_close(mh);
    }
    mpg123_delete(mh);
    return samples;
}

std::vector<int16_t> read_samples(const std::string& path) {
    std::vector<int16_t> samples;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return samples;
    int16_t buffer[8192];
    size_t n;
    while ((n = fread(buffer, sizeof(int16_t), 8192, f)) > 0) samples.insert(samples.end(), buffer, buffer + n);
    fclose(f);
    return samples;
}

long find_frames(const std::vector<int16_t>& haystack, const std::vector<int16_t>& needle,
                 long needle_frame, long frames) {
    size_t start = static_cast<size_t>(needle_frame) * 2, count = static_cast<size_t>(frames) * 2;
    if (start + count > needle.size() || count == 0) return -1;
    const int16_t* n = needle.data() + start;
    for (size_t i = 0; i + count <= haystack.size(); i += 2)
        if (haystack[i] == n[0] && haystack[i + 1] == n[1] &&
            memcmp(&haystack[i], n, count * sizeof(int16_t)) == 0)
            return static_cast<long>(i / 2);
    return -1;
}

long buffers_in_order(const std::vector<int16_t>& out, const std::vector<int16_t>& ref,
                      size_t buffer, long* first_at) {
    const size_t out_frames = out.size() / 2, ref_frames = ref.size() / 2;
    auto silent = [&](size_t from, size_t to) {
        return std::all_of(out.begin() + 2 * from, out.begin() + 2 * to,
                           [](int16_t v) { return v == 0; });
    };
    // The buffer at `at` is ref from `from` on: exactly, and silent past ref's end.
    auto holds = [&](size_t at, size_t from) {
        size_t n = std::min(buffer, ref_frames - from);
        return std::equal(out.begin() + 2 * at, out.begin() + 2 * (at + n),
                          ref.begin() + 2 * from) &&
               silent(at + n, at + buffer);
    };
    long expected = -1, end = 0;  // where the next buffer should start; after the last with sound
    for (size_t at = 0; at + buffer <= out_frames; at += buffer) {
        if (silent(at, at + buffer)) {
            if (expected >= 0) expected = std::min<long>(expected + buffer, ref_frames);
            continue;
        }
        long found = -1;
        for (size_t from = expected < 0 ? 0 : expected; found < 0 && from < ref_frames; ++from)
            if (holds(at, from)) found = static_cast<long>(from);
        if (found < 0) return -1;
        if (expected < 0 && first_at) *first_at = found;
        expected = end = std::min<long>(found + buffer, ref_frames);
    }
    return end;
}
