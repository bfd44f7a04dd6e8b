// The model scene: the camera swings on cosine and sine paths driven by the music clock and
// looks just past the origin, where the tomte and, 28 times larger, the torus turn slowly,
// both sphere-mapped.
#include "demo/scene.h"

#include <cmath>

#include "audio/music.h"
#include "demo/demo.h"
#include "platform/gl.h"

// The clock in milliseconds read as degrees, turned to radians with pi taken as 3.1415.
static const double kClockAngle = 0.017452777777777778;
static const float kSpinDegreesPerMs = 0.016666668f;

void draw_model_scene() {
    glLoadIdentity();
    double a = music_clock * kClockAngle;
    float eye_x = static_cast<float>(18.0 * sin(0.05 * a));
    float eye_y = static_cast<float>(cos(a * 0.08333333333333333) - 4.0);
    float eye_z = static_cast<float>(7.0 * cos(a * 0.06666666666666667));
    gluLookAt(eye_x, eye_y, eye_z, 0.0, -1.0, 0.0, 0.0, -1.0, 0.0);

    glScalef(0.1f, 0.15f, 0.1f);
    glRotatef(music_clock * kSpinDegreesPerMs, 0.0f, 1.0f, 0.0f);
    glRotatef(180.0f, 1.0f, 0.0f, 0.0f);

    glEnable(GL_TEXTURE_GEN_T);
    glEnable(GL_TEXTURE_GEN_S);
    glBindTexture(GL_TEXTURE_2D, objtex_texture);
    obj_draw(&tomte_model);

    glScalef(28.0f, 28.0f, 28.0f);
    glBindTexture(GL_TEXTURE_2D, metal_texture);
    obj_draw(&torus_model);

    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_S);
}
