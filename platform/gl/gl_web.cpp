// Built on WebGL 2 (emscripten's bindings); runs in the browser: the OpenGL 1.1 and GLU subset
// the demo calls, implemented by us. Vertices are transformed, sphere-mapped and lit on the CPU
// with the same float arithmetic as Mesa's fixed-function path; one small shader only
// rasterises them. Display lists are recorded into a command buffer and replayed into the same
// vertex batches, so a string of 841 glyph lists costs one draw call.
//
// What it covers: immediate mode (triangles, quads, strips, fans, polygons), the modelview,
// projection and texture matrix stacks, display lists of drawing, current attributes and
// matrix operations, 2D and rectangle textures (the latter as 2D textures addressed in texels,
// clamped to the edge), sphere-map texture generation, the lighting switch without lights
// (the default material under the default ambient light), blending, the depth test, copies
// from the back buffer. What the demo never calls (lights, materials, fog, other texture
// generation modes, flat shading, points and lines) is not there.
#include "platform/gl/gl_web.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <unordered_map>
#include <vector>

// The WebGL 2 calls themselves, under the names emscripten gives them beside the plain GL names
// that this file defines.
extern "C" {
void emscripten_glActiveTexture(GLenum);
void emscripten_glAttachShader(GLuint, GLuint);
void emscripten_glBindAttribLocation(GLuint, GLuint, const char*);
void emscripten_glBindBuffer(GLenum, GLuint);
void emscripten_glBindFramebuffer(GLenum, GLuint);
void emscripten_glBindRenderbuffer(GLenum, GLuint);
void emscripten_glBindTexture(GLenum, GLuint);
void emscripten_glBindVertexArray(GLuint);
void emscripten_glBlendFunc(GLenum, GLenum);
void emscripten_glBlitFramebuffer(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint,
                                  GLbitfield, GLenum);
void emscripten_glBufferData(GLenum, GLsizeiptr, const void*, GLenum);
GLenum emscripten_glCheckFramebufferStatus(GLenum);
void emscripten_glClear(GLbitfield);
void emscripten_glClearColor(GLfloat, GLfloat, GLfloat, GLfloat);
void emscripten_glClearDepthf(GLfloat);
void emscripten_glColorMask(GLboolean, GLboolean, GLboolean, GLboolean);
void emscripten_glCompileShader(GLuint);
void emscripten_glCopyTexImage2D(GLenum, GLint, GLenum, GLint, GLint, GLsizei, GLsizei, GLint);
void emscripten_glCopyTexSubImage2D(GLenum, GLint, GLint, GLint, GLint, GLint, GLsizei, GLsizei);
GLuint emscripten_glCreateProgram();
GLuint emscripten_glCreateShader(GLenum);
void emscripten_glCullFace(GLenum);
void emscripten_glDeleteBuffers(GLsizei, const GLuint*);
void emscripten_glDeleteFramebuffers(GLsizei, const GLuint*);
void emscripten_glDeleteProgram(GLuint);
void emscripten_glDeleteRenderbuffers(GLsizei, const GLuint*);
void emscripten_glDeleteShader(GLuint);
void emscripten_glDeleteTextures(GLsizei, const GLuint*);
void emscripten_glDeleteVertexArrays(GLsizei, const GLuint*);
void emscripten_glDepthFunc(GLenum);
void emscripten_glDepthMask(GLboolean);
void emscripten_glDisable(GLenum);
void emscripten_glDrawArrays(GLenum, GLint, GLsizei);
void emscripten_glEnable(GLenum);
void emscripten_glEnableVertexAttribArray(GLuint);
void emscripten_glFinish();
void emscripten_glFlush();
void emscripten_glFramebufferRenderbuffer(GLenum, GLenum, GLenum, GLuint);
void emscripten_glFrontFace(GLenum);
void emscripten_glGenBuffers(GLsizei, GLuint*);
void emscripten_glGenFramebuffers(GLsizei, GLuint*);
void emscripten_glGenRenderbuffers(GLsizei, GLuint*);
void emscripten_glGenTextures(GLsizei, GLuint*);
void emscripten_glGenVertexArrays(GLsizei, GLuint*);
GLenum emscripten_glGetError();
void emscripten_glGetIntegerv(GLenum, GLint*);
void emscripten_glGetProgramiv(GLuint, GLenum, GLint*);
void emscripten_glGetShaderiv(GLuint, GLenum, GLint*);
const GLubyte* emscripten_glGetString(GLenum);
GLint emscripten_glGetUniformLocation(GLuint, const char*);
void emscripten_glLinkProgram(GLuint);
void emscripten_glPixelStorei(GLenum, GLint);
void emscripten_glReadPixels(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
void emscripten_glRenderbufferStorage(GLenum, GLenum, GLsizei, GLsizei);
void emscripten_glShaderSource(GLuint, GLsizei, const char* const*, const GLint*);
void emscripten_glTexImage2D(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum,
                             const void*);
void emscripten_glTexParameteri(GLenum, GLenum, GLint);
void emscripten_glUniform1i(GLint, GLint);
void emscripten_glUniform2f(GLint, GLfloat, GLfloat);
void emscripten_glUseProgram(GLuint);
void emscripten_glVertexAttribPointer(GLuint, GLint, GLenum, GLboolean, GLsizei, const void*);
void emscripten_glViewport(GLint, GLint, GLsizei, GLsizei);
}

namespace {

// WebGL 2 names that an OpenGL 1.1 header does not have.
constexpr GLenum kArrayBuffer = 0x8892, kStreamDraw = 0x88E0;
constexpr GLenum kFramebuffer = 0x8D40, kReadFramebuffer = 0x8CA8, kDrawFramebuffer = 0x8CA9;
constexpr GLenum kRenderbuffer = 0x8D41, kColorAttachment0 = 0x8CE0, kDepthAttachment = 0x8D00;
constexpr GLenum kDepthComponent24 = 0x81A6, kFramebufferComplete = 0x8CD5;
constexpr GLenum kVertexShader = 0x8B31, kFragmentShader = 0x8B30;
constexpr GLenum kCompileStatus = 0x8B81, kLinkStatus = 0x8B82, kClampToEdge = 0x812F;
constexpr GLenum kUnpackRowLength = 0x0CF2, kUnpackSkipRows = 0x0CF3, kUnpackSkipPixels = 0x0CF4;
constexpr GLenum kUnmaskedRenderer = 0x9246;

constexpr int kModelviewDepth = 32, kProjectionDepth = 32, kTextureDepth = 32;
constexpr int kMaxAttribDepth = 16;
constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------------------------
// Matrices, column-major as OpenGL keeps them, with Mesa's float arithmetic.

struct Mat4 {
    GLfloat m[16];
};

const Mat4 kIdentity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

#define M(mat, row, col) (mat)[(col) * 4 + (row)]

// product = a * b
void mat_mul(GLfloat* product, const GLfloat* a, const GLfloat* b) {
    GLfloat p[16];
    for (int i = 0; i < 4; ++i) {
        const GLfloat ai0 = M(a, i, 0), ai1 = M(a, i, 1), ai2 = M(a, i, 2), ai3 = M(a, i, 3);
        M(p, i, 0) = ai0 * M(b, 0, 0) + ai1 * M(b, 1, 0) + ai2 * M(b, 2, 0) + ai3 * M(b, 3, 0);
        M(p, i, 1) = ai0 * M(b, 0, 1) + ai1 * M(b, 1, 1) + ai2 * M(b, 2, 1) + ai3 * M(b, 3, 1);
        M(p, i, 2) = ai0 * M(b, 0, 2) + ai1 * M(b, 1, 2) + ai2 * M(b, 2, 2) + ai3 * M(b, 3, 2);
        M(p, i, 3) = ai0 * M(b, 0, 3) + ai1 * M(b, 1, 3) + ai2 * M(b, 2, 3) + ai3 * M(b, 3, 3);
    }
    memcpy(product, p, sizeof p);
}

void mat_translate(GLfloat* m, GLfloat x, GLfloat y, GLfloat z) {
    m[12] = m[0] * x + m[4] * y + m[8] * z + m[12];
    m[13] = m[1] * x + m[5] * y + m[9] * z + m[13];
    m[14] = m[2] * x + m[6] * y + m[10] * z + m[14];
    m[15] = m[3] * x + m[7] * y + m[11] * z + m[15];
}

void mat_scale(GLfloat* m, GLfloat x, GLfloat y, GLfloat z) {
    for (int i = 0; i < 4; ++i) {
        m[i] *= x;
        m[4 + i] *= y;
        m[8 + i] *= z;
    }
}

// The rotation matrix as Mesa builds it: exact cosines and sines on the axes themselves.
void mat_rotate(GLfloat* mat, GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    if (angle == 0.0f) return;
    const GLfloat s = static_cast<GLfloat>(sin(angle * kPi / 180.0));
    const GLfloat c = static_cast<GLfloat>(cos(angle * kPi / 180.0));
    Mat4 r = kIdentity;
    GLfloat* m = r.m;
    bool done = false;
    if (x == 0.0f && y == 0.0f && z != 0.0f) {
        M(m, 0, 0) = c;
        M(m, 1, 1) = c;
        M(m, 0, 1) = z < 0.0f ? s : -s;
        M(m, 1, 0) = z < 0.0f ? -s : s;
        done = true;
    } else if (x == 0.0f && z == 0.0f && y != 0.0f) {
        M(m, 0, 0) = c;
        M(m, 2, 2) = c;
        M(m, 0, 2) = y < 0.0f ? -s : s;
        M(m, 2, 0) = y < 0.0f ? s : -s;
        done = true;
    } else if (y == 0.0f && z == 0.0f && x != 0.0f) {
        M(m, 1, 1) = c;
        M(m, 2, 2) = c;
        M(m, 1, 2) = x < 0.0f ? s : -s;
        M(m, 2, 1) = x < 0.0f ? -s : s;
        done = true;
    }
    if (!done) {
        const GLfloat mag = sqrtf(x * x + y * y + z * z);
        if (mag <= 1.0e-4f) return;
        x /= mag;
        y /= mag;
        z /= mag;
        const GLfloat xx = x * x, yy = y * y, zz = z * z, xy = x * y, yz = y * z, zx = z * x;
        const GLfloat xs = x * s, ys = y * s, zs = z * s, one_c = 1.0f - c;
        M(m, 0, 0) = (one_c * xx) + c;
        M(m, 0, 1) = (one_c * xy) - zs;
        M(m, 0, 2) = (one_c * zx) + ys;
        M(m, 1, 0) = (one_c * xy) + zs;
        M(m, 1, 1) = (one_c * yy) + c;
        M(m, 1, 2) = (one_c * yz) - xs;
        M(m, 2, 0) = (one_c * zx) - ys;
        M(m, 2, 1) = (one_c * yz) + xs;
        M(m, 2, 2) = (one_c * zz) + c;
    }
    mat_mul(mat, mat, m);
}

void mat_ortho(GLfloat* mat, GLfloat left, GLfloat right, GLfloat bottom, GLfloat top,
               GLfloat near_val, GLfloat far_val) {
    Mat4 o = {};
    GLfloat* m = o.m;
    M(m, 0, 0) = 2.0f / (right - left);
    M(m, 0, 3) = -(right + left) / (right - left);
    M(m, 1, 1) = 2.0f / (top - bottom);
    M(m, 1, 3) = -(top + bottom) / (top - bottom);
    M(m, 2, 2) = -2.0f / (far_val - near_val);
    M(m, 2, 3) = -(far_val + near_val) / (far_val - near_val);
    M(m, 3, 3) = 1.0f;
    mat_mul(mat, mat, m);
}

void mat_frustum(GLfloat* mat, GLfloat left, GLfloat right, GLfloat bottom, GLfloat top,
                 GLfloat near_val, GLfloat far_val) {
    Mat4 f = {};
    GLfloat* m = f.m;
    M(m, 0, 0) = (2.0f * near_val) / (right - left);
    M(m, 0, 2) = (right + left) / (right - left);
    M(m, 1, 1) = (2.0f * near_val) / (top - bottom);
    M(m, 1, 2) = (top + bottom) / (top - bottom);
    M(m, 2, 2) = -(far_val + near_val) / (far_val - near_val);
    M(m, 2, 3) = -(2.0f * far_val * near_val) / (far_val - near_val);
    M(m, 3, 2) = -1.0f;
    mat_mul(mat, mat, m);
}

// out = m * (x, y, z, w), one dot product per row.
void mat_apply(const GLfloat* m, const GLfloat* v, GLfloat* out) {
    for (int r = 0; r < 4; ++r)
        out[r] = M(m, r, 0) * v[0] + M(m, r, 1) * v[1] + M(m, r, 2) * v[2] + M(m, r, 3) * v[3];
}

// The inverse transpose of the upper 3x3, which carries normals into eye space.
void normal_matrix(const GLfloat* m, GLfloat* n /* 3x3, row-major */) {
    const GLfloat a = M(m, 0, 0), b = M(m, 0, 1), c = M(m, 0, 2);
    const GLfloat d = M(m, 1, 0), e = M(m, 1, 1), f = M(m, 1, 2);
    const GLfloat g = M(m, 2, 0), h = M(m, 2, 1), k = M(m, 2, 2);
    const GLfloat ca = e * k - f * h, cb = -(d * k - f * g), cc = d * h - e * g;
    GLfloat det = a * ca + b * cb + c * cc;
    if (fabsf(det) < 1e-25f) {
        for (int i = 0; i < 9; ++i) n[i] = i % 4 == 0 ? 1.0f : 0.0f;
        return;
    }
    det = 1.0f / det;
    // Row i of the inverse transpose is column i of the inverse: the cofactors of row i.
    n[0] = ca * det;
    n[1] = cb * det;
    n[2] = cc * det;
    n[3] = -(b * k - c * h) * det;
    n[4] = (a * k - c * g) * det;
    n[5] = -(a * h - b * g) * det;
    n[6] = (b * f - c * e) * det;
    n[7] = -(a * f - c * d) * det;
    n[8] = (a * e - b * d) * det;
}

#undef M

struct MatrixStack {
    std::vector<Mat4> items;
    int limit;
    explicit MatrixStack(int depth) : items{kIdentity}, limit(depth) {}
    GLfloat* top() { return items.back().m; }
};

// ---------------------------------------------------------------------------------------------
// State.

// A vertex as the rasteriser gets it: clip coordinates, texture coordinate, colour.
struct OutVertex {
    GLfloat clip[4];
    GLfloat tc[2];
    GLfloat color[4];
};

struct Texture {
    GLsizei width = 0, height = 0;  // level 0; 0 while it has no image
    bool rectangle = false;         // bound to the rectangle target at least once
};

// What a batch of vertices is drawn with besides the GL state set directly: which texture, and
// for a rectangle texture the scale from texels to 0..1.
struct BatchKey {
    GLuint texture = 0;  // 0: untextured
    GLfloat scale_s = 1, scale_t = 1;
    bool operator!=(const BatchKey& o) const {
        return texture != o.texture || scale_s != o.scale_s || scale_t != o.scale_t;
    }
};

// A display list: opcodes and their float arguments, in one stream.
enum Op : int {
    kOpBegin, kOpEnd, kOpVertex, kOpTexCoord, kOpNormal, kOpColor, kOpTranslate, kOpScale,
    kOpRotate, kOpMultMatrix, kOpLoadIdentity, kOpPush, kOpPop, kOpCallList,
};
struct List {
    std::vector<float> code;
};

struct PixelStore {
    GLint alignment = 4, row_length = 0, skip_rows = 0, skip_pixels = 0;
};

struct State {
    bool context = false;
    int width = 0, height = 0;
    GLuint framebuffer = 0, color_buffer = 0, depth_buffer = 0;
    GLuint program = 0, vertex_array = 0, vertex_buffer = 0;
    GLint u_textured = -1, u_texscale = -1, u_sampler = -1;

    MatrixStack modelview{kModelviewDepth}, projection{kProjectionDepth}, texture{kTextureDepth};
    GLenum matrix_mode = GL_MODELVIEW;
    bool mvp_valid = false, normal_valid = false, texture_identity = true;
    Mat4 mvp;
    GLfloat normal[9];

    GLfloat color[4] = {1, 1, 1, 1};
    GLfloat texcoord[2] = {0, 0};
    GLfloat normal_current[3] = {0, 0, 1};

    bool texture_2d = false, texture_rect = false, gen_s = false, gen_t = false;
    bool lighting = false, normalize = false, depth_test = false, blend = false, cull = false;
    GLint gen_mode_s = GL_EYE_LINEAR, gen_mode_t = GL_EYE_LINEAR;
    GLuint bound_2d = 0, bound_rect = 0, gpu_bound = 0;
    std::unordered_map<GLuint, Texture> textures;

    GLenum primitive = 0;  // inside glBegin/glEnd when nonzero
    OutVertex prim[4];     // the primitive's vertices still needed to complete a triangle
    int prim_count = 0;
    size_t prim_triangles = 0;  // strips: triangles so far, for the winding of the next

    std::vector<OutVertex> batch;
    BatchKey batch_key;
    bool key_valid = false;  // batch_key is what the texture state now says

    std::unordered_map<GLuint, List> lists;
    GLuint next_list = 1;
    GLuint list_base = 0;
    GLuint compiling = 0;  // the list being recorded, 0 when none
    GLenum list_mode = 0;
    List recording;
    int call_depth = 0;

    PixelStore unpack;
    std::vector<PixelStore> client_stack;
    GLenum error = GL_NO_ERROR;
};

State st;

void set_error(GLenum e) {
    if (st.error == GL_NO_ERROR) st.error = e;
}

MatrixStack& current_stack() {
    switch (st.matrix_mode) {
        case GL_PROJECTION: return st.projection;
        case GL_TEXTURE: return st.texture;
        default: return st.modelview;
    }
}

// ---------------------------------------------------------------------------------------------
// Drawing: batches of transformed vertices, drawn when something the GPU sees changes.

void bind_gpu_texture(GLuint name) {
    if (st.gpu_bound != name) {
        emscripten_glBindTexture(GL_TEXTURE_2D, name);
        st.gpu_bound = name;
    }
}

void flush() {
    if (st.batch.empty() || !st.context) {
        st.batch.clear();
        return;
    }
    const BatchKey& k = st.batch_key;
    emscripten_glUniform1i(st.u_textured, k.texture != 0);
    if (k.texture) {
        bind_gpu_texture(k.texture);
        emscripten_glUniform2f(st.u_texscale, k.scale_s, k.scale_t);
    }
    emscripten_glBufferData(kArrayBuffer, static_cast<GLsizeiptr>(st.batch.size() * sizeof(OutVertex)),
                            st.batch.data(), kStreamDraw);
    emscripten_glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(st.batch.size()));
    st.batch.clear();
}

// The texture the next vertices are drawn with: the rectangle target takes precedence over
// 2D; a texture without an image disables texturing, as in OpenGL 1.x.
BatchKey texture_key() {
    BatchKey k;
    GLuint name = st.texture_rect ? st.bound_rect : st.texture_2d ? st.bound_2d : 0;
    if (!name) return k;
    auto it = st.textures.find(name);
    if (it == st.textures.end() || it->second.width == 0 || it->second.height == 0) return k;
    k.texture = name;
    if (st.texture_rect) {
        k.scale_s = 1.0f / static_cast<GLfloat>(it->second.width);
        k.scale_t = 1.0f / static_cast<GLfloat>(it->second.height);
    }
    return k;
}

const GLfloat* mvp() {
    if (!st.mvp_valid) {
        mat_mul(st.mvp.m, st.projection.top(), st.modelview.top());
        st.mvp_valid = true;
    }
    return st.mvp.m;
}

const GLfloat* eye_normal_matrix() {
    if (!st.normal_valid) {
        normal_matrix(st.modelview.top(), st.normal);
        st.normal_valid = true;
    }
    return st.normal;
}

void matrices_changed() {
    st.mvp_valid = false;
    st.normal_valid = false;
    st.texture_identity = !memcmp(st.texture.top(), kIdentity.m, sizeof kIdentity.m);
}

// The texture state changed (binding, enabling, an image): the next primitive looks it up.
void texture_changed() { st.key_valid = false; }

// Called at glBegin: texture state cannot change inside a primitive, so a whole primitive
// goes into one batch, and a batch ends where the texture changes.
void start_primitive_batch() {
    if (st.key_valid) return;
    BatchKey key = texture_key();
    if (!st.batch.empty() && key != st.batch_key) flush();
    st.batch_key = key;
    st.key_valid = true;
}

// Per-vertex fixed function, on the current attributes: position, texture-coordinate
// generation, texture matrix, lighting, colour clamping.
void transform(const GLfloat* pos, OutVertex& o) {
    mat_apply(mvp(), pos, o.clip);
    GLfloat s = st.texcoord[0], t = st.texcoord[1];
    bool sphere_s = st.gen_s && st.gen_mode_s == GL_SPHERE_MAP;
    bool sphere_t = st.gen_t && st.gen_mode_t == GL_SPHERE_MAP;
    if (sphere_s || sphere_t) {
        GLfloat eye[4];
        mat_apply(st.modelview.top(), pos, eye);
        const GLfloat* nm = eye_normal_matrix();
        const GLfloat* vn = st.normal_current;
        GLfloat n[3];
        for (int i = 0; i < 3; ++i)
            n[i] = nm[3 * i] * vn[0] + nm[3 * i + 1] * vn[1] + nm[3 * i + 2] * vn[2];
        if (st.normalize) {
            GLfloat len = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
            if (len > 0) {
                GLfloat inv = 1.0f / sqrtf(len);
                for (GLfloat& c : n) c *= inv;
            }
        }
        GLfloat u[3] = {eye[0], eye[1], eye[2]};
        GLfloat len = u[0] * u[0] + u[1] * u[1] + u[2] * u[2];
        if (len > 0) {
            GLfloat inv = 1.0f / sqrtf(len);
            for (GLfloat& c : u) c *= inv;
        }
        // r = u - 2 (n.u) n; m = 2 sqrt(rx^2 + ry^2 + (rz + 1)^2); s, t = r / m + 1/2
        GLfloat nu = n[0] * u[0] + n[1] * u[1] + n[2] * u[2];
        nu = nu + nu;
        GLfloat r[3] = {-nu * n[0] + u[0], -nu * n[1] + u[1], -nu * n[2] + u[2]};
        GLfloat rz1 = r[2] + 1.0f;
        GLfloat m2 = r[0] * r[0] + r[1] * r[1] + rz1 * rz1;
        GLfloat half_inv_m = m2 > 0 ? 0.5f / sqrtf(m2) : 0.0f;
        if (sphere_s) s = r[0] * half_inv_m + 0.5f;
        if (sphere_t) t = r[1] * half_inv_m + 0.5f;
    }
    if (!st.texture_identity) {
        GLfloat in[4] = {s, t, 0, 1}, out[4];
        mat_apply(st.texture.top(), in, out);
        s = out[0];
        t = out[1];
    }
    o.tc[0] = s;
    o.tc[1] = t;
    if (st.lighting) {
        // No lights are ever enabled here: what remains is the scene colour, the material's
        // emission (0) plus the default ambient light (0.2) times the material's ambient (0.2),
        // with the diffuse material's alpha (1).
        const GLfloat scene = 0.2f * 0.2f;
        o.color[0] = o.color[1] = o.color[2] = scene;
        o.color[3] = 1.0f;
    } else {
        for (int i = 0; i < 4; ++i) o.color[i] = fminf(fmaxf(st.color[i], 0.0f), 1.0f);
    }
}

void emit_triangle(const OutVertex& a, const OutVertex& b, const OutVertex& c) {
    st.batch.push_back(a);
    st.batch.push_back(b);
    st.batch.push_back(c);
}

// A vertex of the current primitive, transformed as it arrives; whole triangles go into the
// batch as they complete. Quads are split as Mesa splits them, along the diagonal from their
// second to their fourth corner.
void primitive_vertex(const GLfloat* pos) {
    OutVertex o;
    transform(pos, o);
    OutVertex* p = st.prim;
    switch (st.primitive) {
        case GL_TRIANGLES:
            st.batch.push_back(o);
            break;
        case GL_QUADS:
            p[st.prim_count++] = o;
            if (st.prim_count == 4) {
                emit_triangle(p[0], p[1], p[3]);
                emit_triangle(p[1], p[2], p[3]);
                st.prim_count = 0;
            }
            break;
        case GL_TRIANGLE_STRIP:
        case GL_QUAD_STRIP:
            // Every other triangle of a strip swaps its first two corners to keep the winding;
            // a quad strip is the same triangles.
            if (st.prim_count < 2) {
                p[st.prim_count++] = o;
                break;
            }
            if (st.prim_triangles++ & 1) emit_triangle(p[1], p[0], o);
            else emit_triangle(p[0], p[1], o);
            p[0] = p[1];
            p[1] = o;
            break;
        case GL_TRIANGLE_FAN:
        case GL_POLYGON:
            if (st.prim_count < 2) {
                p[st.prim_count++] = o;
                break;
            }
            emit_triangle(p[0], p[1], o);
            p[1] = o;
            break;
        default:
            break;  // points and lines are not drawn
    }
}

// ---------------------------------------------------------------------------------------------
// Display lists.

// Calls made while a list replays belong to that list, not to one being compiled.
bool recording() { return st.compiling != 0 && st.call_depth == 0; }

void record(Op op, std::initializer_list<float> args = {}) {
    st.recording.code.push_back(static_cast<float>(op));
    st.recording.code.insert(st.recording.code.end(), args);
}

void call_list(GLuint name);

// Runs a recorded list through the same entry points the application uses.
void replay(const List& list) {
    const float* p = list.code.data();
    const float* end = p + list.code.size();
    while (p < end) {
        switch (static_cast<Op>(static_cast<int>(*p++))) {
            case kOpBegin: glBegin(static_cast<GLenum>(p[0])); p += 1; break;
            case kOpEnd: glEnd(); break;
            case kOpVertex:
                if (st.primitive) primitive_vertex(p);
                p += 4;
                break;
            case kOpTexCoord: glTexCoord2f(p[0], p[1]); p += 2; break;
            case kOpNormal: glNormal3f(p[0], p[1], p[2]); p += 3; break;
            case kOpColor: glColor4f(p[0], p[1], p[2], p[3]); p += 4; break;
            case kOpTranslate: glTranslatef(p[0], p[1], p[2]); p += 3; break;
            case kOpScale: glScalef(p[0], p[1], p[2]); p += 3; break;
            case kOpRotate: glRotatef(p[0], p[1], p[2], p[3]); p += 4; break;
            case kOpMultMatrix: glMultMatrixf(p); p += 16; break;
            case kOpLoadIdentity: glLoadIdentity(); break;
            case kOpPush: glPushMatrix(); break;
            case kOpPop: glPopMatrix(); break;
            case kOpCallList: {
                GLuint name;
                memcpy(&name, p, sizeof name);
                call_list(name);
                p += 1;
                break;
            }
        }
    }
}

void call_list(GLuint name) {
    auto it = st.lists.find(name);
    if (it == st.lists.end() || st.call_depth >= 64) return;
    ++st.call_depth;
    replay(it->second);
    --st.call_depth;
}

// ---------------------------------------------------------------------------------------------
// The layer's own WebGL objects.

const char* kVertexSource = R"(#version 300 es
in vec4 a_clip;
in vec2 a_tc;
in vec4 a_color;
out vec2 v_tc;
out vec4 v_color;
void main() {
    gl_Position = a_clip;
    v_tc = a_tc;
    v_color = a_color;
}
)";

