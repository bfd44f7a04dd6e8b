// Writes the demo's textures into data/textures: objtex.png (a snowy night sky sphere map),
// metal.png (a chrome sphere map) and font.png (the glyph sheet). Deterministic: the same
// program and fonts give the same files. With --preview DIR it also writes upright views.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/gen_textures/font_sheet.h"
#include "tools/gen_textures/image.h"
#include "tools/gen_textures/sphere_maps.h"

#ifndef GLOW_DEJAVU_DIR
#define GLOW_DEJAVU_DIR "/usr/share/fonts/truetype/dejavu"
#endif

namespace {

constexpr int kSphereMapSize = 512;

// The sheet as stored composited over a dark background, turned back the right way up.
Image font_preview(const Image& file_sheet) {
    Image upright = flipped_vertically(file_sheet);
    Image out(upright.width, upright.height, 3);
    for (int y = 0; y < upright.height; ++y)
        for (int x = 0; x < upright.width; ++x) {
            const uint8_t* s = upright.at(x, y);
            uint8_t* d = out.at(x, y);
            // Cell borders in dark blue, so the grid can be checked by eye.
            const bool border = x % kFontCell == 0 || y % kFontCell == 0;
            const int background = border ? 70 : 20;
            for (int c = 0; c < 3; ++c)
                d[c] = static_cast<uint8_t>(background + (s[c] - background) * s[3] / 255);
        }
    return out;
}

// A 640 x 240 picture of text drawn the way the demo draws it, in red on a black bar and in
// white on grey, from the sheet as stored.
Image text_preview(const Image& file_sheet) {
    Image out(640, 240, 3);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 640; ++x) {
            uint8_t* p = out.at(x, y);
            const uint8_t shade = y < 60 ? 0 : (y < 120 ? 40 : 0);
            p[0] = p[1] = p[2] = shade;
        }
    const uint8_t red[3] = {255, 0, 0}, white[3] = {255, 255, 255};
    draw_text_like_the_demo(file_sheet, "snow falls softly, the moon - glows!", 1, 10, 190, red,
                            &out);
    draw_text_like_the_demo(file_sheet, "Quick Brown Fox: 0123456789 (@#$%&*)", 0, 10, 130,
                            white, &out);
    draw_text_like_the_demo(file_sheet, "gjpqy {[|]} ~`^_ \"'?<>/\\ ;=+", 0, 10, 70, white,
                            &out);
    draw_text_like_the_demo(file_sheet, "the tomte dreams of warm porridge.", 1, 10, 10, red,
                            &out);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--preview") == 0)) {
        std::fprintf(stderr, "usage: gen_textures OUTPUT_DIR [--preview PREVIEW_DIR]\n");
        return 2;
    }
    const std::string out = argv[1];
    const std::string fonts = GLOW_DEJAVU_DIR;

    Image sheet;
    if (!make_font_sheet(fonts + "/DejaVuSans.ttf", fonts + "/DejaVuSans-Bold.ttf", &sheet))
        return 1;
    // The loader puts the file's first row at t = 0 and the printer maps cell row 0 to the
    // band at t = 1, so the file holds the sheet upside down. The sphere maps likewise: the
    // reflections that point up belong at t = 1, the end of the file.
    const Image font_file = flipped_vertically(sheet);
    const Image sky = snowy_sky_map(kSphereMapSize);
    const Image chrome = chrome_map(kSphereMapSize);
    if (!write_png(out + "/font.png", font_file) ||
        !write_png(out + "/objtex.png", flipped_vertically(sky)) ||
        !write_png(out + "/metal.png", flipped_vertically(chrome)))
        return 1;

    if (argc == 4) {
        const std::string preview = argv[3];
        if (!write_png(preview + "/font_view.png", font_preview(font_file)) ||
            !write_png(preview + "/text_view.png", text_preview(font_file)) ||
            !write_png(preview + "/objtex_view.png", sky) ||
            !write_png(preview + "/metal_view.png", chrome))
            return 1;
    }
    return 0;
}
