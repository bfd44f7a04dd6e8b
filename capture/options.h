// The capture's command line: what to render (track, start, length, frame rate, lighting) and
// how to write it (output kind by OUT's ending, scale, quality).
#pragma once

#include <string>

enum class OutputKind { Mp4, Mkv, Y4m, PngFrames, Webp, Apng };

struct CaptureOptions {
    std::string out;  // as given; a PNG folder keeps its trailing '/'
    OutputKind kind = OutputKind::Mp4;
    int fps = 60;
    int from_ms = 0;
    double seconds = 0.0;  // 0: to the end of the track
    int track = 0;
    int scale = 1;  // nearest neighbour, 1 to 4
    int width = 0;  // --size: the encoded picture, area-averaged; 0 when not given
    int height = 0;
    int crf = 18;
    int jobs = 1;  // render processes; parse_options sets the number of cores
    bool lighting = false;
    bool quiet = false;
};

// Fills options from argv. Returns 0 when the capture should run, -1 after --help was printed
// (exit 0), and 2 for a usage error, with the one-line message in *error.
int parse_options(int argc, char** argv, CaptureOptions* options, std::string* error);

extern const char kUsage[];
