// PNG file -> OpenGL texture in one call, with a built mipmap chain, over libpng.
#pragma once

struct pngInfo {
    unsigned int Width;
    unsigned int Height;
    unsigned int Depth;  // bits per pixel of the file as stored
    unsigned int Alpha;  // bits of alpha per pixel, 0 when the file has none
};

// Mipmap modes. Any other value uploads level 0 only, like PNG_NOMIPMAPS.
#define PNG_NOMIPMAPS 0
#define PNG_BUILDMIPMAPS (-1)  // the whole chain to 1x1, each level max(1, size/2), box-averaged
// Transparency modes. Any other value acts as PNG_ALPHA.
#define PNG_ALPHA (-2)  // RGBA texture when the file has alpha (a channel or tRNS), RGB otherwise
#define PNG_SOLID (-1)  // always RGB

// Loads the PNG at path into a new texture bound to GL_TEXTURE_2D and returns its name, or 0
// when the file cannot be read (missing, empty, cut short, corrupt, not a PNG, or wider or
// taller than 16384 or the GL's maximum texture size). The file's first row lands at t = 0.
// Every PNG kind is accepted: grey, grey + alpha, RGB, RGBA and palette files of any bit
// depth, interlaced or not; 16-bit samples are rounded to 8 bits.
//
// info (may be null) receives the file's size, its bits per pixel as stored (Depth) and its
// alpha bits (Alpha: the alpha channel's depth; 8 for a palette with tRNS; 1 for a grey or RGB
// colour key; 0 without alpha). A failed load leaves it all zero.
//
// Gamma: when the environment variable VIEWING_GAMMA holds a number from 0.1 to 10, it is
// taken as the display's gamma (2.2 for a typical monitor) and colour samples are converted
// from the file's gamma (its gAMA or sRGB chunk, else 1/2.2) to it; alpha is left alone. A
// file encoded for a 2.2 display therefore passes unchanged under VIEWING_GAMMA=2.2. Unset,
// empty or anything else: no correction.
//
// The caller's pixel-store state is preserved; on failure no texture is left behind and the
// binding is unchanged.
unsigned int pngBind(const char* path, int mipmap, int trans, pngInfo* info, int wrapst,
                     int minfilter, int magfilter);
