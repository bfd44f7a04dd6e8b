// The bitmap font: 256 display lists over the 16x16 glyph sheet, each drawing one glyph and
// moving the pen 10 units right; a printer for byte strings in one of two character sets; and
// the scroller that moves the demo's message along the lower letterbox bar with the music.
#include "demo/font.h"

#include <cstring>

#include "audio/music.h"
#include "demo/demo.h"
#include "demo/screen_size.h"
#include "platform/gl.h"

unsigned int font_list_base;

const char scroller_message[] =
    "welcome to glow of the snow. the night is long and the snow lies deep over the "
    "hills, and somewhere out there a tomte is keeping watch over the farm. sit back, "
    "let the music play and watch the ring of silver turn around him, shining in the "
    "light of the moon. greetings go out to everyone who still writes code for the joy "
    "of it, to everyone who stays up late to make a few pixels dance, and to everyone "
    "who ever waited for a scroller to come around again. use the arrow keys to change "
    "the music or to jump around in time, press l for a different kind of light, press f "
    "one to switch the screen mode, and press escape when you have had enough. remember "
    "to leave some porridge out for the tomte on christmas eve, or he might play tricks "
    "on you all year. stay warm and may your winter be bright. this was glow of the snow "
    "- see you next winter!";

void build_font() {
    font_list_base = glGenLists(256);
    for (int g = 0; g < 256; ++g) {
        float s0 = static_cast<float>(g % 16) * 0.0625f;
        float t1 = 1.0f - static_cast<float>(g / 16) * 0.0625f;
        float t0 = t1 - 0.0625f;
        float s1 = s0 + 0.0625f;
        glNewList(font_list_base + g, GL_COMPILE);
        glBegin(GL_QUADS);
        glTexCoord2f(s0, t0);
        glVertex2i(0, 0);
        glTexCoord2f(s1, t0);
        glVertex2i(16, 0);
        glTexCoord2f(s1, t1);
        glVertex2i(16, 16);
        glTexCoord2f(s0, t1);
        glVertex2i(0, 16);
        glEnd();
        glTranslated(10.0, 0.0, 0.0);
        glEndList();
    }
}

void print_text(float scale, int x, int y, const char* text, int charset) {
    if (charset > 1) charset = 1;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBindTexture(GL_TEXTURE_2D, font_texture);
    glDisable(GL_DEPTH_TEST);

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, screen_width, 0.0, screen_height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glTranslated(x, y, 0.0);
    glScalef(scale, scale, scale);

    // Byte b draws list base + b: byte 32 is the first glyph of the chosen set.
    glListBase(font_list_base + 128 * charset - 32);
    glCallLists(static_cast<GLsizei>(strlen(text)), GL_UNSIGNED_BYTE, text);

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
}

void draw_scroller() {
    glColor3f(1.0f, 0.0f, 0.0f);
    // One pixel to the left per 7 ms of music; the factor is the float nearest 1/7.
    int x = static_cast<int>(700.0 - static_cast<double>(music_clock) * static_cast<double>(0.14285715f));
    print_text(3.0f, x, 10, scroller_message, 1);
    glColor3f(1.0f, 1.0f, 1.0f);
}