// Texture environment MODULATE: the colour times the texel.
const char* kFragmentSource = R"(#version 300 es
precision highp float;
uniform sampler2D u_sampler;
uniform bool u_textured;
uniform vec2 u_texscale;
in vec2 v_tc;
in vec4 v_color;
out vec4 o_color;
void main() {
    vec4 c = u_textured ? v_color * texture(u_sampler, v_tc * u_texscale) : v_color;
    o_color = roundEven(clamp(c, 0.0, 1.0) * 255.0) / 255.0;
}
)";

GLuint compile(GLenum kind, const char* source) {
    GLuint shader = emscripten_glCreateShader(kind);
    emscripten_glShaderSource(shader, 1, &source, nullptr);
    emscripten_glCompileShader(shader);
    GLint ok = 0;
    emscripten_glGetShaderiv(shader, kCompileStatus, &ok);
    if (!ok) {
        emscripten_glDeleteShader(shader);
        return 0;
    }
    return shader;
}

bool build_objects() {
    emscripten_glGenFramebuffers(1, &st.framebuffer);
    emscripten_glGenRenderbuffers(1, &st.color_buffer);
    emscripten_glGenRenderbuffers(1, &st.depth_buffer);
    emscripten_glBindRenderbuffer(kRenderbuffer, st.color_buffer);
    emscripten_glRenderbufferStorage(kRenderbuffer, GL_RGBA8, st.width, st.height);
    emscripten_glBindRenderbuffer(kRenderbuffer, st.depth_buffer);
    emscripten_glRenderbufferStorage(kRenderbuffer, kDepthComponent24, st.width, st.height);
    emscripten_glBindFramebuffer(kFramebuffer, st.framebuffer);
    emscripten_glFramebufferRenderbuffer(kFramebuffer, kColorAttachment0, kRenderbuffer,
                                         st.color_buffer);
    emscripten_glFramebufferRenderbuffer(kFramebuffer, kDepthAttachment, kRenderbuffer,
                                         st.depth_buffer);
    if (emscripten_glCheckFramebufferStatus(kFramebuffer) != kFramebufferComplete) return false;

    GLuint vs = compile(kVertexShader, kVertexSource);
    GLuint fs = compile(kFragmentShader, kFragmentSource);
    if (!vs || !fs) return false;
    st.program = emscripten_glCreateProgram();
    emscripten_glAttachShader(st.program, vs);
    emscripten_glAttachShader(st.program, fs);
    emscripten_glBindAttribLocation(st.program, 0, "a_clip");
    emscripten_glBindAttribLocation(st.program, 1, "a_tc");
    emscripten_glBindAttribLocation(st.program, 2, "a_color");
    emscripten_glLinkProgram(st.program);
    emscripten_glDeleteShader(vs);
    emscripten_glDeleteShader(fs);
    GLint linked = 0;
    emscripten_glGetProgramiv(st.program, kLinkStatus, &linked);
    if (!linked) return false;
    emscripten_glUseProgram(st.program);
    st.u_textured = emscripten_glGetUniformLocation(st.program, "u_textured");
    st.u_texscale = emscripten_glGetUniformLocation(st.program, "u_texscale");
    st.u_sampler = emscripten_glGetUniformLocation(st.program, "u_sampler");
    emscripten_glUniform1i(st.u_sampler, 0);

    emscripten_glGenVertexArrays(1, &st.vertex_array);
    emscripten_glBindVertexArray(st.vertex_array);
    emscripten_glGenBuffers(1, &st.vertex_buffer);
    emscripten_glBindBuffer(kArrayBuffer, st.vertex_buffer);
    const GLsizei stride = sizeof(OutVertex);
    emscripten_glEnableVertexAttribArray(0);
    emscripten_glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<void*>(offsetof(OutVertex, clip)));
    emscripten_glEnableVertexAttribArray(1);
    emscripten_glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<void*>(offsetof(OutVertex, tc)));
    emscripten_glEnableVertexAttribArray(2);
    emscripten_glVertexAttribPointer(2, 4, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<void*>(offsetof(OutVertex, color)));

    // A GL 1.x context starts with these; WebGL's defaults differ only in the viewport.
    emscripten_glViewport(0, 0, st.width, st.height);
    emscripten_glActiveTexture(GL_TEXTURE0);
    return true;
}

