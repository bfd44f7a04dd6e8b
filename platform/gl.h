// OpenGL 1.1 and GLU, as the demo uses them, plus the rectangle-texture target older headers lack.
#pragma once

#if defined(_WIN32)
#include "platform/win32/win32.h"  // <windows.h>, which GL/gl.h needs first
#endif
#include <GL/gl.h>
#include <GL/glu.h>

#ifndef GL_TEXTURE_RECTANGLE_ARB
#define GL_TEXTURE_RECTANGLE_ARB 0x84F5
#endif
#ifndef GL_NORMAL_MAP
#define GL_NORMAL_MAP 0x8511
#endif
#ifndef GL_TEXTURE_BINDING_RECTANGLE_ARB
#define GL_TEXTURE_BINDING_RECTANGLE_ARB 0x84F6
#endif
