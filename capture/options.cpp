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

// The longest start and length a capture takes: a day.
constexpr long kDayMs = 24L * 3600 * 1000;

// An option that takes a value: where a whole-number value goes and its range (field null for
// the two that are not one number), and what the message names as a good value.
struct ValuedOption {
    const char* name;
    int CaptureOptions::*field;
    long min, max;
    const char* expect;
};

const ValuedOption kValued[] = {
    {"--fps", &CaptureOptions::fps, 1, 240, "a whole number from 1 to 240"},
    {"--from", &CaptureOptions::from_ms, 0, kDayMs, "milliseconds from 0 to 86400000 (24 h)"},
    {"--seconds", nullptr, 0, 0, "a number of seconds above 0, at most 86400 (24 h)"},
    {"--track", &CaptureOptions::track, 0, PLAYLIST_SLOTS - 1,
     "a playlist slot that holds a track"},
    {"--scale", &CaptureOptions::scale, 1, 4, "1, 2, 3 or 4"},
    {"--size", nullptr, 0, 0, "WIDTHxHEIGHT, even numbers, such as 320x240"},
    {"--crf", &CaptureOptions::crf, 0, 51, "a whole number from 0 to 51"},
    {"--jobs", &CaptureOptions::jobs, 1, 64, "a whole number from 1 to 64"},
};

// What each ending of OUT asks for; a trailing '/' asks for PNG frames.
const struct {
    const char* ending;
    OutputKind kind;
} kEndings[] = {{".mp4", OutputKind::Mp4},
                {".mkv", OutputKind::Mkv},
                {".y4m", OutputKind::Y4m},
                {".webp", OutputKind::Webp},
                {".apng", OutputKind::Apng}};

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
    if (*end || !std::isfinite(v) || v <= 0.0 || v > kDayMs / 1000.0) return false;
    *value = v;
    return true;
}

bool parse_size(const std::string& text, int* width, int* height) {
    size_t x = text.find('x');
    if (x == std::string::npos) return false;
    return parse_int(text.substr(0, x), 16, 7680, width) &&
           parse_int(text.substr(x + 1), 16, 4320, height) && *width % 2 == 0 && *height % 2 == 0;
}

bool parse_value(const ValuedOption& option, const std::string& value, CaptureOptions* o) {
    if (option.field == &CaptureOptions::track)
        return parse_int(value, option.min, option.max, &o->track) && Playlist[o->track];
    if (option.field) return parse_int(value, option.min, option.max, &(o->*option.field));
    if (!strcmp(option.name, "--seconds")) return parse_seconds(value, &o->seconds);
    return parse_size(value, &o->width, &o->height);
}

// Reads the option at argv[*i] (a name starting with "--"), and its value from the same word
// after '=' or from the next word. 0, or 2 with the message.
int read_option(int argc, char** argv, int* i, CaptureOptions* o, bool* have_scale, bool* have_jobs,
                std::string* error) {
    std::string name = argv[*i], value;
    const size_t eq = name.find('=');
    const bool inline_value = eq != std::string::npos;
    if (inline_value) {
        value = name.substr(eq + 1);
        name.resize(eq);
    }
    if (name == "--lighting" || name == "--quiet") {
        if (inline_value) return (*error = name + " takes no value"), 2;
        (name == "--lighting" ? o->lighting : o->quiet) = true;
        return 0;
    }
    for (const ValuedOption& option : kValued) {
        if (name != option.name) continue;
        if (!inline_value) {
            if (*i + 1 >= argc) return (*error = name + " needs a value"), 2;
            value = argv[++*i];
        }
        if (!parse_value(option, value, o)) {
            *error = "bad value '" + value + "' for " + name + ": expected " + option.expect;
            return 2;
        }
        *have_scale = *have_scale || option.field == &CaptureOptions::scale;
        *have_jobs = *have_jobs || option.field == &CaptureOptions::jobs;
        return 0;
    }
    *error = "unknown option " + name;
    return 2;
}

// The kind of output OUT's ending asks for; false when it names none.
bool output_kind(const std::string& out, OutputKind* kind) {
    if (out.back() == '/') {
        *kind = OutputKind::PngFrames;
        return true;
    }
    for (const auto& e : kEndings)
        if (ends_with(out, e.ending)) {
            *kind = e.kind;
            return true;
        }
    return false;
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
        const bool word = arg.size() < 2 || arg.compare(0, 2, "--") != 0 || arg == "--";
        if (!word) {
            if (int status = read_option(argc, argv, &i, o, &have_scale, &have_jobs, error))
                return status;
            continue;
        }
        if (arg == "--" && i + 1 < argc) arg = argv[++i];
        if (have_out) {
            *error = "more than one output given: " + o->out + " and " + arg;
            return 2;
        }
        o->out = arg;
        have_out = true;
    }
    if (!have_out || o->out.empty()) {
        *error = "no output given (try --help)";
        return 2;
    }
    if (have_scale && o->width) {
        *error = "--scale and --size exclude each other";
        return 2;
    }
    if (!output_kind(o->out, &o->kind)) {
        *error = "cannot tell what to write from '" + o->out +
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