EMSCRIPTEN_WEBGL_CONTEXT_HANDLE webgl = 0;

}  // namespace

// ---------------------------------------------------------------------------------------------
// The window system's side.

bool gl_web_create_context(const char* canvas_selector, int width, int height) {
    if (st.context) return true;
    if (!webgl) {
        EmscriptenWebGLContextAttributes attrs;
        emscripten_webgl_init_context_attributes(&attrs);
        attrs.alpha = false;  // the page must not show through where the demo clears to alpha 0.5
        attrs.depth = false;  // the back buffer has its own
        attrs.stencil = false;
        attrs.antialias = false;
        attrs.preserveDrawingBuffer = false;
        attrs.majorVersion = 2;
        attrs.minorVersion = 0;
        attrs.failIfMajorPerformanceCaveat = false;  // a software renderer will do
        webgl = emscripten_webgl_create_context(canvas_selector, &attrs);
        if (webgl <= 0) {
            webgl = 0;
            return false;
        }
    }
    if (emscripten_webgl_make_context_current(webgl) != EMSCRIPTEN_RESULT_SUCCESS) return false;
    st = State{};
    st.width = width;
    st.height = height;
    st.context = true;
    if (!build_objects()) {
        gl_web_destroy_context();
        return false;
    }
    return true;
}

