// PNG file -> OpenGL texture in one call, with a built mipmap chain, over libpng.
#pragma once

struct pngInfo {
    unsigned int Width;
    unsigned int Height;
    unsigned int Depth;  // bits per pixel of the file as stored
    unsigned int Alpha;  // bits of alpha per pixel, 0 when the file has none
};

// Mipmap modes.
#define PNG_NOMIPMAPS 0
#define PNG_BUILDMIPMAPS (-1)
// Transparency modes.
#define PNG_ALPHA (-2)  // RGBA texture when the file has alpha, RGB otherwise
#define PNG_SOLID (-1)  // always RGB

// Loads the PNG at path into a new texture bound to GL_TEXTURE_2D and returns its name, or 0
// when the file cannot be read. The file's first row lands at t = 0.
unsigned int pngBind(const char* path, int mipmap, int trans, pngInfo* info, int wrapst,
                     int minfilter, int magfilter);
