// The glow post-process: the frame is copied into a texture, its bright parts isolated (the
// frame multiplied onto itself) and smeared at half size, stretched back over the screen, and
// the unprocessed frame added on top. Everything stays on the GPU.
#include "demo/glow.h"

#include "demo/screen_size.h"
#include "platform/gl.h"

unsigned int glow_textures[2];

bool create_glow_textures() {
    for (unsigned int& texture : glow_textures) {
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_RECTANGLE_ARB, texture);
        glTexParameteri(GL_TEXTURE_RECTANGLE_ARB, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_RECTANGLE_ARB, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
    return true;
}

// One quad over the whole viewport showing width x height texels from (dx, dy), upright.
void draw_screen_quad(int width, int height, int dx, int dy) {
    glTexCoord2f(static_cast<float>(dx), static_cast<float>(dy));
    glVertex3f(0.0f, 1.0f, -1.0f);
    glTexCoord2f(static_cast<float>(dx), static_cast<float>(height + dy));
    glVertex3f(0.0f, 0.0f, -1.0f);
    glTexCoord2f(static_cast<float>(width + dx), static_cast<float>(height + dy));
    glVertex3f(1.0f, 0.0f, -1.0f);
    glTexCoord2f(static_cast<float>(width + dx), static_cast<float>(dy));
    glVertex3f(1.0f, 1.0f, -1.0f);
}

// One smear along (dx, dy): the half-size picture so far is copied into the bound texture,
// drawn once in place and then added at 1 to radius texels either way, each copy weighted by
// the current colour's alpha.
static void smear(int w, int h, int radius, int dx, int dy) {
    glCopyTexImage2D(GL_TEXTURE_RECTANGLE_ARB, 0, GL_RGB, 0, 0, w, h, 0);
    glBlendFunc(GL_SRC_ALPHA, GL_ZERO);
    glBegin(GL_QUADS);
    draw_screen_quad(w, h, 0, 0);
    glEnd();
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBegin(GL_QUADS);
    for (int i = 1; i <= radius; ++i) {
        draw_screen_quad(w, h, -i * dx, -i * dy);
        draw_screen_quad(w, h, i * dx, i * dy);
    }
    glEnd();
}

void apply_glow(int blur_radius, int multiply_passes, int glow_layers, float strength) {
    const int W = screen_width, H = screen_height;
    const int w = W / 2, h = H / 2;

    glEnable(GL_TEXTURE_RECTANGLE_ARB);
    glColor3f(1.0f, 1.0f, 1.0f);
    glDisable(GL_DEPTH_TEST);

    glBindTexture(GL_TEXTURE_RECTANGLE_ARB, glow_textures[0]);
    glCopyTexImage2D(GL_TEXTURE_RECTANGLE_ARB, 0, GL_RGB, 0, 0, W, H, 0);

    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, 1.0, 1.0, 0.0, 0.1, 100.0);
    glViewport(0, 0, w, h);

    // Isolate the bright parts: the downscaled frame, multiplied onto itself.
    glBindTexture(GL_TEXTURE_RECTANGLE_ARB, glow_textures[0]);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    glDisable(GL_BLEND);
    glBegin(GL_QUADS);
    draw_screen_quad(W, H, 0, 0);
    glEnd();
    glEnable(GL_BLEND);
    glBegin(GL_QUADS);
    for (int i = 0; i < multiply_passes; ++i) draw_screen_quad(W, H, 0, 0);
    glEnd();

    // Smear the bright parts sideways, then up and down.
    glBindTexture(GL_TEXTURE_RECTANGLE_ARB, glow_textures[1]);
    float alpha = 1.0f + 2.0f * (strength / static_cast<float>(blur_radius));
    glColor4f(1.0f, 1.0f, 1.0f, alpha);
    smear(w, h, blur_radius, 1, 0);
    smear(w, h, blur_radius, 0, 1);

    // Composite: the blurred image stretched over the whole picture, extra layers added.
    glCopyTexImage2D(GL_TEXTURE_RECTANGLE_ARB, 0, GL_RGB, 0, 0, w, h, 0);
    glViewport(0, 0, W, H);
    glDisable(GL_BLEND);
    glBegin(GL_QUADS);
    draw_screen_quad(w, h, 0, 0);
    glEnd();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glBegin(GL_QUADS);
    for (int i = 1; i < glow_layers; ++i) draw_screen_quad(w, h, 0, 0);
    glEnd();

    // The unprocessed frame on top, one texel per pixel.
    glBindTexture(GL_TEXTURE_RECTANGLE_ARB, glow_textures[0]);
    glBegin(GL_QUADS);
    draw_screen_quad(W, H, 0, 0);
    glEnd();

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glDisable(GL_TEXTURE_RECTANGLE_ARB);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
}