void gl_web_destroy_context() {
    if (!st.context) return;
    emscripten_glBindFramebuffer(kFramebuffer, 0);
    for (auto& t : st.textures) emscripten_glDeleteTextures(1, &t.first);
    emscripten_glDeleteFramebuffers(1, &st.framebuffer);
    emscripten_glDeleteRenderbuffers(1, &st.color_buffer);
    emscripten_glDeleteRenderbuffers(1, &st.depth_buffer);
    emscripten_glDeleteBuffers(1, &st.vertex_buffer);
    emscripten_glDeleteVertexArrays(1, &st.vertex_array);
    emscripten_glDeleteProgram(st.program);
    // Capabilities set directly on WebGL go back to a new context's defaults.
    emscripten_glDisable(GL_DEPTH_TEST);
    emscripten_glDisable(GL_BLEND);
    emscripten_glDisable(GL_CULL_FACE);
    emscripten_glDepthMask(GL_TRUE);
    emscripten_glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    emscripten_glBindTexture(GL_TEXTURE_2D, 0);
    st = State{};
}

void gl_web_present() {
    if (!st.context) return;
    flush();
    emscripten_glBindFramebuffer(kReadFramebuffer, st.framebuffer);
    emscripten_glBindFramebuffer(kDrawFramebuffer, 0);
    emscripten_glBlitFramebuffer(0, 0, st.width, st.height, 0, 0, st.width, st.height,
                                 GL_COLOR_BUFFER_BIT, GL_NEAREST);
    emscripten_glBindFramebuffer(kFramebuffer, st.framebuffer);
}

