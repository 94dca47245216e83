#include "surface_size.h"

namespace kx {

bool ComputeSurfaceSize(int width, int height, int bitsPerPixel, int align, SurfaceSize* out)
{
    if (width <= 0 || height <= 0 || bitsPerPixel <= 0 || bitsPerPixel > 32 || align <= 0 || (align & (align - 1)))
        return false;
    uint64_t rowBits = (uint64_t)width * (uint64_t)bitsPerPixel;
    uint64_t pitch = ((rowBits + 7) / 8 + (uint64_t)(align - 1)) & ~(uint64_t)(align - 1);
    uint64_t bytes = pitch * (uint64_t)height;
    // Signed 32-bit limits: pitches and sizes are handed to the system and to hosts as int.
    if (pitch > INT32_MAX || bytes > INT32_MAX)
        return false;
    out->pitch = (int)pitch;
    out->bytes = (uint32_t)bytes;
    return true;
}

}  // namespace kx
