// The capture's command line: options with their values as separate words or after '=',
// checked for range here so that a bad value never reaches the renderer or the encoder.
#include "capture/options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "audio/music.h"
#include "demo/screen_size.h"

const char kUsage[] =
    "usage: glow-capture [options] OUT\n"
    "  OUT ending in .mp4 or .mkv: H.264 video and AAC audio; .y4m: raw frames and a .wav\n"
    "  beside it; .webp or .apng: an animated picture without sound; a folder ending in '/':\n"
    "  numbered PNG frames.\n"
    "  --fps N        frames per second (default 60)\n"
    "  --from MS      start at this music clock (default 0)\n"
    "  --seconds S    length (default: to the end of the track)\n"
    "  --track N      playlist slot (default 0)\n"
    "  --scale K      enlarge 1 to 4 times, nearest neighbour (default 1: 640x480)\n"
    "  --size WxH     encode at this size instead, area-averaged (for small previews)\n"
    "  --crf Q        H.264 quality, 0 (lossless) to 51 (default 18)\n"
    "  --jobs N       render in N processes at once (default: one per core)\n"
    "  --lighting     render with lighting on, as after pressing L\n"
    "  --quiet        no progress line\n";

namespace {

bool ends_with(const std::string& s, const char* suffix) {
    size_t n = strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
    return true;
}

bool parse_int(const std::string& text, long min, long max, int* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = strtol(text.c_str(), &end, 10);
    if (errno || *end || v < min || v > max) return false;
    *value = static_cast<int>(v);
    return true;
}

bool parse_seconds(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    double v = strtod(text.c_str(), &end);
    if (*end || !std::isfinite(v) || v <= 0.0 || v > 24.0 * 3600.0) return false;
    *value = v;
    return true;
}

bool parse_size(const std::string& text, int* width, int* height) {
    size_t x = text.find('x');
    if (x == std::string::npos) return false;
    return parse_int(text.substr(0, x), 16, 7680, width) &&
           parse_int(text.substr(x + 1), 16, 4320, height) && *width % 2 == 0 && *height % 2 == 0;
}

}  // namespace

int parse_options(int argc, char** argv, CaptureOptions* o, std::string* error) {
    bool have_out = false, have_scale = false, have_jobs = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            fputs(kUsage, stdout);
            return -1;
        }
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0 || arg == "--") {
            if (arg == "--" && i + 1 < argc) arg = argv[++i];
            if (have_out) {
                *error = "more than one output given: " + o->out + " and " + arg;
                return 2;
            }
            o->out = arg;
            have_out = true;
            continue;
        }
        std::string name = arg, value;
        bool inline_value = false;
        size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inline_value = true;
        }
        if (name == "--lighting" || name == "--quiet") {
            if (inline_value) {
                *error = name + " takes no value";
                return 2;
            }
            (name == "--lighting" ? o->lighting : o->quiet) = true;
            continue;
        }
        static const char* const kValued[] = {"--fps",   "--from", "--seconds", "--track",
                                              "--scale", "--size", "--crf",     "--jobs"};
        bool known = false;
        for (const char* v : kValued) known = known || name == v;
        if (!known) {
            *error = "unknown option " + name;
            return 2;
        }
        if (!inline_value) {
            if (i + 1 >= argc) {
                *error = name + " needs a value";
                return 2;
            }
            value = argv[++i];
        }
        bool good;
        const char* expect;
        if (name == "--fps") {
            good = parse_int(value, 1, 240, &o->fps);
            expect = "a whole number from 1 to 240";
        } else if (name == "--from") {
            good = parse_int(value, 0, 24L * 3600 * 1000, &o->from_ms);
            expect = "milliseconds, 0 or more";
        } else if (name == "--seconds") {
            good = parse_seconds(value, &o->seconds);
            expect = "a number of seconds above 0";
        } else if (name == "--track") {
            good = parse_int(value, 0, PLAYLIST_SLOTS - 1, &o->track) && Playlist[o->track];
            expect = "a playlist slot that holds a track";
        } else if (name == "--scale") {
            good = parse_int(value, 1, 4, &o->scale);
            have_scale = true;
            expect = "1, 2, 3 or 4";
        } else if (name == "--size") {
            good = parse_size(value, &o->width, &o->height);
            expect = "WIDTHxHEIGHT, even numbers, such as 320x240";
        } else if (name == "--jobs") {
            good = parse_int(value, 1, 64, &o->jobs);
            have_jobs = true;
            expect = "a whole number from 1 to 64";
        } else {
            good = parse_int(value, 0, 51, &o->crf);
            expect = "a whole number from 0 to 51";
        }
        if (!good) {
            *error = "bad value '" + value + "' for " + name + ": expected " + expect;
            return 2;
        }
    }
    if (!have_out || o->out.empty()) {
        *error = "no output given (try --help)";
        return 2;
    }
    if (have_scale && o->width) {
        *error = "--scale and --size exclude each other";
        return 2;
    }
    const std::string& out = o->out;
    if (out.back() == '/')
        o->kind = OutputKind::PngFrames;
    else if (ends_with(out, ".mp4"))
        o->kind = OutputKind::Mp4;
    else if (ends_with(out, ".mkv"))
        o->kind = OutputKind::Mkv;
    else if (ends_with(out, ".y4m"))
        o->kind = OutputKind::Y4m;
    else if (ends_with(out, ".webp"))
        o->kind = OutputKind::Webp;
    else if (ends_with(out, ".apng"))
        o->kind = OutputKind::Apng;
    else {
        *error = "cannot tell what to write from '" + out +
                 "': end it in .mp4, .mkv, .y4m, .webp, .apng or '/' for PNG frames";
        return 2;
    }
    if (!have_jobs) {
        long cores = sysconf(_SC_NPROCESSORS_ONLN);
        o->jobs = cores < 1 ? 1 : cores > 8 ? 8 : static_cast<int>(cores);
    }
    if (!o->width) {
        o->width = screen_width * o->scale;
        o->height = screen_height * o->scale;
    }
    return 0;
}
