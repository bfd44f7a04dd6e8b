// The bitmap font (256 display lists over a 16x16 glyph sheet) and the scrolling message.
#pragma once

extern unsigned int font_list_base;
extern const char scroller_message[];

void build_font();
void print_text(float scale, int x, int y, const char* text, int charset);
void draw_scroller();
