// The demo's glyph sheet: a 16 x 16 grid of 48-pixel cells, white with each glyph's coverage in
// alpha. Character set 0 (rows 0-7) is DejaVu Sans, set 1 (rows 8-15) DejaVu Sans Bold; glyph
// g of a set shows the byte g + 32 (printable ASCII, bytes 127-159 blank).
#pragma once

#include <string>

#include "tools/gen_textures/image.h"

constexpr int kFontCell = 48;     // pixels per cell: 16 units at the demo's scale 3
constexpr int kFontAdvance = 30;  // the pen's step: 10 units at scale 3

// Renders the sheet the ordinary way up (glyph 0 at the top left, glyphs upright) as a
// 768 x 768 RGBA image. Returns false with a message on standard error when a font cannot be
// loaded or a glyph would not fit its cell.
bool make_font_sheet(const std::string& regular_font, const std::string& bold_font,
                     Image* sheet);

// Draws text the way the demo's printer does, from the sheet as stored in the file (upside
// down): cells of 48 pixels at a 30-pixel advance, added in the given colour by the glyphs'
// alpha. (x, y) is the first pen position from the bottom-left corner of the canvas (RGB).
void draw_text_like_the_demo(const Image& file_sheet, const std::string& text, int charset,
                             int x, int y, const uint8_t colour[3], Image* canvas);
