// The bitmap font, its text printer and the scrolling message.
#pragma once

extern unsigned int font_list_base;
extern const char scroller_message[842];  // 841 bytes and the NUL

// Makes 256 display lists (font_list_base on), one glyph of font_texture's 16x16 sheet each,
// that draw a 16x16 quad and move the pen 10 units right. Needs a current context.
void build_font();
// Draws text at (x, y) pixels from the bottom left, glyphs scaled by scale, from character
// set 0 or 1 (higher counts as 1), blended additively in the current colour; ends with the
// depth test on and blending off.
void print_text(float scale, int x, int y, const char* text, int charset);
// Prints scroller_message in red along the lower bar, at the position music_clock gives.
void draw_scroller();
