// pngBind (not filled in yet).
#include "platform/png/png_bind.h"

unsigned int pngBind(const char*, int, int, pngInfo*, int, int, int) { return 0; }
