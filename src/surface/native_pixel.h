// A stored pixel read whole, whatever the format: the value that transparentNative is compared with.
#pragma once

#include <stdint.h>

#include "kernels/pixel_formats.h"

namespace kx {

// Exactly the pixel's width (the fourth byte of a 32-bit pixel included); nothing past its last byte is read.
inline uint32_t LoadNativePixel(const uint8_t* p, int bytesPerPixel)
{
    switch (bytesPerPixel) {
    case 1: return *p;
    case 2: return Load16(p);
    case 3: return p[0] | p[1] << 8 | p[2] << 16;
    default: return Load32(p);
    }
}

}  // namespace kx
