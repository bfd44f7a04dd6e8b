// The demo's glyph sheet: a 16 x 16 grid of 48-pixel cells, white with each glyph's coverage in
// alpha, rendered with FreeType from DejaVu Sans and DejaVu Sans Bold.
#include "tools/gen_textures/font_sheet.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kGrid = 16;
constexpr int kSheet = kGrid * kFontCell;

// The em size in pixels: lower case reads well at the 30-pixel advance (x-height about 20
// pixels) and the tallest and deepest glyphs still fit the 48-pixel cell.
constexpr int kPixelSize = 40;
// The baseline, in pixels above the cell's bottom edge (about 3.7 of the 16 units).
constexpr int kBaseline = 12;
// The ink of every glyph lies within these columns of its cell, so that it stays inside the
// pen's 30-pixel step and never reaches the part of the cell the next glyph's quad covers.
constexpr double kInkLeft = 1.5;
constexpr double kInkRight = 29.0;

struct FreeType {
    FT_Library library = nullptr;
    ~FreeType() {
        if (library) FT_Done_FreeType(library);
    }
};

struct Face {
    FT_Face face = nullptr;
    ~Face() {
        if (face) FT_Done_Face(face);
    }
};

// Renders the printable ASCII characters of one font into rows first_row.. of the sheet.
bool render_set(FT_Library library, const std::string& font_path, int first_row, Image* sheet) {
    Face f;
    if (FT_New_Face(library, font_path.c_str(), 0, &f.face) != 0) {
        std::fprintf(stderr, "gen_textures: cannot load the font %s\n", font_path.c_str());
        return false;
    }
    FT_Set_Pixel_Sizes(f.face, 0, kPixelSize);

    for (int byte = 33; byte <= 126; ++byte) {
        const int glyph = byte - 32;
        const int cell_x = (glyph % kGrid) * kFontCell;
        const int cell_y = (first_row + glyph / kGrid) * kFontCell;

        // Measure the unhinted outline: its advance and ink extent.
        FT_Set_Transform(f.face, nullptr, nullptr);
        if (FT_Load_Char(f.face, byte, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) {
            std::fprintf(stderr, "gen_textures: %s has no glyph for '%c'\n", font_path.c_str(),
                         byte);
            return false;
        }
        FT_BBox box;
        FT_Outline_Get_CBox(&f.face->glyph->outline, &box);
        const double advance = f.face->glyph->advance.x / 64.0;
        const double ink_left = box.xMin / 64.0, ink_right = box.xMax / 64.0;

        // Wide glyphs (m, w, M, W, @ ...) are narrowed to fit the step; the rest keep their
        // shape. Each glyph's advance is centred in the step, then nudged inside the limits.
        const double squeeze =
            std::min(1.0, (kInkRight - kInkLeft) / std::max(1.0, ink_right - ink_left));
        double offset = (kFontAdvance - advance * squeeze) / 2;
        if (offset + ink_left * squeeze < kInkLeft) offset = kInkLeft - ink_left * squeeze;
        if (offset + ink_right * squeeze > kInkRight) offset = kInkRight - ink_right * squeeze;

        FT_Matrix matrix{static_cast<FT_Fixed>(std::lround(squeeze * 65536)), 0, 0, 0x10000};
        FT_Vector delta{static_cast<FT_Pos>(std::lround(offset * 64)), 0};
        FT_Set_Transform(f.face, &matrix, &delta);
        if (FT_Load_Char(f.face, byte, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) != 0) return false;
        const FT_GlyphSlot slot = f.face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.rows > 0) return false;

        const int origin_x = cell_x + slot->bitmap_left;
        const int origin_y = cell_y + kFontCell - kBaseline - slot->bitmap_top;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            for (unsigned col = 0; col < bitmap.width; ++col) {
                const uint8_t coverage = bitmap.buffer[row * bitmap.pitch + col];
                if (coverage == 0) continue;
                const int x = origin_x + static_cast<int>(col);
                const int y = origin_y + static_cast<int>(row);
                if (x < cell_x || x >= cell_x + kFontAdvance || y < cell_y ||
                    y >= cell_y + kFontCell) {
                    std::fprintf(stderr, "gen_textures: '%c' of %s does not fit its cell\n",
                                 byte, font_path.c_str());
                    return false;
                }
                uint8_t* p = sheet->at(x, y);
                p[3] = std::max(p[3], coverage);
            }
        }
    }
    FT_Set_Transform(f.face, nullptr, nullptr);
    return true;
}

}  // namespace

bool make_font_sheet(const std::string& regular_font, const std::string& bold_font,
                     Image* sheet) {
    *sheet = Image(kSheet, kSheet, 4);
    for (size_t i = 0; i < sheet->pixels.size(); i += 4)
        sheet->pixels[i] = sheet->pixels[i + 1] = sheet->pixels[i + 2] = 255;
    FreeType ft;
    if (FT_Init_FreeType(&ft.library) != 0) {
        std::fprintf(stderr, "gen_textures: FreeType does not start\n");
        return false;
    }
    return render_set(ft.library, regular_font, 0, sheet) &&
           render_set(ft.library, bold_font, kGrid / 2, sheet);
}

void draw_text_like_the_demo(const Image& file_sheet, const std::string& text, int charset,
                             int x, int y, const uint8_t colour[3], Image* canvas) {
    int pen = x;
    for (unsigned char byte : text) {
        const int glyph = byte - 32 + 128 * charset;
        if (glyph < 128 * charset || glyph >= 128 * charset + 128) continue;  // no such list
        const int column = (glyph % kGrid) * kFontCell;
        // Cell row r spans t = 1 - (r + 1) / 16 .. 1 - r / 16, and the file's first row is
        // t = 0: the quad's bottom edge reads file row 768 - (r + 1) * 48, upward from there.
        const int bottom_row = kSheet - (glyph / kGrid + 1) * kFontCell;
        for (int v = 0; v < kFontCell; ++v) {
            const int screen_y = canvas->height - 1 - (y + v);
            if (screen_y < 0 || screen_y >= canvas->height) continue;
            for (int u = 0; u < kFontCell; ++u) {
                const int screen_x = pen + u;
                if (screen_x < 0 || screen_x >= canvas->width) continue;
                const uint8_t* texel = file_sheet.at(column + u, bottom_row + v);
                uint8_t* p = canvas->at(screen_x, screen_y);
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<uint8_t>(
                        std::min(255, p[c] + (colour[c] * texel[c] / 255) * texel[3] / 255));
            }
        }
        pen += kFontAdvance;
    }
}