bool gl_web_has_context() { return st.context; }

// ---------------------------------------------------------------------------------------------
// OpenGL 1.1.

extern "C" {

GLenum glGetError() {
    GLenum e = st.error;
    st.error = GL_NO_ERROR;
    if (e != GL_NO_ERROR || !st.context) return e;
    return emscripten_glGetError();
}

const GLubyte* glGetString(GLenum name) {
    if (!st.context) return nullptr;
    if (name == GL_RENDERER) {
        // The renderer behind WebGL (SwiftShader, a GPU), where the browser tells it.
        const GLubyte* unmasked = emscripten_glGetString(kUnmaskedRenderer);
        emscripten_glGetError();
        if (unmasked) return unmasked;
    }
    if (name == GL_VERSION) return reinterpret_cast<const GLubyte*>("1.1 over WebGL 2");
    if (name == GL_EXTENSIONS) return reinterpret_cast<const GLubyte*>("GL_ARB_texture_rectangle");
    return emscripten_glGetString(name);
}

// glEnable and glDisable: the switches this layer keeps itself, and the ones WebGL keeps, which
// are passed on once what was batched under the old setting is drawn.
static void set_capability(GLenum cap, bool on) {
    switch (cap) {
        case GL_TEXTURE_2D: st.texture_2d = on; texture_changed(); return;
        case GL_TEXTURE_RECTANGLE_ARB: st.texture_rect = on; texture_changed(); return;
        case GL_TEXTURE_GEN_S: st.gen_s = on; return;
        case GL_TEXTURE_GEN_T: st.gen_t = on; return;
        case GL_LIGHTING: st.lighting = on; return;
        case GL_NORMALIZE: st.normalize = on; return;
        case GL_DEPTH_TEST: flush(); st.depth_test = on; break;
        case GL_BLEND: flush(); st.blend = on; break;
        case GL_CULL_FACE: flush(); st.cull = on; break;
        default: set_error(GL_INVALID_ENUM); return;
    }
    if (on) emscripten_glEnable(cap);
    else emscripten_glDisable(cap);
}

void glEnable(GLenum cap) { set_capability(cap, true); }

void glDisable(GLenum cap) { set_capability(cap, false); }

GLboolean glIsEnabled(GLenum cap) {
    switch (cap) {
        case GL_TEXTURE_2D: return st.texture_2d;
        case GL_TEXTURE_RECTANGLE_ARB: return st.texture_rect;
        case GL_TEXTURE_GEN_S: return st.gen_s;
        case GL_TEXTURE_GEN_T: return st.gen_t;
        case GL_LIGHTING: return st.lighting;
        case GL_NORMALIZE: return st.normalize;
        case GL_DEPTH_TEST: return st.depth_test;
        case GL_BLEND: return st.blend;
        case GL_CULL_FACE: return st.cull;
        default: set_error(GL_INVALID_ENUM); return GL_FALSE;
    }
}

void glHint(GLenum, GLenum) {}  // interpolation is always perspective-correct

void glShadeModel(GLenum mode) {
    if (mode != GL_SMOOTH && mode != GL_FLAT) set_error(GL_INVALID_ENUM);
}

void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
    emscripten_glClearColor(r, g, b, a);
}

