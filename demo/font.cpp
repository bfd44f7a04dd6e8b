// The bitmap font and the scroller (not filled in yet).
#include "demo/font.h"

unsigned int font_list_base;
const char scroller_message[] = "";

void build_font() {}
void print_text(float, int, int, const char*, int) {}
void draw_scroller() {}
