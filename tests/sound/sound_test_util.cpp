// Helpers for the sound layer tests: tone MP3s through lame, the reference decode, disk driver
// output and frame matching.
#include "tests/sound/sound_test_util.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

TempDir::TempDir() {
    char name[] = "/tmp/sound_test_XXXXXX";
    if (mkdtemp(name)) path = name;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
}

static void put32(std::ofstream& f, uint32_t v) {
    char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    f.write(b, 4);
}

static void put16(std::ofstream& f, uint16_t v) {
    char b[2] = {char(v), char(v >> 8)};
    f.write(b, 2);
}

bool make_tone_mp3(const std::string& mp3_path, const Tone& tone) {
    const double pi = 3.14159265358979323846;
    std::string wav = mp3_path + ".wav";
    {
        std::ofstream f(wav, std::ios::binary);
        uint32_t n = static_cast<uint32_t>(tone.seconds * tone.rate);
        uint16_t block = static_cast<uint16_t>(2 * tone.channels);
        f.write("RIFF", 4);
        put32(f, 36 + n * block);
        f.write("WAVEfmt ", 8);
        put32(f, 16);
        put16(f, 1);
        put16(f, static_cast<uint16_t>(tone.channels));
        put32(f, static_cast<uint32_t>(tone.rate));
        put32(f, static_cast<uint32_t>(tone.rate) * block);
        put16(f, block);
        put16(f, 16);
        f.write("data", 4);
        put32(f, n * block);
        double phase = 0;
        for (uint32_t i = 0; i < n; ++i) {
            double t = static_cast<double>(i) / tone.rate;
            double hz = tone.sweep_from + (tone.sweep_to - tone.sweep_from) * t / tone.seconds;
            phase += 2 * pi * hz / tone.rate;
            double fade = std::min(1.0, std::min(t, tone.seconds - t) / 0.01);
            double left = 0.4 * fade * std::sin(phase);
            double right = 0.3 * fade * (0.6 + 0.4 * std::sin(2 * pi * 0.7 * t)) *
                           std::sin(2 * pi * tone.right_hz * t);
            put16(f, static_cast<uint16_t>(static_cast<int16_t>(std::lround(left * 32767))));
            if (tone.channels == 2)
                put16(f, static_cast<uint16_t>(static_cast<int16_t>(std::lround(right * 32767))));
        }
        if (!f) return false;
    }
    std::string cmd = "lame --quiet -b 128 ";
    if (tone.channels == 1) cmd += "-m m ";
    cmd += "\"" + wav + "\" \"" + mp3_path + "\"";
    bool ok = std::system(cmd.c_str()) == 0 && fs::exists(mp3_path);
    fs::remove(wav);
    return ok;
}

bool make_sox_mp3(const std::string& mp3_path, int rate, int channels, const std::string& effects,
                  const std::string& lame_args) {
    std::string wav = mp3_path + ".wav";
    std::string sox = "sox -R -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) +
                      " -b 16 \"" + wav + "\" " + effects;
    bool ok = std::system(sox.c_str()) == 0 &&
              std::system(("lame --quiet " + lame_args + " \"" + wav + "\" \"" + mp3_path + "\"").c_str()) == 0 &&
              fs::exists(mp3_path);
    fs::remove(wav);
    return ok;
}

std::vector<unsigned char> read_bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

bool write_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

Pcm reference_decode(const std::string& mp3_path, int rate, long* native_rate) {
    Pcm out;
    mpg123_init();
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    if (!mh) return out;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET | MPG123_FORCE_STEREO, 0);
    if (native_rate) {
        // The file's own rate, read with every format allowed.
        if (mpg123_open(mh, mp3_path.c_str()) == MPG123_OK) {
            int ch, enc;
            mpg123_getformat(mh, native_rate, &ch, &enc);
            mpg123_close(mh);
        }
    }
    mpg123_format_none(mh);
    mpg123_format(mh, rate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(mh, mp3_path.c_str()) == MPG123_OK) {
        std::vector<unsigned char> buf(65536);
        for (;;) {
            size_t got = 0;
            int ret = mpg123_read(mh, buf.data(), buf.size(), &got);
            const int16_t* s = reinterpret_cast<const int16_t*>(buf.data());
            out.insert(out.end(), s, s + got / 2);
            if (ret != MPG123_OK && ret != MPG123_NEW_FORMAT) break;
        }
    }
    mpg123_delete(mh);
    return out;
}

Pcm read_pcm(const std::string& path) {
    std::vector<unsigned char> bytes = read_bytes(path);
    Pcm pcm(bytes.size() / 4 * 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return pcm;
}

bool silent(const Pcm& pcm, size_t from, size_t to) {
    to = std::min(to, frames(pcm));
    for (size_t i = 2 * from; i < 2 * to; ++i)
        if (pcm[i] != 0) return false;
    return true;
}

size_t first_sound(const Pcm& pcm) {
    size_t at = 0;
    while (at < frames(pcm) && silent(pcm, at, at + 1)) ++at;
    return at;
}

size_t matching_frames(const Pcm& out, size_t at, const Pcm& ref, size_t ref_from) {
    size_t n = 0;
    while (at + n < frames(out) && ref_from + n < frames(ref) &&
           out[2 * (at + n)] == ref[2 * (ref_from + n)] &&
           out[2 * (at + n) + 1] == ref[2 * (ref_from + n) + 1])
        ++n;
    return n;
}

void use_disk_driver(const std::string& file, int delay_ms) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    if (delay_ms >= 0) setenv("SDL_DISKAUDIODELAY", std::to_string(delay_ms).c_str(), 1);
    else unsetenv("SDL_DISKAUDIODELAY");
}

void use_dummy_driver() { setenv("SDL_AUDIODRIVER", "dummy", 1); }