void glClearDepth(GLclampd depth) { emscripten_glClearDepthf(static_cast<GLfloat>(depth)); }

void glClear(GLbitfield mask) {
    flush();
    emscripten_glClear(mask & (GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
}

void glDepthFunc(GLenum func) {
    flush();
    emscripten_glDepthFunc(func);
}

void glDepthMask(GLboolean flag) {
    flush();
    emscripten_glDepthMask(flag);
}

void glColorMask(GLboolean r, GLboolean g, GLboolean b, GLboolean a) {
    flush();
    emscripten_glColorMask(r, g, b, a);
}

void glBlendFunc(GLenum sfactor, GLenum dfactor) {
    flush();
    emscripten_glBlendFunc(sfactor, dfactor);
}

void glCullFace(GLenum mode) {
    flush();
    emscripten_glCullFace(mode);
}

void glFrontFace(GLenum mode) {
    flush();
    emscripten_glFrontFace(mode);
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    flush();
    emscripten_glViewport(x, y, width, height);
}

void glFlush() {
    flush();
    emscripten_glFlush();
}

void glFinish() {
    flush();
    emscripten_glFinish();
}

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                  GLvoid* pixels) {
    flush();
    emscripten_glReadPixels(x, y, width, height, format, type, pixels);
}

void glGetIntegerv(GLenum pname, GLint* params) {
    switch (pname) {
        case GL_TEXTURE_BINDING_2D: *params = static_cast<GLint>(st.bound_2d); return;
        case GL_TEXTURE_BINDING_RECTANGLE_ARB: *params = static_cast<GLint>(st.bound_rect); return;
        case GL_MATRIX_MODE: *params = static_cast<GLint>(st.matrix_mode); return;
        case GL_LIST_BASE: *params = static_cast<GLint>(st.list_base); return;
        case GL_MODELVIEW_STACK_DEPTH: *params = static_cast<GLint>(st.modelview.items.size()); return;
        case GL_PROJECTION_STACK_DEPTH: *params = static_cast<GLint>(st.projection.items.size()); return;
        case GL_UNPACK_ALIGNMENT: *params = st.unpack.alignment; return;
        default:
            if (st.context) emscripten_glGetIntegerv(pname, params);
            return;
    }
}

void glGetFloatv(GLenum pname, GLfloat* params) {
    switch (pname) {
        case GL_MODELVIEW_MATRIX: memcpy(params, st.modelview.top(), 16 * sizeof(GLfloat)); return;
        case GL_PROJECTION_MATRIX: memcpy(params, st.projection.top(), 16 * sizeof(GLfloat)); return;
        case GL_TEXTURE_MATRIX: memcpy(params, st.texture.top(), 16 * sizeof(GLfloat)); return;
        case GL_CURRENT_COLOR: memcpy(params, st.color, 4 * sizeof(GLfloat)); return;
        default: set_error(GL_INVALID_ENUM); return;
    }
}

// --- Matrices ---------------------------------------------------------------------------------

void glMatrixMode(GLenum mode) {
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION && mode != GL_TEXTURE) {
        set_error(GL_INVALID_ENUM);
        return;
    }
    st.matrix_mode = mode;
}

void glLoadIdentity() {
    if (recording()) {
        record(kOpLoadIdentity);
        if (st.list_mode == GL_COMPILE) return;
    }
    memcpy(current_stack().top(), kIdentity.m, sizeof kIdentity.m);
    matrices_changed();
}

void glLoadMatrixf(const GLfloat* m) {
    memcpy(current_stack().top(), m, 16 * sizeof(GLfloat));
    matrices_changed();
}

void glMultMatrixf(const GLfloat* m) {
    if (recording()) {
        st.recording.code.push_back(static_cast<float>(kOpMultMatrix));
        st.recording.code.insert(st.recording.code.end(), m, m + 16);
        if (st.list_mode == GL_COMPILE) return;
    }
    GLfloat* top = current_stack().top();
    mat_mul(top, top, m);
    matrices_changed();
}

void glMultMatrixd(const GLdouble* m) {
    GLfloat f[16];
    for (int i = 0; i < 16; ++i) f[i] = static_cast<GLfloat>(m[i]);
    glMultMatrixf(f);
}

void glPushMatrix() {
    if (recording()) {
        record(kOpPush);
        if (st.list_mode == GL_COMPILE) return;
    }
    MatrixStack& s = current_stack();
    if (static_cast<int>(s.items.size()) >= s.limit) {
        set_error(GL_STACK_OVERFLOW);
        return;
    }
    s.items.push_back(s.items.back());
}

void glPopMatrix() {
    if (recording()) {
        record(kOpPop);
        if (st.list_mode == GL_COMPILE) return;
    }
    MatrixStack& s = current_stack();
    if (s.items.size() <= 1) {
        set_error(GL_STACK_UNDERFLOW);
        return;
    }
    s.items.pop_back();
    matrices_changed();
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    if (recording()) {
        record(kOpTranslate, {x, y, z});
        if (st.list_mode == GL_COMPILE) return;
    }
    mat_translate(current_stack().top(), x, y, z);
    matrices_changed();
}

void glTranslated(GLdouble x, GLdouble y, GLdouble z) {
    glTranslatef(static_cast<GLfloat>(x), static_cast<GLfloat>(y), static_cast<GLfloat>(z));
}

void glScalef(GLfloat x, GLfloat y, GLfloat z) {
    if (recording()) {
        record(kOpScale, {x, y, z});
        if (st.list_mode == GL_COMPILE) return;
    }
    mat_scale(current_stack().top(), x, y, z);
    matrices_changed();
}

void glScaled(GLdouble x, GLdouble y, GLdouble z) {
    glScalef(static_cast<GLfloat>(x), static_cast<GLfloat>(y), static_cast<GLfloat>(z));
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    if (recording()) {
        record(kOpRotate, {angle, x, y, z});
        if (st.list_mode == GL_COMPILE) return;
    }
    mat_rotate(current_stack().top(), angle, x, y, z);
    matrices_changed();
}

void glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) {
    glRotatef(static_cast<GLfloat>(angle), static_cast<GLfloat>(x), static_cast<GLfloat>(y),
              static_cast<GLfloat>(z));
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble near_val,
             GLdouble far_val) {
    mat_ortho(current_stack().top(), static_cast<GLfloat>(left), static_cast<GLfloat>(right),
              static_cast<GLfloat>(bottom), static_cast<GLfloat>(top),
              static_cast<GLfloat>(near_val), static_cast<GLfloat>(far_val));
    matrices_changed();
}

void glFrustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble near_val,
               GLdouble far_val) {
    mat_frustum(current_stack().top(), static_cast<GLfloat>(left), static_cast<GLfloat>(right),
                static_cast<GLfloat>(bottom), static_cast<GLfloat>(top),
                static_cast<GLfloat>(near_val), static_cast<GLfloat>(far_val));
    matrices_changed();
}

// --- Immediate mode ---------------------------------------------------------------------------

void glBegin(GLenum mode) {
    if (recording()) {
        record(kOpBegin, {static_cast<float>(mode)});
        if (st.list_mode == GL_COMPILE) return;
    }
    if (st.primitive) {
        set_error(GL_INVALID_OPERATION);
        return;
    }
    st.primitive = mode;
    st.prim_count = 0;
    st.prim_triangles = 0;
    start_primitive_batch();
}

void glEnd() {
    if (recording()) {
        record(kOpEnd);
        if (st.list_mode == GL_COMPILE) return;
    }
    if (!st.primitive) {
        set_error(GL_INVALID_OPERATION);
        return;
    }
    st.primitive = 0;
}

static void vertex4(GLfloat x, GLfloat y, GLfloat z, GLfloat w) {
    if (recording()) {
        record(kOpVertex, {x, y, z, w});
        if (st.list_mode == GL_COMPILE) return;
    }
    if (!st.primitive) return;  // a vertex outside glBegin/glEnd has no effect
    const GLfloat pos[4] = {x, y, z, w};
    primitive_vertex(pos);
}

void glVertex2f(GLfloat x, GLfloat y) { vertex4(x, y, 0.0f, 1.0f); }
void glVertex2i(GLint x, GLint y) {
    vertex4(static_cast<GLfloat>(x), static_cast<GLfloat>(y), 0.0f, 1.0f);
}
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { vertex4(x, y, z, 1.0f); }
void glVertex3fv(const GLfloat* v) { vertex4(v[0], v[1], v[2], 1.0f); }

void glTexCoord2f(GLfloat s, GLfloat t) {
    if (recording()) {
        record(kOpTexCoord, {s, t});
        if (st.list_mode == GL_COMPILE) return;
    }
    st.texcoord[0] = s;
    st.texcoord[1] = t;
}
void glTexCoord2fv(const GLfloat* v) { glTexCoord2f(v[0], v[1]); }

void glNormal3f(GLfloat x, GLfloat y, GLfloat z) {
    if (recording()) {
        record(kOpNormal, {x, y, z});
        if (st.list_mode == GL_COMPILE) return;
    }
    st.normal_current[0] = x;
    st.normal_current[1] = y;
    st.normal_current[2] = z;
}
void glNormal3fv(const GLfloat* v) { glNormal3f(v[0], v[1], v[2]); }

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    if (recording()) {
        record(kOpColor, {r, g, b, a});
        if (st.list_mode == GL_COMPILE) return;
    }
    st.color[0] = r;
    st.color[1] = g;
    st.color[2] = b;
    st.color[3] = a;
}
void glColor3f(GLfloat r, GLfloat g, GLfloat b) { glColor4f(r, g, b, 1.0f); }

// --- Display lists ----------------------------------------------------------------------------

GLuint glGenLists(GLsizei range) {
    if (range <= 0) {
        if (range < 0) set_error(GL_INVALID_VALUE);
        return 0;
    }
    GLuint first = st.next_list;
    st.next_list += static_cast<GLuint>(range);
    return first;
}

GLboolean glIsList(GLuint list) { return st.lists.count(list) != 0; }

void glDeleteLists(GLuint list, GLsizei range) {
    for (GLsizei i = 0; i < range; ++i) st.lists.erase(list + static_cast<GLuint>(i));
}

void glNewList(GLuint list, GLenum mode) {
    if (list == 0 || (mode != GL_COMPILE && mode != GL_COMPILE_AND_EXECUTE)) {
        set_error(list == 0 ? GL_INVALID_VALUE : GL_INVALID_ENUM);
        return;
    }
    if (recording()) {
        set_error(GL_INVALID_OPERATION);
        return;
    }
    st.compiling = list;
    st.list_mode = mode;
    st.recording = List{};
}

void glEndList() {
    if (!recording()) {
        set_error(GL_INVALID_OPERATION);
        return;
    }
    st.lists[st.compiling] = std::move(st.recording);
    st.recording = List{};
    st.compiling = 0;
}

void glListBase(GLuint base) { st.list_base = base; }

void glCallList(GLuint list) {
    if (recording()) {
        float f;
        memcpy(&f, &list, sizeof f);
        record(kOpCallList, {f});
        if (st.list_mode == GL_COMPILE) return;
    }
    call_list(list);
}

void glCallLists(GLsizei n, GLenum type, const GLvoid* lists) {
    for (GLsizei i = 0; i < n; ++i) {
        GLuint offset;
        switch (type) {
            case GL_UNSIGNED_BYTE: offset = static_cast<const GLubyte*>(lists)[i]; break;
            case GL_BYTE: offset = static_cast<GLuint>(static_cast<const GLbyte*>(lists)[i]); break;
            case GL_UNSIGNED_SHORT: offset = static_cast<const GLushort*>(lists)[i]; break;
            case GL_SHORT: offset = static_cast<GLuint>(static_cast<const GLshort*>(lists)[i]); break;
            case GL_UNSIGNED_INT: offset = static_cast<const GLuint*>(lists)[i]; break;
            case GL_INT: offset = static_cast<GLuint>(static_cast<const GLint*>(lists)[i]); break;
            default: set_error(GL_INVALID_ENUM); return;
        }
        glCallList(st.list_base + offset);
    }
}

// --- Textures ---------------------------------------------------------------------------------

void glGenTextures(GLsizei n, GLuint* textures) {
    if (!st.context) {
        for (GLsizei i = 0; i < n; ++i) textures[i] = 0;
        return;
    }
    emscripten_glGenTextures(n, textures);
    for (GLsizei i = 0; i < n; ++i) st.textures[textures[i]];
}

void glDeleteTextures(GLsizei n, const GLuint* textures) {
    flush();
    for (GLsizei i = 0; i < n; ++i) {
        GLuint t = textures[i];
        if (!t || !st.textures.erase(t)) continue;
        emscripten_glDeleteTextures(1, &t);
        if (st.bound_2d == t) st.bound_2d = 0;
        if (st.bound_rect == t) st.bound_rect = 0;
        if (st.gpu_bound == t) st.gpu_bound = 0;
    }
    texture_changed();
}

GLboolean glIsTexture(GLuint texture) { return texture && st.textures.count(texture); }

void glBindTexture(GLenum target, GLuint texture) {
    if (target != GL_TEXTURE_2D && target != GL_TEXTURE_RECTANGLE_ARB) {
        set_error(GL_INVALID_ENUM);
        return;
    }
    if (texture && !st.textures.count(texture)) {
        set_error(GL_INVALID_VALUE);  // names come from glGenTextures here
        return;
    }
    texture_changed();
    if (target == GL_TEXTURE_2D) {
        st.bound_2d = texture;
        return;
    }
    st.bound_rect = texture;
    if (!texture) return;
    Texture& t = st.textures[texture];
    if (!t.rectangle) {
        // A rectangle texture has no mipmaps and clamps to its edges.
        t.rectangle = true;
        flush();
        bind_gpu_texture(texture);
        emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, kClampToEdge);
        emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, kClampToEdge);
        emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    }
}

