// The demo's script: start-up loads the textures, sets the GL state every frame relies on and
// starts meshes, font, glow and music; the frame draws scene, glow, letterbox bars and scroller.
#include "demo/demo.h"

#include "audio/music.h"
#include "demo/font.h"
#include "demo/glow.h"
#include "demo/scene.h"
#include "demo/screen_size.h"
#include "platform/gl.h"

unsigned int objtex_texture;
unsigned int font_texture;
unsigned int metal_texture;
pngInfo texture_info;
ObjModel torus_model;
ObjModel tomte_model;

static unsigned int load_texture(const char* path) {
    return pngBind(path, PNG_BUILDMIPMAPS, PNG_ALPHA, &texture_info, GL_REPEAT, GL_NEAREST,
                   GL_NEAREST);
}

int demo_init() {
    objtex_texture = load_texture("data/textures/objtex.png");
    font_texture = load_texture("data/textures/font.png");
    metal_texture = load_texture("data/textures/metal.png");

    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    // Sphere mapping is configured once; the scene switches generation on around its meshes.
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);

    obj_load(&torus_model, "data/3d/torus.obj");
    obj_load(&tomte_model, "data/3d/tomte.obj");
    build_font();
    create_glow_textures();
    start_music();
    return 1;
}

int demo_frame() {
    update_music_clock();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    draw_model_scene();
    apply_glow(1, 3, 1, 0.3f);

    draw_letterbox_bars();
    draw_scroller();
    return 1;
}

void draw_letterbox_bars() {
    glDisable(GL_TEXTURE_2D);
    begin_overlay_2d();
    glColor3f(0.0f, 0.0f, 0.0f);
    const float w = static_cast<float>(screen_width), h = static_cast<float>(screen_height);
    glBegin(GL_QUADS);  // top bar, rows 0-59
    glVertex2f(0.0f, 0.0f);
    glVertex2f(0.0f, 60.0f);
    glVertex2f(w, 60.0f);
    glVertex2f(w, 0.0f);
    glEnd();
    glBegin(GL_QUADS);  // bottom bar, the last 60 rows
    glVertex2f(0.0f, h - 60.0f);
    glVertex2f(0.0f, h);
    glVertex2f(w, h);
    glVertex2f(w, h - 60.0f);
    glEnd();
    glEnable(GL_TEXTURE_2D);
    end_overlay_2d();
}

void begin_overlay_2d() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, screen_width, screen_height, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void end_overlay_2d() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}