// Binds the texture bound to target on the GPU's 2D target, for a call that changes it.
static bool bind_target(GLenum target) {
    GLuint name;
    if (target == GL_TEXTURE_2D) name = st.bound_2d;
    else if (target == GL_TEXTURE_RECTANGLE_ARB) name = st.bound_rect;
    else {
        set_error(GL_INVALID_ENUM);
        return false;
    }
    if (!name) {
        set_error(GL_INVALID_OPERATION);  // the default texture object is not kept here
        return false;
    }
    flush();
    bind_gpu_texture(name);
    return true;
}

void glTexParameteri(GLenum target, GLenum pname, GLint param) {
    if (!bind_target(target)) return;
    if (target == GL_TEXTURE_RECTANGLE_ARB && (pname == GL_TEXTURE_WRAP_S || pname == GL_TEXTURE_WRAP_T))
        param = kClampToEdge;
    if (param == GL_CLAMP) param = kClampToEdge;  // WebGL has no border colour to clamp to
    emscripten_glTexParameteri(GL_TEXTURE_2D, pname, param);
}

void glTexParameterf(GLenum target, GLenum pname, GLfloat param) {
    glTexParameteri(target, pname, static_cast<GLint>(param));
}

void glTexEnvi(GLenum, GLenum pname, GLint param) {
    if (pname == GL_TEXTURE_ENV_MODE && param != GL_MODULATE) set_error(GL_INVALID_ENUM);
}

void glTexGeni(GLenum coord, GLenum pname, GLint param) {
    if (pname != GL_TEXTURE_GEN_MODE || (coord != GL_S && coord != GL_T) ||
        param != GL_SPHERE_MAP) {
        set_error(GL_INVALID_ENUM);
        return;
    }
    (coord == GL_S ? st.gen_mode_s : st.gen_mode_t) = param;
}

void glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const GLvoid* pixels) {
    if (!bind_target(target)) return;
    if (internalformat == 3) internalformat = GL_RGB;
    if (internalformat == 4) internalformat = GL_RGBA;
    if (border != 0 || internalformat != static_cast<GLint>(format) ||
        (format != GL_RGB && format != GL_RGBA) || type != GL_UNSIGNED_BYTE) {
        set_error(GL_INVALID_ENUM);
        return;
    }
    emscripten_glGetError();
    emscripten_glTexImage2D(GL_TEXTURE_2D, level, internalformat, width, height, 0, format, type,
                            pixels);
    if (level == 0) {
        // Out of memory leaves the texture without an image, which a caller can ask about.
        bool ok = emscripten_glGetError() == GL_NO_ERROR;
        Texture& t = st.textures[st.gpu_bound];
        t.width = ok ? width : 0;
        t.height = ok ? height : 0;
        texture_changed();
    }
}

void glCopyTexImage2D(GLenum target, GLint level, GLenum internalformat, GLint x, GLint y,
                      GLsizei width, GLsizei height, GLint border) {
    if (!bind_target(target)) return;
    emscripten_glCopyTexImage2D(GL_TEXTURE_2D, level, internalformat, x, y, width, height, border);
    if (level == 0) {
        Texture& t = st.textures[st.gpu_bound];
        t.width = width;
        t.height = height;
        texture_changed();
    }
}

void glCopyTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x,
                         GLint y, GLsizei width, GLsizei height) {
    if (!bind_target(target)) return;
    emscripten_glCopyTexSubImage2D(GL_TEXTURE_2D, level, xoffset, yoffset, x, y, width, height);
}

void glGetTexLevelParameteriv(GLenum target, GLint level, GLenum pname, GLint* params) {
    GLuint name = target == GL_TEXTURE_RECTANGLE_ARB ? st.bound_rect : st.bound_2d;
    auto it = st.textures.find(name);
    bool known = level == 0 && it != st.textures.end();
    switch (pname) {
        case GL_TEXTURE_WIDTH: *params = known ? it->second.width : 0; return;
        case GL_TEXTURE_HEIGHT: *params = known ? it->second.height : 0; return;
        default: set_error(GL_INVALID_ENUM); return;
    }
}

// --- Pixel storage ----------------------------------------------------------------------------

void glPixelStorei(GLenum pname, GLint param) {
    switch (pname) {
        case GL_UNPACK_ALIGNMENT: st.unpack.alignment = param; break;
        case kUnpackRowLength: st.unpack.row_length = param; break;
        case kUnpackSkipRows: st.unpack.skip_rows = param; break;
        case kUnpackSkipPixels: st.unpack.skip_pixels = param; break;
        case GL_UNPACK_SWAP_BYTES:
        case GL_UNPACK_LSB_FIRST:
            if (param) set_error(GL_INVALID_VALUE);  // only their defaults exist in WebGL
            return;
        case GL_PACK_ALIGNMENT: break;
        default: set_error(GL_INVALID_ENUM); return;
    }
    if (st.context) emscripten_glPixelStorei(pname, param);
}

void glPushClientAttrib(GLbitfield) {
    if (static_cast<int>(st.client_stack.size()) >= kMaxAttribDepth) {
        set_error(GL_STACK_OVERFLOW);
        return;
    }
    st.client_stack.push_back(st.unpack);
}

void glPopClientAttrib() {
    if (st.client_stack.empty()) {
        set_error(GL_STACK_UNDERFLOW);
        return;
    }
    PixelStore p = st.client_stack.back();
    st.client_stack.pop_back();
    glPixelStorei(GL_UNPACK_ALIGNMENT, p.alignment);
    glPixelStorei(kUnpackRowLength, p.row_length);
    glPixelStorei(kUnpackSkipRows, p.skip_rows);
    glPixelStorei(kUnpackSkipPixels, p.skip_pixels);
}

// ---------------------------------------------------------------------------------------------
// GLU, with libGLU's arithmetic: gluPerspective in double, gluLookAt in float.

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble z_near, GLdouble z_far) {
    const double radians = fovy / 2 * kPi / 180;
    const double delta_z = z_far - z_near;
    const double sine = sin(radians);
    if (delta_z == 0 || sine == 0 || aspect == 0) return;
    const double cotangent = cos(radians) / sine;
    GLdouble m[16] = {};
    m[0] = cotangent / aspect;
    m[5] = cotangent;
    m[10] = -(z_far + z_near) / delta_z;
    m[11] = -1;
    m[14] = -2 * z_near * z_far / delta_z;
    glMultMatrixd(m);
}

static void normalize3(float v[3]) {
    float r = static_cast<float>(sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
    if (r == 0.0f) return;
    v[0] /= r;
    v[1] /= r;
    v[2] /= r;
}

static void cross3(const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

void gluLookAt(GLdouble eye_x, GLdouble eye_y, GLdouble eye_z, GLdouble center_x,
               GLdouble center_y, GLdouble center_z, GLdouble up_x, GLdouble up_y,
               GLdouble up_z) {
    float forward[3] = {static_cast<float>(center_x - eye_x), static_cast<float>(center_y - eye_y),
                        static_cast<float>(center_z - eye_z)};
    float up[3] = {static_cast<float>(up_x), static_cast<float>(up_y), static_cast<float>(up_z)};
    float side[3];
    normalize3(forward);
    cross3(forward, up, side);  // side = forward x up
    normalize3(side);
    cross3(side, forward, up);  // up = side x forward
    GLfloat m[16] = {side[0], up[0], -forward[0], 0, side[1], up[1], -forward[1], 0,
                     side[2], up[2], -forward[2], 0, 0,       0,     0,           1};
    glMultMatrixf(m);
    glTranslated(-eye_x, -eye_y, -eye_z);
}

void gluOrtho2D(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top) {
    glOrtho(left, right, bottom, top, -1.0, 1.0);
}

}  // extern "C"
